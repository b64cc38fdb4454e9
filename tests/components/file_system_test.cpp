#include "components/file_system.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <iostream>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "support/file_size_limit.h"
#include "support/spare_group.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using FS = FileSystemUtility;

void writeFile(const QString& path, const QByteArray& bytes) { ASSERT_TRUE(test::WriteText(path, bytes)); }
QByteArray readFile(const QString& path) { return test::ReadBytes(path); }

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

using test::FileSizeLimit;

TEST(FileSystemUtility, PathPartSplitsFilesAndFolders) {
  struct Case { const char *path, *name, *folder; };
  const Case cases[] = {
      {"/home/ann/Photos/beach.jpg", "beach.jpg", "/home/ann/Photos/"},
      {"/home/ann/Photos/Holiday/", "Holiday/", "/home/ann/Photos/"},
      {"/home/ann/My Photos/a b.JPG", "a b.JPG", "/home/ann/My Photos/"},
      {"/beach.jpg", "beach.jpg", "/"},
      {"/home/", "home/", "/"},
      {"/", "/", "/"},
      {"beach.jpg", "beach.jpg", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FS::PathPart(QString::fromUtf8(c.path), false), QString::fromUtf8(c.name)) << c.path;
    EXPECT_EQ(FS::PathPart(QString::fromUtf8(c.path), true), QString::fromUtf8(c.folder)) << c.path;
  }
}

TEST(FileSystemUtility, PathExistsTellsFilesFromFolders) {
  const QString dir = test::freshFolder("exists") + QLatin1Char('/');
  writeFile(dir + "a.jpg", "x");
  QFile::link(dir + "gone.jpg", dir + "dangling.jpg");
  EXPECT_TRUE(FS::PathExists(dir + "a.jpg", QString()));
  EXPECT_TRUE(FS::PathExists(dir + "dangling.jpg", QString()));  // the name is taken
  EXPECT_FALSE(FS::PathExists(dir + "A.JPG", QString()));
  EXPECT_FALSE(FS::PathExists(dir, QString()));
  EXPECT_TRUE(FS::PathExists(QString(), dir));
  EXPECT_FALSE(FS::PathExists(QString(), dir + "a.jpg"));
  EXPECT_FALSE(FS::PathExists(QString(), QString()));
}

TEST(FileSystemUtility, DocumentsFolderOnlyWhenItExists) {
  const QString documents = QDir::homePath() + "/Documents";
  QDir(documents).removeRecursively();
  EXPECT_EQ(FS::SpecialFolderDocuments(), QString());
  QDir().mkpath(documents);
  EXPECT_EQ(FS::SpecialFolderDocuments(), documents + QLatin1Char('/'));
}

TEST(FileSystemUtility, CopyReplacesAndKeepsPermissionsAndDate) {
  const QString dir = test::freshFolder("copy") + QLatin1Char('/');
  const QString source = dir + "a.jpg";
  const QString target = dir + "b.jpg";
  writeFile(source, "new picture");
  writeFile(target, "old");
  QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const std::optional<gid_t> group = test::GiveSpareGroup(source);
  const QDateTime taken(QDate(2004, 7, 1), QTime(12, 0));
  QFile file(source);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(taken, QFileDevice::FileModificationTime));
  file.close();

  ASSERT_TRUE(FS::CopyFile(source, target).ok());
  EXPECT_EQ(readFile(target), "new picture");
  EXPECT_EQ(readFile(source), "new picture");
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  if (group) { EXPECT_EQ(info.st_gid, *group); }
  EXPECT_EQ(QFileInfo(target).lastModified(), taken);
  // Where the group may not be given (a group the user is not in; root is
  // made to obey that here), the copy is made all the same, but a new
  // version of the file itself is refused: the group would lose it.
  if (::geteuid() == 0) {
    EXPECT_EQ(test::RunInChild([&] {
      test::ObeyFilePermissions();
      const bool copied = FS::CopyFile(source, dir + "c.jpg").ok() && QFileInfo(dir + "c.jpg").groupId() == 0;
      return copied && FS::WriteFile(source, "turned").error().contains("its group cannot be kept") ? 7 : 1;
    }), 7);
    EXPECT_EQ(readFile(source), "new picture");
  }
  EXPECT_EQ(entries(dir).size(), ::geteuid() == 0 ? 3 : 2);
}

// Every refused copy or move must leave both names exactly as they were.
TEST(FileSystemUtility, CopyAndMoveRefuseWithoutTouchingAnything) {
  const QString dir = test::freshFolder("refuse") + QLatin1Char('/');
  const QString source = dir + "a.jpg";
  writeFile(source, "picture");
  QDir(dir).mkdir("sub");
  QFile::link(source, dir + "link.jpg");
  ASSERT_EQ(::link(QFile::encodeName(source).constData(), QFile::encodeName(dir + "hard.jpg").constData()), 0);
  const QString targets[] = {source, dir + "link.jpg", dir + "sub/../a.jpg",
                             dir + "hard.jpg", dir + "sub"};
  for (const QString& target : targets) {
    for (const bool move : {false, true}) {
      const Status status = move ? FS::MoveFile(source, target) : FS::CopyFile(source, target);
      ASSERT_FALSE(status.ok()) << target.toStdString();
      EXPECT_FALSE(status.error().isEmpty());
      EXPECT_EQ(readFile(source), "picture");
    }
  }
  EXPECT_TRUE(FS::CopyFile(source, dir).error().contains("folder"));
  for (const QString& missing : {dir + "none.jpg", dir + "sub"}) {
    EXPECT_FALSE(FS::CopyFile(missing, dir + "x.jpg").ok());
    EXPECT_FALSE(FS::MoveFile(missing, dir + "x.jpg").ok());
  }
  EXPECT_FALSE(FS::CopyFile(source, dir + "no/such/x.jpg").ok());
  EXPECT_EQ(entries(dir).size(), 4);
}

TEST(FileSystemUtility, CopyThatFailsMidwayKeepsTheOldDestination) {
  const QString dir = test::freshFolder("midway") + QLatin1Char('/');
  writeFile(dir + "big.jpg", QByteArray(256 * 1024, 'p'));
  writeFile(dir + "old.jpg", "old picture");
  Status status;
  {
    FileSizeLimit limit(64 * 1024);
    status = FS::CopyFile(dir + "big.jpg", dir + "old.jpg");
  }
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(readFile(dir + "old.jpg"), "old picture");
  EXPECT_EQ(entries(dir), (QStringList{"big.jpg", "old.jpg"}));
}

TEST(FileSystemUtility, MoveWithinAndAcrossFileSystems) {
  const QString home = test::freshFolder("move") + QLatin1Char('/');
  writeFile(home + "a.jpg", "picture");
  writeFile(home + "b.jpg", "old");
  ASSERT_TRUE(FS::MoveFile(home + "a.jpg", home + "b.jpg").ok());
  EXPECT_EQ(entries(home), QStringList{"b.jpg"});
  EXPECT_EQ(readFile(home + "b.jpg"), "picture");

  QTemporaryDir other("/dev/shm/lumaset-move-XXXXXX");
  struct stat a {}, b {};
  if (!other.isValid() || ::stat("/dev/shm", &a) != 0 || ::stat(QFile::encodeName(home), &b) != 0 ||
      a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system to move across";
  const QString away = other.path() + "/c.jpg";
  writeFile(home + "big.jpg", QByteArray(1000, 'p'));
  {
    FileSizeLimit limit(12);
    EXPECT_TRUE(FS::MoveFile(home + "big.jpg", away).error().endsWith(": File too large"));
  }
  EXPECT_EQ(readFile(home + "big.jpg").size(), 1000);
  EXPECT_TRUE(entries(other.path()).isEmpty());
  const std::optional<gid_t> group = test::GiveSpareGroup(home + "b.jpg");
  ASSERT_TRUE(FS::MoveFile(home + "b.jpg", away).ok());
  EXPECT_FALSE(QFileInfo::exists(home + "b.jpg"));
  EXPECT_EQ(readFile(away), "picture");
  if (group) { EXPECT_EQ(QFileInfo(away).groupId(), *group); }
}

TEST(FileSystemUtility, RenameNeverReplaces) {
  const QString dir = test::freshFolder("rename") + QLatin1Char('/');
  using Rename = Status (*)(const QString&, const QString&);
  const Rename ways[] = {
      &FS::RenameFile,
      [](const QString& from, const QString& to) {
        bool unsupported = false;
        return file_system_detail::RenameByLink(from, to, &unsupported);
      },
      &file_system_detail::RenameOverPlaceholder,
  };
  for (const Rename rename : ways) {
    writeFile(dir + "img1.jpg", "one");
    writeFile(dir + "img2.jpg", "two");
    const Status refused = rename(dir + "img1.jpg", dir + "img2.jpg");
    EXPECT_TRUE(refused.error().contains("already exists"));
    EXPECT_EQ(readFile(dir + "img1.jpg"), "one");
    EXPECT_EQ(readFile(dir + "img2.jpg"), "two");
    ASSERT_TRUE(rename(dir + "img1.jpg", dir + "beach.JPG.jpg").ok());
    EXPECT_EQ(readFile(dir + "beach.JPG.jpg"), "one");
    EXPECT_FALSE(rename(dir + "img1.jpg", dir + "x.jpg").ok());
    EXPECT_EQ(entries(dir), (QStringList{"beach.JPG.jpg", "img2.jpg"}));
    QFile::remove(dir + "beach.JPG.jpg");
  }
  EXPECT_TRUE(FS::RenameFile(dir + "img2.jpg", dir + "img2.jpg").ok());
}

TEST(FileSystemUtility, RecycleSendsToTheTrashOrReportsWhy) {
  const QString dir = test::freshFolder("recycle") + QLatin1Char('/');
  const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/";
  writeFile(dir + "beach.jpg", "picture");
  const Status partly = FS::RecycleFiles({dir + "beach.jpg", dir + "gone.jpg"});
  EXPECT_TRUE(partly.error().contains(dir + "gone.jpg"));
  EXPECT_FALSE(QFileInfo::exists(dir + "beach.jpg"));
  EXPECT_EQ(readFile(trash + "files/beach.jpg"), "picture");
  EXPECT_TRUE(readFile(trash + "info/beach.jpg.trashinfo").contains("Path="));

  // A trash that cannot be made must not turn into a deletion.
  writeFile(dir + "kept.jpg", "picture");
  {
    const test::BlockedTrash blocked;
    const Status failed = FS::RecycleFiles({dir + "kept.jpg"});
    EXPECT_TRUE(failed.error().startsWith(QLatin1Char('"') + dir + "kept.jpg"));
  }
  EXPECT_EQ(readFile(dir + "kept.jpg"), "picture");
}

// The record names the file as it was, escaped, so that the trash puts back
// exactly that name.
TEST(FileSystemUtility, RecycleRecordsTheOriginalName) {
  const QString dir = test::freshFolder("names") + QLatin1Char('/');
  const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/";
  for (const QString& name : {QStringLiteral("100%41.jpg"), QStringLiteral("line\nbreak.jpg"),
                             QStringLiteral("Strand 海.jpg"), QStringLiteral("a=b [1].jpg")}) {
    writeFile(dir + name, "picture");
    ASSERT_TRUE(FS::RecycleFiles({dir + name}).ok()) << name.toStdString();
    const QByteArray record = readFile(trash + "info/" + name + ".trashinfo");
    const QByteArray line = record.mid(record.indexOf("\nPath=") + 6).split('\n').first();
    EXPECT_EQ(QByteArray::fromPercentEncoding(line), QFile::encodeName(dir + name)) << name.toStdString();
    EXPECT_EQ(readFile(trash + "files/" + name), "picture") << name.toStdString();
  }
}

// Where the trash cannot take a picture with its record, the picture stays
// where it was and the refusal says why; nothing waits for ever.
TEST(FileSystemUtility, RecycleRefusesWhatTheTrashCannotRecord) {
  const QString dir = test::freshFolder("refused") + QLatin1Char('/');
  const QString info = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/info";
  for (const char* first : {"first.jpg", ".first.jpg"}) {
    writeFile(dir + first, "picture");
    ASSERT_TRUE(FS::RecycleFiles({dir + first}).ok());
  }
  struct Case {
    QString name;
    std::function<void()> prepare;
    const char* why;
  };
  const auto fullDisk = [] {
    const rlimit full{0, 0};
    setrlimit(RLIMIT_FSIZE, &full);
  };
  const char* const mayBeFull = "the trash could not record where it came from; the disk may be full.";
  const Case cases[] = {
      {QString(242, QLatin1Char('a')) + ".jpg", [] {}, "File name too long"},
      {QString(82, QChar(0x5199)) + ".jpg", [] {}, "File name too long"},
      {QString(235, QLatin1Char('a')) + ".jpg", [] {}, "the name is too long for the trash."},
      {QString(241, QLatin1Char('a')) + ".jpg", [] {}, "the name is too long for the trash."},
      {"locked.jpg",
       [&info] {
         test::ObeyFilePermissions();
         QFile::setPermissions(info, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
       },
       "Permission denied"},
      {"full.jpg", fullDisk, mayBeFull},
      {"first.jpg", fullDisk, mayBeFull},  // the second of its name in the trash: "first.2.jpg"
      {".first.jpg", fullDisk, mayBeFull},  // ".2.first.jpg"
      {QString(234, QLatin1Char('a')) + ".jpg", fullDisk, mayBeFull},  // the longest name the trash records
  };
  for (const Case& c : cases) {
    writeFile(dir + c.name, "picture");
    const QStringList before = entries(info);
    const int refused = test::RunInChild([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      c.prepare();
      const Status status = FS::RecycleFiles({dir + c.name});
      const QString expected = '"' + dir + c.name + "\" cannot be sent to the trash: ";
      if (status.error().startsWith(expected) && status.error().endsWith(QLatin1String(c.why))) return 7;
      std::cerr << "refused with: " << status.error().toStdString() << '\n';
      return 1;
    });
    QFile::setPermissions(info, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(refused, 7) << c.name.toStdString();
    EXPECT_EQ(readFile(dir + c.name), "picture") << c.name.toStdString();
    EXPECT_EQ(entries(info), before) << c.name.toStdString();
  }
}

// A write that expects the file it replaces to be the file that was read
// keeps a file that another program has changed or replaced since, to
// the very moment of the replacement.
TEST(FileSystemUtility, AWriteKeepsAFileChangedSinceItWasRead) {
  const QString dir = test::freshFolder("write-expected") + QLatin1Char('/');
  const QString path = dir + "a.jpg";
  const auto sameTime = [&path](const FileIdentity& as) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(as.modifiedSeconds), as.modifiedNanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  };
  // Each change alone: the size, the time (to the second, and within one),
  // the file itself, its permissions.
  const std::function<void(const FileIdentity&)> changes[] = {
      [&](const FileIdentity& read) { writeFile(path, "mine, longer"), sameTime(read); },
      [&](const FileIdentity&) {
        const timespec later[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), later, 0), 0);
      },
      [&](const FileIdentity& read) {
        writeFile(path, "our");  // as long as "new"
        FileIdentity sameSecond = read;
        sameSecond.modifiedNanoseconds = (read.modifiedNanoseconds + 1) % 1000000000;
        sameTime(sameSecond);
      },
      [&](const FileIdentity& read) {
        writeFile(dir + "other", "old");
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QFile::rename(dir + "other", path));
        sameTime(read);
      },
      [&](const FileIdentity&) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0); }};  // last
  for (const auto& change : changes) {
    writeFile(path, "old");
    const std::optional<FileIdentity> read = FileIdentity::Of(path);
    ASSERT_TRUE(read);
    ASSERT_TRUE(FS::WriteFile(path, "new", FS::Name::Replace, QString(), *read).ok());
    EXPECT_EQ(readFile(path), "new");
    const std::optional<FileIdentity> again = FileIdentity::Of(path);
    change(*again);
    const QByteArray theirs = readFile(path);
    const Status refused = FS::WriteFile(path, "newer", FS::Name::Replace, QString(), *again);
    EXPECT_TRUE(refused.error().contains("was changed by another program")) << refused.ok();
    EXPECT_EQ(readFile(path), theirs);
  }
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
}

TEST(FileSystemUtility, WritesGoThroughAFinishedTemporaryFile) {
  const QString dir = test::freshFolder("write") + QLatin1Char('/');
  writeFile(dir + "a.jpg", "old");
  QFile::setPermissions(dir + "a.jpg", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
  ASSERT_TRUE(FS::WriteFile(dir + "a.jpg", "new").ok());
  EXPECT_EQ(readFile(dir + "a.jpg"), "new");
  EXPECT_EQ(QFileInfo(dir + "a.jpg").permissions() & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                 QFileDevice::ReadGroup);
  // Through a link, or a chain of them, the file at its end is written; the links stay.
  QFile::link(dir + "a.jpg", dir + "link.jpg");
  ASSERT_TRUE(FS::WriteFile(dir + "link.jpg", "linked").ok());
  EXPECT_TRUE(QFileInfo(dir + "link.jpg").isSymLink());
  EXPECT_EQ(readFile(dir + "a.jpg"), "linked");
  ASSERT_EQ(::symlink("link.jpg", QFile::encodeName(dir + "chain.jpg").constData()), 0);
  ASSERT_TRUE(FS::WriteFile(dir + "chain.jpg", "chained").ok());
  EXPECT_TRUE(QFileInfo(dir + "chain.jpg").isSymLink() && QFileInfo(dir + "link.jpg").isSymLink());
  EXPECT_EQ(readFile(dir + "a.jpg"), "chained");
  ASSERT_TRUE(QFile::remove(dir + "chain.jpg"));

  EXPECT_TRUE(FS::WriteFile(dir + "a.jpg", "other", FS::Name::New).error().contains("already exists"));
  // Something that takes the name while the file is written is never
  // replaced: a file where the name was to be new, or a folder.
  const std::pair<FS::Name, QString> racers[] = {{FS::Name::New, "b.jpg"}, {FS::Name::Replace, "album/theirs.jpg"}};
  for (const auto& [name, theirs] : racers) {
    CheckedFile racing(dir + theirs.section('/', 0, 0), name);
    ASSERT_TRUE(racing.Open().ok());
    ASSERT_TRUE(racing.Write("mine").ok());
    QDir().mkpath(QFileInfo(dir + theirs).path());
    writeFile(dir + theirs, "theirs");
    EXPECT_FALSE(racing.Commit().ok()) << theirs.toStdString();
    EXPECT_EQ(readFile(dir + theirs), "theirs");
  }
  ASSERT_TRUE(FS::WriteFile(dir + "c.jpg", "mine", FS::Name::New, dir + "a.jpg").ok());
  EXPECT_EQ(readFile(dir + "c.jpg"), "mine");
  EXPECT_EQ(QFileInfo(dir + "c.jpg").permissions() & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                 QFileDevice::ReadGroup);
  {
    CheckedFile abandoned(dir + "d.jpg");
    ASSERT_TRUE(abandoned.Open().ok());
    ASSERT_TRUE(abandoned.Write("half").ok());
  }
  EXPECT_EQ(FS::WriteFile(dir + "no/such/e.jpg", "x").error(),
            "\"" + dir + "no/such/e.jpg\" cannot be written: No such file or directory");
  EXPECT_EQ(entries(dir), (QStringList{"a.jpg", "album", "b.jpg", "c.jpg", "link.jpg"}));
}

// While set, every fsync of this process fails with this error: a disk that
// takes the data into its cache but cannot write it out.
int fsyncError = 0;

}  // namespace
}  // namespace lumaset

extern "C" int fsync(int fd) {
  if (lumaset::fsyncError == 0) return static_cast<int>(::syscall(SYS_fsync, fd));
  errno = lumaset::fsyncError;
  return -1;
}

namespace lumaset {
namespace {

// Data the disk could not take keeps the old file; a file system that
// cannot sync at all (EINVAL) takes the write.
TEST(FileSystemUtility, WriteFailsWhenItsDataCannotReachTheDisk) {
  const QString dir = test::freshFolder("sync") + QLatin1Char('/');
  const std::pair<int, const char*> cases[] = {{EIO, "old"}, {EINVAL, "new"}};
  for (const auto& [error, kept] : cases) {
    writeFile(dir + "a.jpg", "old");
    fsyncError = error;
    const Status written = FS::WriteFile(dir + "a.jpg", "new");
    fsyncError = 0;
    EXPECT_EQ(written.ok(), error == EINVAL) << written.error().toStdString();
    EXPECT_EQ(readFile(dir + "a.jpg"), kept);
    EXPECT_EQ(entries(dir), QStringList{"a.jpg"});
  }
}

// A write small enough to sit in a buffer, on a disk that is full: the
// failure says why, the old file stays whole and nothing partial is left.
TEST(FileSystemUtility, EveryWayOfWritingFailsWholeOnAFullDisk) {
  const QString dir = test::freshFolder("full") + QLatin1Char('/');
  writeFile(dir + "old.jpg", "old picture");
  writeFile(dir + "source.jpg", QByteArray(1000, 'p'));
  const QByteArray bytes(1000, 'n');
  const std::pair<const char*, std::function<Status()>> writes[] = {
      {"replacing", [&] { return FS::WriteFile(dir + "old.jpg", bytes); }},
      {"new", [&] { return FS::WriteFile(dir + "new.jpg", bytes, FS::Name::New); }},
      {"copy", [&] { return FS::CopyFile(dir + "source.jpg", dir + "old.jpg"); }},
  };
  for (const auto& [what, write] : writes) {
    Status status;
    {
      FileSizeLimit limit(12);
      status = write();
    }
    EXPECT_TRUE(status.error().endsWith(": File too large")) << what << ": " << status.error().toStdString();
    EXPECT_EQ(readFile(dir + "old.jpg"), "old picture") << what;
    EXPECT_EQ(entries(dir), (QStringList{"old.jpg", "source.jpg"})) << what;
  }
}

TEST(FileSystemUtility, SameFolderIsTheSameDirectoryExactly) {
  const QString dir = test::freshFolder("same") + QLatin1Char('/');
  QDir(dir).mkdir("Photos");
  QDir(dir).mkdir("photos");
  QFile::link(dir + "Photos", dir + "link");
  EXPECT_TRUE(FS::SameFolder(dir + "Photos/", dir + "link"));
  EXPECT_TRUE(FS::SameFolder(dir + "Photos", dir + "photos/../Photos/"));
  EXPECT_FALSE(FS::SameFolder(dir + "Photos/", dir + "photos/"));
  EXPECT_FALSE(FS::SameFolder(dir + "gone/", dir + "gone/"));
}

}  // namespace
}  // namespace lumaset
