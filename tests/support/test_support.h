#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

#include <functional>
#include <ostream>

// Lets test failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace lumaset::test {

// The private folder that stands in for the user's home during this test run.
QString homeFolder();

// A fresh empty folder below the private home, removed with it at the end of the run.
QString freshFolder(const QString& name);

// Writes a one-colour picture, in `format` or else the one its name ends with.
bool WritePicture(const QString& path, int width, int height, const char* format = nullptr,
                  QColor colour = QColor(40, 120, 200));
// Writes `bytes` as the whole content of `path`.
bool WriteText(const QString& path, const QByteArray& bytes);
// The whole content of `path`, or "(none)" when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Lets events run until `done` holds; false if it never does (a broken
// build would otherwise hang the run).
bool RunUntil(const std::function<bool()>& done);

}  // namespace lumaset::test
