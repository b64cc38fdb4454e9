#include "components/imaging/tiff/tiff_memory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace lumaset::imaging_detail {

namespace {

TiffMemoryFile& fileOf(thandle_t handle) { return *static_cast<TiffMemoryFile*>(handle); }

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
  TiffMemoryFile& file = fileOf(handle);
  const qint64 n = std::clamp<qint64>(file.size() - file.at, 0, count);
  if (n > 0) std::memcpy(buffer, file.data() + file.at, static_cast<size_t>(n));
  file.at += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t count) {
  TiffMemoryFile& file = fileOf(handle);
  if (!file.writing || count < 0) return -1;
  if (file.at + count > file.out.size()) file.out.resize(file.at + count);
  std::memcpy(file.out.data() + file.at, buffer, static_cast<size_t>(count));
  file.at += count;
  return count;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  TiffMemoryFile& file = fileOf(handle);
  const qint64 base = whence == SEEK_CUR ? file.at : whence == SEEK_END ? file.size() : 0;
  const qint64 to = base + static_cast<qint64>(offset);
  if (to < 0) return static_cast<toff_t>(-1);
  file.at = to;
  return static_cast<toff_t>(to);
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t handle) { return static_cast<toff_t>(fileOf(handle).size()); }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* message, const char*, const char* format, va_list args) {
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  if (static_cast<QString*>(message)->isEmpty()) *static_cast<QString*>(message) = QString::fromLocal8Bit(text);
  return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

QIODevice& deviceOf(thandle_t handle) { return *static_cast<QIODevice*>(handle); }

tmsize_t deviceRead(thandle_t handle, void* buffer, tmsize_t count) {
  return static_cast<tmsize_t>(deviceOf(handle).read(static_cast<char*>(buffer), count));
}

tmsize_t deviceWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t deviceSeek(thandle_t handle, toff_t offset, int whence) {
  QIODevice& device = deviceOf(handle);
  const qint64 base = whence == SEEK_CUR ? device.pos() : whence == SEEK_END ? device.size() : 0;
  const qint64 to = base + static_cast<qint64>(offset);
  if (to < 0 || !device.seek(to)) return static_cast<toff_t>(-1);
  return static_cast<toff_t>(to);
}

toff_t deviceSize(thandle_t handle) { return static_cast<toff_t>(deviceOf(handle).size()); }

TiffHandle clientOpen(thandle_t handle, const char* mode, QString& message, TIFFReadWriteProc read,
                      TIFFReadWriteProc write, TIFFSeekProc seek, TIFFSizeProc size) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &message);
  TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, nullptr);
  TIFF* tiff =
      TIFFClientOpenExt("picture", mode, handle, read, write, seek, closeProc, size, mapProc, unmapProc, options);
  TIFFOpenOptionsFree(options);
  return TiffHandle(tiff);
}

}  // namespace

TiffHandle openTiff(TiffMemoryFile& file, const char* mode, QString& message) {
  return clientOpen(&file, mode, message, readProc, writeProc, seekProc, sizeProc);
}

TiffHandle openTiff(QIODevice& device, QString& message) {
  if (!device.seek(0)) return nullptr;
  return clientOpen(&device, "rm", message, deviceRead, deviceWrite, deviceSeek, deviceSize);
}

}  // namespace lumaset::imaging_detail
