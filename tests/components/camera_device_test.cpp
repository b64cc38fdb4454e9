#include "components/camera_device.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/camera_modules.h"
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
