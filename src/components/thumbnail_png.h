#pragma once

// The thumbnail cache's PNG files: written compact and read back quickly.
// Lumaset writes 8-bit RGB (or RGBA) with plain text keys, rows filtered and
// deflated; its reader decodes such files in one pass and leaves every other
// PNG (another program's thumbnail) to Qt's reader.

#include <QByteArray>
#include <QHash>
#include <QImage>

#include <optional>
#include <utility>
#include <vector>

namespace lumaset {

using PngKeys = std::vector<std::pair<QByteArray, QByteArray>>;

// `picture` as a PNG holding `keys` as tEXt chunks right after its header,
// as file managers look for them; empty when it cannot be made.
QByteArray ThumbnailPngBytes(const QImage& picture, const PngKeys& keys);

struct PngPicture {
  QImage image;                          // RGB32, or ARGB32 with transparency
  QHash<QByteArray, QByteArray> keys;    // the text keys, values as UTF-8
};

// The picture and keys of a PNG no wider or taller than `largestSide`;
// nothing when the bytes are no such whole PNG.
std::optional<PngPicture> ReadThumbnailPng(const QByteArray& bytes, int largestSide);

}  // namespace lumaset
