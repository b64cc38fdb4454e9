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

  // The JPEG file `jpeg` given the EXIF block of the JPEG file `source`
  // (nothing when `source` has none), with its orientation tag set to 1: the
  // pixels are already upright. The program works on a scratch copy in a
  // private folder; what it gives back must hold `jpeg`'s picture whole, or
  // it is refused.
  Result<QByteArray> CopyUpright(const QString& source, const QByteArray& jpeg) const;

 private:
  Status Run(const QStringList& arguments, const QString& target) const;

  QString program_;
  int timeLimitMs_;
};

}  // namespace lumaset
