#include "components/camera_device.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include "support/camera_modules.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

// libgphoto2's "Directory Browse" camera shows a folder as a camera's memory;
// the downloads' tests walk it whole.
class CameraDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeepCameraModulesLoaded();
    card_ = freshFolder(QStringLiteral("card")) + QLatin1Char('/');
    QDir().mkpath(card_ + QStringLiteral("DCIM/100CAM"));
    ASSERT_TRUE(WritePicture(card_ + QStringLiteral("DCIM/100CAM/IMG_1.jpg"), 40, 30));
    ASSERT_TRUE(WritePicture(card_ + QStringLiteral("top.png"), 8, 8));
    target_ = freshFolder(QStringLiteral("target")) + QLatin1Char('/');
  }
  std::unique_ptr<CameraDevice> open() {
    auto camera = CameraDevice::OpenModel(QStringLiteral("Directory Browse"),
                                          QStringLiteral("disk:") + card_.chopped(1));
    EXPECT_TRUE(camera) << (camera ? QString() : camera.error()).toStdString();
    return camera ? std::move(camera).value() : nullptr;
  }

  QString card_;
  QString target_;
};

TEST_F(CameraDeviceTest, AFailedCopyLeavesTheOlderFile) {
  auto camera = open();
  ASSERT_TRUE(camera);
  WriteText(target_ + QStringLiteral("IMG_1.jpg"), "older file");
  QFile::remove(card_ + QStringLiteral("DCIM/100CAM/IMG_1.jpg"));  // the card changed meanwhile
  const Status copied = camera->CopyFile({QStringLiteral("/DCIM/100CAM"), QStringLiteral("IMG_1.jpg")},
                                         target_ + QStringLiteral("IMG_1.jpg"));
  EXPECT_FALSE(copied);
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("IMG_1.jpg")), "older file");
  EXPECT_EQ(QDir(target_).entryList(QDir::Files | QDir::Hidden), QStringList{"IMG_1.jpg"});
  // A target that cannot be written is said so, too.
  EXPECT_FALSE(camera->CopyFile({QStringLiteral("/"), QStringLiteral("top.png")},
                                target_ + QStringLiteral("no/such/folder/top.png")));
}

// Each file comes over with the camera's date, streamed to disk so that
// memory stays flat whatever its size; a full disk keeps the older file.
TEST_F(CameraDeviceTest, CopiesStreamToDiskWithTheCamerasDate) {
  const QString big = card_ + QStringLiteral("MOV_1.mov");
  QFile movie(big);
  ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
  for (int megabyte = 0; megabyte < 48; ++megabyte)
    ASSERT_EQ(movie.write(QByteArray(1 << 20, char(megabyte))), 1 << 20);
  const QDateTime taken(QDate(2004, 7, 1), QTime(12, 0), Qt::UTC);
  ASSERT_TRUE(movie.setFileTime(taken, QFileDevice::FileModificationTime));
  movie.close();
  auto camera = open();
  ASSERT_TRUE(camera);

  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  ASSERT_TRUE(camera->CopyFile({QStringLiteral("/"), QStringLiteral("MOV_1.mov")}, target_ + QStringLiteral("a.mov")));
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "kilobytes more at the peak";
  EXPECT_EQ(QFileInfo(target_ + QStringLiteral("a.mov")).size(), 48 << 20);
  EXPECT_EQ(QFileInfo(target_ + QStringLiteral("a.mov")).lastModified().toUTC(), taken);

  WriteText(target_ + QStringLiteral("top.png"), "older file");
  Status copied;
  {
    FileSizeLimit full(16);
    copied = camera->CopyFile({QStringLiteral("/"), QStringLiteral("top.png")}, target_ + QStringLiteral("top.png"));
  }
  EXPECT_TRUE(copied.error().endsWith(": File too large")) << copied.error().toStdString();
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("top.png")), "older file");
  EXPECT_EQ(QDir(target_).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.mov", "top.png"}));
}

TEST(CameraConnection, NamesItsPortsAndRefusesOthers) {
  KeepCameraModulesLoaded();
  EXPECT_EQ(CameraDevice::PortPrefix(QStringLiteral("USB")), "usb:");
  EXPECT_EQ(CameraDevice::PortPrefix(QStringLiteral("Serial")), "serial:");
  EXPECT_EQ(CameraDevice::PortPrefix(QStringLiteral("usb")), "");
  EXPECT_FALSE(CameraDevice::OpenOnConnection(QStringLiteral("Firewire")));
  EXPECT_FALSE(CameraDevice::OpenModel(QStringLiteral("No Such Camera"), QStringLiteral("disk:/")));
}

}  // namespace
}  // namespace lumaset::test
