#include "components/system_memory.h"

#include <QFile>
#include <QString>

#include <limits>

namespace lumaset {

namespace {

constexpr qint64 kBytesPerKilobyte = 1024;

// "   1234567 kB": the number and its unit, nothing else.
std::optional<qint64> parseKilobytes(QStringView field) {
  const QList<QStringView> words = field.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.size() != 2 || words[1] != QLatin1String("kB")) return std::nullopt;
  for (QChar c : words[0])
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  bool ok = false;
  const qint64 kilobytes = words[0].toLongLong(&ok);
  if (!ok || kilobytes > std::numeric_limits<qint64>::max() / kBytesPerKilobyte) return std::nullopt;
  return kilobytes * kBytesPerKilobyte;
}

}  // namespace

std::optional<qint64> ParseMemAvailable(QStringView meminfoText) {
  static constexpr QLatin1String kKey("MemAvailable:");
  for (QStringView line : meminfoText.split(QLatin1Char('\n'))) {
    if (line.startsWith(kKey)) return parseKilobytes(line.mid(kKey.size()));
  }
  return std::nullopt;
}

std::optional<qint64> AvailableMemoryBytes() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
  return ParseMemAvailable(QString::fromLatin1(meminfo.readAll()));
}

}  // namespace lumaset
