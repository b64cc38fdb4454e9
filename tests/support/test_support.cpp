#include "support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <csignal>

#include <grp.h>
#include <link.h>
#include <pwd.h>

#include <linux/capability.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaset::test {

QString homeFolder() { return QDir::homePath(); }

QString freshFolder(const QString& name) {
  const QString path = QDir(homeFolder()).filePath(
      QStringLiteral("work/%1-%2").arg(name, QUuid::createUuid().toString(QUuid::Id128)));
  QDir().mkpath(path);
  return path;
}

namespace {
QString& ShortRoot() {
  static QString root;
  return root;
}
}  // namespace

void SetShortRoot(const QString& folder) { ShortRoot() = folder; }

QString freshShortFolder(const QString& name) {
  const QString path = QStringLiteral("%1/%2-%3").arg(ShortRoot(), name, QUuid::createUuid().toString(QUuid::Id128).left(8));
  QDir().mkpath(path);
  return path;
}

bool WritePicture(const QString& path, int width, int height, const char* format, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image.save(path, format);
}

QImage Quarters(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  const int x = width / 2, y = height / 2;
  QPainter painter(&image);
  painter.fillRect(0, 0, x, y, Qt::red);
  painter.fillRect(x, 0, width - x, y, Qt::green);
  painter.fillRect(0, y, x, height - y, Qt::blue);
  painter.fillRect(x, y, width - x, height - y, Qt::white);
  return image;
}

QString CornerColours(const QImage& image) {
  const auto name = [&image](int x, int y) {
    const QRgb c = image.pixel(x, y);
    const bool r = qRed(c) > 127, g = qGreen(c) > 127, b = qBlue(c) > 127;
    return r && g && b ? QStringLiteral("W") : r ? QStringLiteral("R") : g ? QStringLiteral("G") : b ? QStringLiteral("B") : QStringLiteral("?");
  };
  const int right = image.width() - 3, bottom = image.height() - 3;
  return name(2, 2) + name(right, 2) + name(2, bottom) + name(right, bottom);
}

QByteArray ExifOrientationSegment(int orientation, bool motorola) {
  const auto u16 = [motorola](int v) {
    const char hi = char(v >> 8 & 0xFF), lo = char(v & 0xFF);
    return motorola ? QByteArray(1, hi).append(lo) : QByteArray(1, lo).append(hi);
  };
  const auto u32 = [&u16, motorola](int v) { return motorola ? u16(v >> 16) + u16(v) : u16(v) + u16(v >> 16); };
  QByteArray tiff = (motorola ? QByteArray("MM") : QByteArray("II")) + u16(42) + u32(8);
  tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  const auto length = static_cast<int>(body.size()) + 2;  // the length counts itself, big-endian always
  return QByteArray("\xFF\xE1") + QByteArray(1, char(length >> 8)).append(char(length & 0xFF)) + body;
}

QByteArray WithSegment(const QByteArray& jpeg, const QByteArray& segment) {
  return jpeg.left(2) + segment + jpeg.mid(2);
}

QList<QByteArray> MetadataSegments(const QByteArray& jpeg) {
  QList<QByteArray> found;
  for (qsizetype at = 2; at + 4 <= jpeg.size() && jpeg[at + 1] != char(0xDA);) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    const int length = static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]);
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) found << jpeg.mid(at, length + 2);
    at += length + 2;
  }
  return found;
}

bool WriteOrientedJpeg(const QString& path, const QImage& image, int orientation, bool motorola) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "jpeg", 95)) return false;
  return WriteText(path, WithSegment(jpeg, ExifOrientationSegment(orientation, motorola)));
}

bool WriteText(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

int RunInChild(const std::function<int()>& work, int seconds) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work());
  if (child < 0) return -1;
  int status = 0;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::poll(nullptr, 0, 100);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return -1;
}

namespace {

// The environment of `user` after logging in: Debian's login PATH, which has
// no sbin folder, and the user's own home and name.
QProcessEnvironment LoginEnvironment(uid_t user) {
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  variables.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin:/usr/games"));
  if (const passwd* entry = ::getpwuid(user)) {
    variables.insert(QStringLiteral("HOME"), QFile::decodeName(entry->pw_dir));
    variables.insert(QStringLiteral("USER"), QFile::decodeName(entry->pw_name));
    variables.insert(QStringLiteral("LOGNAME"), QFile::decodeName(entry->pw_name));
  }
  return variables;
}

}  // namespace

ProgramRun RunAsOrdinaryUser(const QString& filter, int seconds, const QStringList& environment) {
  ProgramRun result;
  QTemporaryDir place(QStringLiteral("/tmp/lumaset-copy-XXXXXX"));
  const QString program = place.filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  const auto anyone = QFileDevice::Permissions(0x7755);
  if (!QFile::copy(QCoreApplication::applicationFilePath(), program) || !QFile::setPermissions(place.path(), anyone) ||
      !QFile::setPermissions(program, anyone)) {
    result.errors = "this test program cannot be copied to " + QFile::encodeName(place.path());
    return result;
  }
  QProcess run;
  constexpr uid_t kNobody = 65534;
  QProcessEnvironment variables = LoginEnvironment(::geteuid() == 0 ? kNobody : ::geteuid());
  variables.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
  for (const QString& variable : environment) variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
  run.setProcessEnvironment(variables);
  run.setChildProcessModifier([] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(3);
  });
  run.start(program, {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=") + filter});
  if (!run.waitForStarted(10000)) {
    result.errors = "the copy of this test program cannot be run: " + run.errorString().toLocal8Bit();
    return result;
  }
  result.ended = run.waitForFinished(seconds * 1000);
  result.exitCode = run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
  result.output = run.readAllStandardOutput();
  result.errors = run.readAllStandardError();
  return result;
}

void ObeyFilePermissions() {
  if (::geteuid() != 0) return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  ::syscall(SYS_capget, &header, data);
  for (const int power : {CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
    data[0].effective &= ~(1U << power);
  ::syscall(SYS_capset, &header, data);
}

BlockedTrash::BlockedTrash() : trash_(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash")) {
  moved_ = QFileInfo(trash_).isDir() && QDir().rename(trash_, trash_ + QStringLiteral(".kept"));
  WriteText(trash_, "in the way");
}

BlockedTrash::~BlockedTrash() {
  QFile::remove(trash_);
  if (moved_) QDir().rename(trash_ + QStringLiteral(".kept"), trash_);
}

bool RunUntil(const std::function<bool()>& done) {
  const QDeadlineTimer giveUp(std::chrono::seconds(20));
  while (!done()) {
    if (giveUp.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

bool LibraryLoaded(const QString& name) {
  QStringList loaded;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* names) {
        static_cast<QStringList*>(names)->append(QString::fromLocal8Bit(info->dlpi_name));
        return 0;
      },
      &loaded);
  return !loaded.filter(name).isEmpty();
}

}  // namespace lumaset::test
