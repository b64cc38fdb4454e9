#include "components/imaging/oriented_samples.h"

#include "components/imaging/exif_turn.h"
#include "components/imaging/imaging_file_headers.h"

namespace lumaset::imaging_detail {

ShownTurn shownTurn(int orientation) {
  // Standing upright and then turning clockwise is, for each orientation, a
  // clockwise turn followed by mirroring, or mirroring alone where the two
  // turns' exchange of across and down cancels out.
  switch (orientation) {
    case 2: return {true, false, true};
    case 3: return {true, true, true};
    case 4: return {true, true, false};
    case 5: return {false, true, false};
    case 6: return {false, true, true};
    case 7: return {false, false, true};
    case 8: return {false, false, false};
    default: return {};
  }
}

QImageIOHandler::Transformations uprightTransformation(int orientation) {
  using T = QImageIOHandler;
  switch (orientation) {
    case 2: return T::TransformationMirror;
    case 3: return T::TransformationRotate180;
    case 4: return T::TransformationFlip;
    case 5: return T::TransformationFlipAndRotate90;
    case 6: return T::TransformationRotate90;
    case 7: return T::TransformationMirrorAndRotate90;
    case 8: return T::TransformationRotate270;
    default: return T::TransformationNone;
  }
}

Result<ShownExifTurn> shownExifTurn(QByteArrayView exif) {
  const QByteArrayView tiff = exifTiff(exif);
  Result<QByteArray> turned = exifTurned(tiff, true, INT32_MAX);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  return ShownExifTurn{shownTurn(exifDataOrientation(exif)), exif.first(exif.size() - tiff.size()).toByteArray() + *turned};
}

}  // namespace lumaset::imaging_detail
