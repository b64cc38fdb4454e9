#include "components/file_system.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace lumaset {
namespace {

using FS = FileSystemUtility;

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Lets a write fail half way, as a full disk would, even for root: files may
// not grow past `bytes` while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  void (*oldHandler_)(int);
  rlimit old_{};
};

TEST(FileSystemUtility, PathPartSplitsFilesAndFolders) {
  struct Case { const char* path; const char* name; const char* folder; };
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
  const QString dir = test::freshFolder(QStringLiteral("exists")) + QLatin1Char('/');
  writeFile(dir + QStringLiteral("a.jpg"), "x");
  QFile::link(dir + QStringLiteral("gone.jpg"), dir + QStringLiteral("dangling.jpg"));
  EXPECT_TRUE(FS::PathExists(dir + QStringLiteral("a.jpg"), QString()));
  EXPECT_TRUE(FS::PathExists(dir + QStringLiteral("dangling.jpg"), QString()));  // the name is taken
  EXPECT_FALSE(FS::PathExists(dir + QStringLiteral("A.JPG"), QString()));
  EXPECT_FALSE(FS::PathExists(dir, QString()));
  EXPECT_TRUE(FS::PathExists(QString(), dir));
  EXPECT_FALSE(FS::PathExists(QString(), dir + QStringLiteral("a.jpg")));
  EXPECT_FALSE(FS::PathExists(QString(), QString()));
}

TEST(FileSystemUtility, DocumentsFolderOnlyWhenItExists) {
  const QString documents = QDir::homePath() + QStringLiteral("/Documents");
  QDir(documents).removeRecursively();
  EXPECT_EQ(FS::SpecialFolderDocuments(), QString());
  QDir().mkpath(documents);
  EXPECT_EQ(FS::SpecialFolderDocuments(), documents + QLatin1Char('/'));
}

TEST(FileSystemUtility, CopyReplacesAndKeepsPermissionsAndDate) {
  const QString dir = test::freshFolder(QStringLiteral("copy")) + QLatin1Char('/');
  const QString source = dir + QStringLiteral("a.jpg");
  const QString target = dir + QStringLiteral("b.jpg");
  writeFile(source, "new picture");
  writeFile(target, "old");
  QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const QDateTime taken(QDate(2004, 7, 1), QTime(12, 0));
  QFile file(source);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(taken, QFileDevice::FileModificationTime));
  file.close();

  ASSERT_TRUE(FS::CopyFile(source, target).ok());
  EXPECT_EQ(readFile(target), "new picture");
  EXPECT_EQ(readFile(source), "new picture");
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(QFileInfo(target).lastModified(), taken);
  EXPECT_EQ(entries(dir).size(), 2);
}

// Every refused copy or move must leave both names exactly as they were.
TEST(FileSystemUtility, CopyAndMoveRefuseWithoutTouchingAnything) {
  const QString dir = test::freshFolder(QStringLiteral("refuse")) + QLatin1Char('/');
  const QString source = dir + QStringLiteral("a.jpg");
  writeFile(source, "picture");
  QDir(dir).mkdir(QStringLiteral("sub"));
  QFile::link(source, dir + QStringLiteral("link.jpg"));
  ASSERT_EQ(::link(QFile::encodeName(source).constData(), QFile::encodeName(dir + QStringLiteral("hard.jpg")).constData()), 0);
  const QString targets[] = {source, dir + QStringLiteral("link.jpg"), dir + QStringLiteral("sub/../a.jpg"),
                             dir + QStringLiteral("hard.jpg"), dir + QStringLiteral("sub")};
  for (const QString& target : targets) {
    for (const bool move : {false, true}) {
      const Status status = move ? FS::MoveFile(source, target) : FS::CopyFile(source, target);
      ASSERT_FALSE(status.ok()) << target.toStdString();
      EXPECT_FALSE(status.error().isEmpty());
      EXPECT_EQ(readFile(source), "picture");
    }
  }
  EXPECT_TRUE(FS::CopyFile(source, dir).error().contains(QStringLiteral("folder")));
  for (const QString& missing : {dir + QStringLiteral("none.jpg"), dir + QStringLiteral("sub")}) {
    EXPECT_FALSE(FS::CopyFile(missing, dir + QStringLiteral("x.jpg")).ok());
    EXPECT_FALSE(FS::MoveFile(missing, dir + QStringLiteral("x.jpg")).ok());
  }
  EXPECT_FALSE(FS::CopyFile(source, dir + QStringLiteral("no/such/x.jpg")).ok());
  EXPECT_EQ(entries(dir).size(), 4);
}

TEST(FileSystemUtility, CopyThatFailsMidwayKeepsTheOldDestination) {
  const QString dir = test::freshFolder(QStringLiteral("midway")) + QLatin1Char('/');
  writeFile(dir + QStringLiteral("big.jpg"), QByteArray(256 * 1024, 'p'));
  writeFile(dir + QStringLiteral("old.jpg"), "old picture");
  Status status;
  {
    FileSizeLimit limit(64 * 1024);
    status = FS::CopyFile(dir + QStringLiteral("big.jpg"), dir + QStringLiteral("old.jpg"));
  }
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(readFile(dir + QStringLiteral("old.jpg")), "old picture");
  EXPECT_EQ(entries(dir), (QStringList{QStringLiteral("big.jpg"), QStringLiteral("old.jpg")}));
}

TEST(FileSystemUtility, MoveWithinAndAcrossFileSystems) {
  const QString home = test::freshFolder(QStringLiteral("move")) + QLatin1Char('/');
  writeFile(home + QStringLiteral("a.jpg"), "picture");
  writeFile(home + QStringLiteral("b.jpg"), "old");
  ASSERT_TRUE(FS::MoveFile(home + QStringLiteral("a.jpg"), home + QStringLiteral("b.jpg")).ok());
  EXPECT_EQ(entries(home), QStringList{QStringLiteral("b.jpg")});
  EXPECT_EQ(readFile(home + QStringLiteral("b.jpg")), "picture");

  QTemporaryDir other(QStringLiteral("/dev/shm/lumaset-move-XXXXXX"));
  struct stat a {}, b {};
  if (!other.isValid() || ::stat("/dev/shm", &a) != 0 || ::stat(QFile::encodeName(home), &b) != 0 ||
      a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system to move across";
  const QString away = other.path() + QStringLiteral("/c.jpg");
  writeFile(home + QStringLiteral("big.jpg"), QByteArray(256 * 1024, 'p'));
  {
    FileSizeLimit limit(64 * 1024);
    EXPECT_FALSE(FS::MoveFile(home + QStringLiteral("big.jpg"), away).ok());
  }
  EXPECT_EQ(readFile(home + QStringLiteral("big.jpg")).size(), 256 * 1024);
  EXPECT_TRUE(entries(other.path()).isEmpty());
  ASSERT_TRUE(FS::MoveFile(home + QStringLiteral("b.jpg"), away).ok());
  EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("b.jpg")));
  EXPECT_EQ(readFile(away), "picture");
}

TEST(FileSystemUtility, RenameNeverReplaces) {
  const QString dir = test::freshFolder(QStringLiteral("rename")) + QLatin1Char('/');
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
    writeFile(dir + QStringLiteral("img1.jpg"), "one");
    writeFile(dir + QStringLiteral("img2.jpg"), "two");
    const Status refused = rename(dir + QStringLiteral("img1.jpg"), dir + QStringLiteral("img2.jpg"));
    EXPECT_TRUE(refused.error().contains(QStringLiteral("already exists")));
    EXPECT_EQ(readFile(dir + QStringLiteral("img1.jpg")), "one");
    EXPECT_EQ(readFile(dir + QStringLiteral("img2.jpg")), "two");
    ASSERT_TRUE(rename(dir + QStringLiteral("img1.jpg"), dir + QStringLiteral("beach.JPG.jpg")).ok());
    EXPECT_EQ(readFile(dir + QStringLiteral("beach.JPG.jpg")), "one");
    EXPECT_FALSE(rename(dir + QStringLiteral("img1.jpg"), dir + QStringLiteral("x.jpg")).ok());
    EXPECT_EQ(entries(dir), (QStringList{QStringLiteral("beach.JPG.jpg"), QStringLiteral("img2.jpg")}));
    QFile::remove(dir + QStringLiteral("beach.JPG.jpg"));
  }
  EXPECT_TRUE(FS::RenameFile(dir + QStringLiteral("img2.jpg"), dir + QStringLiteral("img2.jpg")).ok());
}

TEST(FileSystemUtility, RecycleSendsToTheTrashOrReportsWhy) {
  const QString dir = test::freshFolder(QStringLiteral("recycle")) + QLatin1Char('/');
  const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/");
  writeFile(dir + QStringLiteral("beach.jpg"), "picture");
  const Status partly = FS::RecycleFiles({dir + QStringLiteral("beach.jpg"), dir + QStringLiteral("gone.jpg")});
  EXPECT_TRUE(partly.error().contains(dir + QStringLiteral("gone.jpg")));
  EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("beach.jpg")));
  EXPECT_EQ(readFile(trash + QStringLiteral("files/beach.jpg")), "picture");
  EXPECT_TRUE(readFile(trash + QStringLiteral("info/beach.jpg.trashinfo")).contains("Path="));

  // A trash that cannot be made must not turn into a deletion.
  const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
  const QString blocked = test::freshFolder(QStringLiteral("blocked-data"));
  writeFile(blocked + QStringLiteral("/Trash"), "not a folder");
  writeFile(dir + QStringLiteral("kept.jpg"), "picture");
  qputenv("XDG_DATA_HOME", QFile::encodeName(blocked));
  const Status failed = FS::RecycleFiles({dir + QStringLiteral("kept.jpg")});
  qputenv("XDG_DATA_HOME", savedDataHome);
  EXPECT_TRUE(failed.error().startsWith(QLatin1Char('"') + dir + QStringLiteral("kept.jpg")));
  EXPECT_EQ(readFile(dir + QStringLiteral("kept.jpg")), "picture");
}

}  // namespace
}  // namespace lumaset
