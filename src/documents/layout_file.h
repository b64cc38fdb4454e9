#pragma once

// The layout page file (".lsf"): a small text file with CR LF line ends that
// records the page label, the orientation and, back to front, each picture's
// path and its four fractions of the page.

#include <QByteArray>
#include <QString>

namespace lumaset {

// The header line's write form: the quoted label and the orientation flag.
QByteArray LayoutHeaderLine(const QString& label, const QString& orientation);

// A quoted path line.
QByteArray LayoutPathLine(const QString& path);

// Texts laid out in print zones of 14 columns, each starting where its zone
// starts; a text longer than its zone pushes the next one to the next zone.
QByteArray PrintZones(const QStringList& items);

// The sample layout that start-up writes beside "Sample.jpg" in the layouts
// folder (which ends with "/").
QByteArray SampleLayoutContent(const QString& layoutFolder);

inline constexpr char kSampleLayoutName[] = "Sample.lsf";
inline constexpr char kSamplePictureName[] = "Sample.jpg";

}  // namespace lumaset
