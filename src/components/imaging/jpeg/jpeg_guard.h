#pragma once

// The watch kept over libjpeg while it reads a JPEG file, shared by every
// reader of such files (the picture's decode and the file's turn): what
// ends a read early, what it may cost, and what its failure is called.

#include <QSize>
#include <QString>

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>
// jerror.h after it.
#include <jerror.h>

#include "components/result.h"

namespace lumaset::imaging_detail {

extern const QString kDamaged;

// libjpeg reports through these hooks. A fatal error leaves the decoder at
// once, and so do a stop asked for, a file whose scans would take more work
// than any encoder asks for, and one that goes on past what its picture
// could need. The end of the picture reached while picture data is still
// wanted (the file runs out, or its end marker comes before the last
// row of blocks) leaves too; a file that lacks only its end marker is
// whole. Every other warning (extraneous bytes, a corrupt restart
// interval, a data segment that ends early at the next segment's marker)
// is passed over and the picture is given.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer is also ours
  std::jmp_buf jump;
  int failure = 0;  // libjpeg's code for the fatal error
  int precision = 0;  // bits a sample of a picture refused for them
  bool stopped = false;
  bool tooManyScans = false;
  bool tooMuchWork = false;
  bool tooMuchData = false;  // the file went on past what its picture could need
  bool inHeader = true;  // still reading the markers before the first scan
  bool fileEnded = false;  // the file ran out; libjpeg goes on as if it had ended there
  int scan = 0;  // the last scan counted
  qint64 steps = 0;  // what the scans so far cost, as countScan counts it
  unsigned scanned = 0;  // the components that have had a scan, one bit each

  bool outOfMemory() const { return failure == JERR_OUT_OF_MEMORY || failure == JERR_NO_BACKING_STORE; }
};

// Leaves the decoder at once, back to the last setjmp on its jump.
[[noreturn]] void leave(j_common_ptr info);

// jpeg_create_decompress, with libjpeg reporting to `errors` and asking
// `progress` between rows and scans. Call once `info` can be destroyed:
// a failure jumps out.
void createWatchedDecoder(jpeg_decompress_struct& info, ErrorManager& errors, jpeg_progress_mgr& progress);

// jpeg_create_compress, for an encoder working beside a decoder watched so:
// it reports to the same `errors`, and stops when the decoder would.
void createWatchedEncoder(jpeg_compress_struct& info, ErrorManager& errors, jpeg_progress_mgr& progress);

// Whether a file that ran out had every scan: a progressive file has then
// brought every coefficient of every component to its last bit, a
// sequential one has had a scan of each component.
bool hasEveryScan(const jpeg_decompress_struct& info, unsigned scanned);

// Whether a file of `fileBytes` bytes can hold every block its header
// claims (see the definition).
bool holdsItsBlocks(const jpeg_decompress_struct& info, qint64 fileBytes);

// The memory the coefficients of every block take.
qint64 coefficientBytes(const jpeg_decompress_struct& info);

// What the decoder holds besides the picture: the coefficients of a file
// of several scans, rows being decoded, its tables.
qint64 decoderBytes(j_decompress_ptr info);

// Why the rows of a picture of `stored` size could not be decoded;
// `memory` when it ran out of memory.
Error decodeFailure(const ErrorManager& errors, QSize stored, const Error& memory);

}  // namespace lumaset::imaging_detail
