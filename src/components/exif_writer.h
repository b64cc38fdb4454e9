#pragma once

// Carrying a JPEG's EXIF block over to a rewritten copy of the picture,
// through the outside program jhead, started with an argument list.

#include <QString>

#include "components/result.h"

namespace lumaset {

class ExifWriter {
 public:
  static inline const QString kDefaultProgram = QStringLiteral("jhead");
  static constexpr int kDefaultTimeLimitMs = 10000;

  explicit ExifWriter(QString program = kDefaultProgram, int timeLimitMs = kDefaultTimeLimitMs);

  // Gives the JPEG file `target` the EXIF block of the JPEG file `source`
  // (nothing when `source` has none), with its orientation tag set to 1:
  // the target's pixels are already upright. `target` is changed in place,
  // so it should be a copy that is not yet the user's file.
  Status CopyUpright(const QString& source, const QString& target) const;

 private:
  Status Run(const QStringList& arguments, const QString& target) const;

  QString program_;
  int timeLimitMs_;
};

}  // namespace lumaset
