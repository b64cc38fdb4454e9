#pragma once

// Pictures and waiting for the thumbnail tests.

#include <QString>

#include <functional>

namespace lumaset::test {

// Writes a picture of `width` x `height` pixels in `format` ("png", "jpg",
// "gif", ...) to `path`.
void WritePicture(const QString& path, int width, int height, const char* format = "png");
// Writes `text` as the whole content of `path`.
void WriteText(const QString& path, const QByteArray& text);
// Lets events run until `done` holds; false if it never does (a broken
// build would otherwise hang the run).
bool RunUntil(const std::function<bool()>& done);

}  // namespace lumaset::test
