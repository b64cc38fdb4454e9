#include "documents/layout_file.h"

#include <QStringList>

namespace lumaset {

namespace {

constexpr int kZoneWidth = 14;
constexpr char kLineEnd[] = "\r\n";

QByteArray Quoted(const QString& text) { return '"' + text.toUtf8() + '"'; }

}  // namespace

QByteArray LayoutHeaderLine(const QString& label, const QString& orientation) {
  return Quoted(label) + ',' + orientation.toUtf8() + kLineEnd;
}

QByteArray LayoutPathLine(const QString& path) { return Quoted(path) + kLineEnd; }

QByteArray PrintZones(const QStringList& items) {
  QByteArray line;
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (i > 0) {
      const qsizetype next = (line.size() / kZoneWidth + 1) * kZoneWidth;
      line.append(next - line.size(), ' ');
    }
    line += items[i].toUtf8();
  }
  return line + kLineEnd;
}

QByteArray SampleLayoutContent(const QString& layoutFolder) {
  return LayoutHeaderLine(QStringLiteral("Sample:  Mt. Shasta volcano, California"),
                          QStringLiteral("\"0\"")) +
         QByteArray(" ") + kLineEnd +
         LayoutPathLine(layoutFolder + QLatin1String(kSamplePictureName)) +
         PrintZones({QStringLiteral("0.1174425"), QStringLiteral("0.1861499"),
                     QStringLiteral("0.7529427"), QStringLiteral("0.3799483")});
}

}  // namespace lumaset
