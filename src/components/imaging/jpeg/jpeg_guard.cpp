#include "components/imaging/jpeg/jpeg_guard.h"

#include <algorithm>

#include "components/imaging/decode_memory.h"
#include "components/imaging/jpeg/jpeg_decode.h"

namespace lumaset::imaging_detail {

const QString kDamaged = QStringLiteral("the picture is damaged or incomplete");

namespace {

// What libjpeg holds besides the coefficients of a file of several scans:
// rows of every component being decoded, upsampled and converted, at most
// this many rows of the full width, and its tables.
constexpr qint64 kDecoderRows = 128;
constexpr qint64 kDecoderTableBytes = qint64{4} << 20;

}  // namespace

[[noreturn]] void leave(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(errors->jump, 1);
}

namespace {

[[noreturn]] void onError(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  errors->failure = errors->pub.msg_code;
  if (errors->failure == JERR_BAD_PRECISION) errors->precision = errors->pub.msg_parm.i[0];
  leave(info);
}

bool beforeLastRow(j_common_ptr common) {
  const auto* info = reinterpret_cast<j_decompress_ptr>(common);
  return info->input_iMCU_row + 1 < info->total_iMCU_rows;
}

// Huffman data that runs short is reported when its bits are wanted: after
// the file ran out that is damage, wherever it happens. Arithmetic-coded
// data is not reported at all, so the file's end decides: before the last
// row of a scan it is damage. A file that runs out between scans is whole
// when it has all of them, which the decode looks at when it is done.
void onMessage(j_common_ptr common, int level) {
  if (level >= 0 || !common->is_decompressor) return;
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  const auto* info = reinterpret_cast<j_decompress_ptr>(common);
  const int code = common->err->msg_code;
  if (code == JWRN_JPEG_EOF) {
    errors->fileEnded = true;
    if (errors->inHeader || (info->arith_code && beforeLastRow(common))) leave(common);
  } else if (code == JWRN_HIT_MARKER && info->unread_marker == JPEG_EOI) {
    if (errors->fileEnded || beforeLastRow(common)) leave(common);
  }
}

// A scan is counted when its first row is asked for: the steps it takes,
// and the components it holds. Huffman code spends bits on every block it
// goes over (a run of empty blocks costs a few bits for thousands, each
// still gone over), arithmetic code may spend none on each coefficient of
// the scan's band.
void countScan(j_decompress_ptr info, ErrorManager& errors) {
  errors.scan = info->input_scan_number;
  const qint64 band = info->arith_code ? std::clamp(info->Se - info->Ss + 1, 1, DCTSIZE2) : 1;
  errors.steps += qint64{info->MCUs_per_row} * info->MCU_rows_in_scan * info->blocks_in_MCU * band;
  for (int i = 0; i < info->comps_in_scan; ++i) errors.scanned |= 1U << info->cur_comp_info[i]->component_index;
  errors.tooManyScans = errors.scan > kMostJpegScans;
  errors.tooMuchWork = errors.steps > kMostJpegDecodeSteps;
}

// Asked by libjpeg between rows and scans; it tells how far it has come.
void onProgress(j_common_ptr common) {
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  const jpeg_progress_mgr& progress = *common->progress;
  const double inPass = progress.pass_limit > 0 ? double(progress.pass_counter) / progress.pass_limit : 0;
  if (WorkProgress::Step(progress.completed_passes + inPass, std::max(progress.total_passes, 1))) {
    errors->stopped = true;
    leave(common);
  }
  if (!common->is_decompressor) return;
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number == errors->scan) return;
  countScan(info, *errors);
  if (errors->tooManyScans || errors->tooMuchWork) leave(common);
}

void silently(j_common_ptr) {}

}  // namespace

// Whether a file that ran out had every scan: a progressive file has then
// brought every coefficient of every component to its last bit, a
// sequential one has had a scan of each component.
bool hasEveryScan(const jpeg_decompress_struct& info, unsigned scanned) {
  if (!info.progressive_mode) return scanned == (1U << info.num_components) - 1;
  for (int c = 0; c < info.num_components; ++c) {
    for (int k = 0; k < DCTSIZE2; ++k) {
      if (info.coef_bits[c][k] != 0) return false;
    }
  }
  return true;
}

// Every block of every component costs at least one bit of Huffman code
// (its DC difference), so a file with fewer bits than blocks is cut off, or
// lies about its size. Arithmetic coding has no such floor (a page of one
// colour takes a few bytes), so those files are bounded by their memory
// and their scans alone.
bool holdsItsBlocks(const jpeg_decompress_struct& info, qint64 fileBytes) {
  if (info.arith_code) return true;
  double blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    blocks += static_cast<double>(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
  }
  return static_cast<double>(fileBytes) * 8 >= blocks;
}

// The coefficients of every block (64 of 2 bytes), in arrays whose sides
// are whole multiples of the component's sampling.
qint64 coefficientBytes(const jpeg_decompress_struct& info) {
  const auto roundUp = [](qint64 value, qint64 step) { return (value + step - 1) / step * step; };
  qint64 blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    blocks += roundUp(component.width_in_blocks, component.h_samp_factor) *
              roundUp(component.height_in_blocks, component.v_samp_factor);
  }
  return blocks * DCTSIZE2 * qint64{sizeof(JCOEF)};
}

// What the decoder holds besides the picture. A file of several scans
// (progressive, or sequential with a scan per component) keeps every
// block's coefficients until its last scan, at full size whatever the
// scale; every file keeps rows being decoded.
qint64 decoderBytes(j_decompress_ptr info) {
  const qint64 coefficients = jpeg_has_multiple_scans(info) ? coefficientBytes(*info) : 0;
  return coefficients + qint64{info->image_width} * info->num_components * kDecoderRows + kDecoderTableBytes;
}


// Why the rows of a picture of `stored` size could not be decoded.
Error decodeFailure(const ErrorManager& errors, QSize stored, const Error& memory) {
  const auto sized = [stored](const QString& text) { return Error{text.arg(stored.width()).arg(stored.height())}; };
  if (errors.tooManyScans) {
    return Error{QStringLiteral("the picture is stored in more than %1 scans").arg(kMostJpegScans)};
  }
  if (errors.tooMuchWork) {
    return sized(QStringLiteral("the picture of %1 x %2 pixels asks for more decoding work than any photo"));
  }
  if (errors.tooMuchData) {
    return sized(QStringLiteral("the file holds far more data than a picture of %1 x %2 pixels needs"));
  }
  return errors.outOfMemory() ? memory : Error{kDamaged};
}

void createWatchedDecoder(jpeg_decompress_struct& info, ErrorManager& errors, jpeg_progress_mgr& progress) {
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = onError;
  errors.pub.emit_message = onMessage;
  errors.pub.output_message = silently;
  jpeg_create_decompress(&info);
  progress.progress_monitor = onProgress;
  info.progress = &progress;
}

void createWatchedEncoder(jpeg_compress_struct& info, ErrorManager& errors, jpeg_progress_mgr& progress) {
  info.err = &errors.pub;
  jpeg_create_compress(&info);
  progress.progress_monitor = onProgress;
  info.progress = &progress;
}

}  // namespace lumaset::imaging_detail
