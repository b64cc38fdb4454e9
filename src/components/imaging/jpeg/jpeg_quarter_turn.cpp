#include "components/imaging/jpeg/jpeg_quarter_turn.h"

#include <QSize>
#include <QString>

#include <algorithm>
#include <optional>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/jpeg/jpeg_after_picture.h"
#include "components/imaging/jpeg/jpeg_metadata.h"
#include "components/imaging/jpeg/jpeg_segments.h"
#include "components/imaging/jpeg/jpeg_turn_parts.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset {

namespace {

using imaging_detail::JpegReader;
using imaging_detail::Turn;
using imaging_detail::TurnEnd;

// Whether every component's table can quantise afresh: a step of 0,
// which a decoder takes, would leave the encoder dividing by it.
bool quantisesAfresh(const jpeg_decompress_struct& info) {
  for (int c = 0; c < info.num_components; ++c) {
    const JQUANT_TBL* table = imaging_detail::quantisationOf(info, c);
    if (table == nullptr || std::find(table->quantval, table->quantval + DCTSIZE2, 0) != table->quantval + DCTSIZE2)
      return false;
  }
  return true;
}

// The samples of every component, each plane padded to whole rows of MCUs.
qint64 planeBytes(const jpeg_decompress_struct& info) {
  qint64 bytes = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    bytes += qint64{component.width_in_blocks} * DCTSIZE * info.total_iMCU_rows * component.v_samp_factor * DCTSIZE;
  }
  return bytes;
}

// What a turn holds at most, besides the file, which it holds three times
// (as read, as written, and with its header segments). Turned whole: the
// coefficients turned, beside the original's while they are turned and
// beside those read back while they are written. Compressed again: the
// planes, with the decoder's coefficients and rows while they are read, or
// with the encoder's coefficients and those the check reads back while
// they are written.
constexpr qint64 kWorkBytes = qint64{8} << 20;

qint64 turnBytes(const jpeg_decompress_struct& info, qint64 fileBytes, bool whole) {
  const qint64 coefficients = imaging_detail::coefficientBytes(info);
  const qint64 own = whole ? 2 * coefficients
                           : planeBytes(info) + coefficients +
                                 imaging_detail::decoderBytes(const_cast<j_decompress_ptr>(&info));
  return own + 3 * fileBytes + kWorkBytes;
}

Error headerFailure(const imaging_detail::ErrorManager& errors) {
  if (errors.failure == JERR_BAD_PRECISION) {
    return Error{
        QStringLiteral("the picture uses %1 bits a sample, and Lumaset turns JPEG pictures of 8 bits a sample.")
            .arg(errors.precision)};
  }
  return Error{imaging_detail::kDamaged + QLatin1Char('.')};
}

Error withStop(const QString& description) {
  return Error{description.endsWith(QLatin1Char('.')) ? description : description + QLatin1Char('.')};
}

// One picture, from its start marker to its end marker, turned by `turn`,
// with the original's header segments; see TurnJpegClockwise.
Result<QByteArray> turnPicture(QByteArrayView picture, Turn turn, const QByteArray* standIn) {
  JpegReader original;
  if (!imaging_detail::startReader(original, picture, static_cast<long>(imaging_detail::kFullSizeBytes)))
    return headerFailure(original.errors);
  const jpeg_decompress_struct& in = original.info;
  // The picture as it is shown, which the turn leaves transposed.
  const QSize turned = turn.transpose ? QSize(static_cast<int>(in.image_height), static_cast<int>(in.image_width))
                                      : QSize(static_cast<int>(in.image_width), static_cast<int>(in.image_height));
  const QSize shown = turned.transposed();
  const Error memory{QStringLiteral("there is not enough memory to turn a picture of %1 x %2 pixels.")
                         .arg(shown.width())
                         .arg(shown.height())};
  if (!imaging_detail::holdsItsBlocks(in, picture.size())) return Error{imaging_detail::kDamaged + QLatin1Char('.')};
  const bool whole = imaging_detail::turnsWhole(in, turn);
  if (!whole && !quantisesAfresh(in)) return Error{imaging_detail::kDamaged + QLatin1Char('.')};
  // The header segments are made first, the EXIF thumbnail turned with the
  // picture, before the picture takes its memory. Where the stored picture
  // no longer lies sideways to the one shown, or now does, its resolution
  // across and down trade places.
  const bool storedSideways = imaging_detail::namedOrientation(picture) >= 5;
  const Result<QByteArray> metadata = MetadataFor(picture, turn.transpose != storedSideways, SampleColours::Original);
  if (!metadata) return metadata;
  const qint64 cost = turnBytes(in, picture.size(), whole);
  std::optional<imaging_detail::DecodeMemory::Share> share;
  if (auto refused = imaging_detail::TakeTurnMemory(share, static_cast<double>(cost), shown.width(), shown.height()))
    return *refused;
  imaging_detail::TurnWork work{original, turn, static_cast<long>(cost), standIn};
  original.info.mem->max_memory_to_use = work.memoryLimit;
  const imaging_detail::TurnOutcome outcome = whole ? turnBlocks(work) : turnPlanes(work);
  switch (outcome.end) {
    case TurnEnd::Written: break;
    case TurnEnd::Stopped: return CancelledError();
    case TurnEnd::Unlike: return Error{QStringLiteral("the turned picture does not read back as it was written.")};
    case TurnEnd::Failed:
      if (original.errors.stopped) return CancelledError();
      return withStop(imaging_detail::decodeFailure(original.errors, shown, memory).description);
  }
  Result<QByteArray> kept = WithMetadata(outcome.bytes, *metadata);
  if (!kept) return kept;
  if (!imaging_detail::sameCoding(*kept, outcome.bytes))
    return Error{QStringLiteral("the turned picture does not read back as it was written.")};
  return kept;
}

// The turn of a file's first picture that stands it upright and turns it a
// quarter clockwise.
Turn turnOf(const QByteArray& stored) {
  return imaging_detail::shownClockwise(JpegOrientation(stored));
}

}  // namespace

Result<QByteArray> TurnJpegClockwise(const QByteArray& stored) {
  const qsizetype end = imaging_detail::jpegPictureEnd(stored);
  const Turn turn = turnOf(stored);
  Result<QByteArray> first = turnPicture(QByteArrayView(stored).first(end), turn, nullptr);
  if (!first) return first;
  return imaging_detail::withPicturesAfter(*first, stored, end, turn, [](QByteArrayView picture, Turn itsTurn) {
    return turnPicture(picture, itsTurn, nullptr);
  });
}

namespace imaging_detail {

Result<QByteArray> turnJpegWritingInstead(const QByteArray& stored, const QByteArray& written) {
  return turnPicture(QByteArrayView(stored).first(jpegPictureEnd(stored)), turnOf(stored), &written);
}

}  // namespace imaging_detail

}  // namespace lumaset
