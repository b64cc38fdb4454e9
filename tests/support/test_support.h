#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>

// Lets test failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
// ... and sizes and rectangles as the user would measure them.
inline void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << " x " << size.height(); }
inline void PrintTo(const QRect& rect, std::ostream* out) {
  *out << rect.width() << " x " << rect.height() << " at " << rect.x() << ", " << rect.y();
}

namespace lumaset::test {

// The private folder that stands in for the user's home during this test run.
QString homeFolder();

// A fresh empty folder below the private home, removed with it at the end of the run.
QString freshFolder(const QString& name);
// The same on a short path of the run's own, for sockets, whose paths may
// not pass 107 bytes wherever the temporary folder is.
QString freshShortFolder(const QString& name);
// Where freshShortFolder makes its folders; set once by main().
void SetShortRoot(const QString& folder);

// Writes a one-colour picture, in `format` or else the one its name ends with.
bool WritePicture(const QString& path, int width, int height, const char* format = nullptr,
                  QColor colour = QColor(40, 120, 200));
// A picture of four quarters, red, green, blue and white from the top left,
// so that every turn and flip shows in its corners.
QImage Quarters(int width, int height);
// The colours at the four corners (two pixels in), top left, top right,
// bottom left, bottom right, each rounded to the nearest of the quarters'.
QString CornerColours(const QImage& image);
// An EXIF segment (APP1, marker and length included) whose first directory
// holds the orientation tag with `orientation`, in Motorola or Intel order.
QByteArray ExifOrientationSegment(int orientation, bool motorola = true);
// The JPEG file `jpeg` with `segment` placed right after its start marker.
QByteArray WithSegment(const QByteArray& jpeg, const QByteArray& segment);
// The APP and comment segments of the JPEG file `jpeg` before its first scan, each whole.
QList<QByteArray> MetadataSegments(const QByteArray& jpeg);
// Writes `image` as a JPEG file whose EXIF data gives `orientation`; the
// pixels are stored as they are, so a reader must turn them.
bool WriteOrientedJpeg(const QString& path, const QImage& image, int orientation, bool motorola = true);
// Writes `bytes` as the whole content of `path`.
bool WriteText(const QString& path, const QByteArray& bytes);
// The whole content of `path`, or "(none)" when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Runs `work` in a child process and gives its exit code, or -1 when it
// had not ended after `seconds` and was stopped: a call that hangs then
// fails its test instead of the whole run.
int RunInChild(const std::function<int()>& work, int seconds = 60);
// What a run of some of this test program's tests gave.
struct ProgramRun {
  bool ended = false;  // within its time; false too when it never started (`errors` says why)
  int exitCode = -1;
  QByteArray output, errors;
};
// Runs the tests that `filter` selects (disabled ones too) in a copy of
// this test program as an ordinary user: started by root, the copy gives
// root's power up for nobody's first. It runs with the environment of a
// user who logged in: no sbin folder on PATH, the user's own HOME. The copy
// lies where anyone may run it and its temporary folder is /tmp; it is
// stopped after `seconds`.
ProgramRun RunAsOrdinaryUser(const QString& filter, int seconds,
                             const QStringList& environment = {});
// Takes from this process root's power to pass over file permissions and to
// give files any group, so that a folder without write permission refuses it
// too. For a child only.
void ObeyFilePermissions();

// While it lives, a plain file stands where the trash folder of the
// private data folder belongs, so that nothing can go to the trash.
class BlockedTrash {
 public:
  BlockedTrash();
  ~BlockedTrash();
  BlockedTrash(const BlockedTrash&) = delete;
  BlockedTrash& operator=(const BlockedTrash&) = delete;

 private:
  QString trash_;
  bool moved_ = false;
};

// Lets events run until `done` holds; false if it has not after 20 s (a
// broken build would otherwise hang the run). The bound stays under the
// test's own deadline, so that the test's message names what never came,
// and leaves a busy machine room for what comes late.
bool RunUntil(const std::function<bool()>& done);

// Whether a library whose file name holds `name` ("/libcups.") is loaded.
bool LibraryLoaded(const QString& name);

}  // namespace lumaset::test
