#pragma once

// How much memory the system could still give the program without swapping,
// as the kernel estimates it. Byte counts are 64-bit: machines have far more
// than the 2 GB a signed 32-bit count can hold.

#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace lumaset {

// The MemAvailable figure of a /proc/meminfo text, in bytes; nothing when the
// line is missing, malformed or too large to count.
std::optional<qint64> ParseMemAvailable(QStringView meminfoText);

// The same figure read from this system's /proc/meminfo.
std::optional<qint64> AvailableMemoryBytes();

}  // namespace lumaset
