#pragma once

// The EXIF dump: the outside program jhead reads a JPEG file and prints what
// its headers say, one "Label : value" line per fact. It is started directly
// with an argument list (no shell, so any file name is safe), its standard
// output is read, and it is stopped when it runs past a time limit. Nothing
// is written anywhere: the picture is only read, in place.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

#include "components/result.h"

namespace lumaset {

// What a finished outside program left behind.
struct ProgramOutput {
  int exitCode = 0;
  QByteArray standardOutput;
  QByteArray standardError;
};

// Runs `program` with `arguments` and nothing on its standard input, and
// waits at most `timeLimitMs` for it to end, running the event loop
// meanwhile so that windows keep painting (what the user types or clicks
// waits until the program has ended). A program that cannot be
// started, crashes or runs out of time (it is then killed) is an error; a
// non-zero exit code is not: the caller decides what it means.
Result<ProgramOutput> RunProgram(const QString& program, const QStringList& arguments, int timeLimitMs);

struct ExifField {
  QString label;  // "Camera make", "Date/Time", ...
  QString value;  // as printed, without the padding around it
};

struct ExifReport {
  QStringList lines;              // the report line for line, unchanged
  std::vector<ExifField> fields;  // every line of the form "label : value"

  // Whether the picture carries EXIF data. jhead prints the file's name, size,
  // date, resolution and JPEG quality for any JPEG file, so only fields that
  // come from EXIF data count.
  bool hasExif() const;
};

// Whether jhead prints the field `label` only from a picture's EXIF data.
bool IsExifLabel(QStringView label);

// Splits jhead's standard output into lines and fields.
ExifReport ParseJheadReport(const QByteArray& output);

class ExifReader {
 public:
  static inline const QString kDefaultProgram = QStringLiteral("jhead");
  static constexpr int kDefaultTimeLimitMs = 5000;

  explicit ExifReader(QString program = kDefaultProgram, int timeLimitMs = kDefaultTimeLimitMs);

  // The report on the picture at `path`, its first line naming the file
  // without its folder; an error when jhead cannot be run or cannot read the
  // file (not a JPEG, missing, unreadable).
  Result<ExifReport> Read(const QString& path) const;

  const QString& program() const { return program_; }

 private:
  QString program_;
  int timeLimitMs_;
};

}  // namespace lumaset
