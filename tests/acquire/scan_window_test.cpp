#include "acquire/scan_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImageReader>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "components/settings_store.h"
#include "support/sane_test_backend.h"
#include "support/test_support.h"
#include "support/accessibility.h"

namespace lumaset {
namespace {

class ScanWindowTest : public ::testing::Test {
 protected:
  ScanWindowTest() : settings_("Lumaset", test::freshFolder("scan") + "/settings.ini") {
    folder_ = test::freshFolder("scans") + "/";
    setup_.pickScanFolder = [this](const QRect&) { return true; };
    setup_.askText = [](const QString& prompt, const QString&) -> std::optional<QString> {
      return prompt == "Enter desired resolution" ? "100" : "shot";
    };
    setup_.showMessage = [this](ScanWindowSetup::Icon, const QString& text) { messages_.append(text); };
    setup_.playOpenSound = [this] { sounds_.append("open"); };
    setup_.playCloseSound = [this] { sounds_.append("close"); };
  }

  std::unique_ptr<ScanWindow> Open() {
    EXPECT_TRUE(scanner_.Initialise());
    auto window = std::make_unique<ScanWindow>(ScanShared{scanner_, settings_, folder_, count_}, setup_);
    window->show();
    EXPECT_TRUE(test::RunUntil([&] { return window->optionsLabel()->text().startsWith("Resolution = "); }));
    return window;
  }

  SaneScanService scanner_;
  SettingsStore settings_;
  QString folder_;
  int count_ = 0;
  ScanWindowSetup setup_;
  QStringList messages_;
  QStringList sounds_;
};

TEST_F(ScanWindowTest, ScansCropsAndSavesFromTheTestBackend) {
  test::UseSaneTestBackend();
  auto window = Open();
  EXPECT_EQ(window->optionsLabel()->text(), "Resolution = 50 DPI, Color = Grayscale");
  EXPECT_EQ(test::AccessibilityProblems(window.get()), QStringList());
  EXPECT_TRUE(window->pixTypeItem(1)->isChecked());
  window->pixTypeItem(2)->trigger();
  window->resolutionItem()->trigger();
  ASSERT_TRUE(test::RunUntil([&] { return window->optionsLabel()->text() == "Resolution = 100 DPI, Color = RGB"; }));
  EXPECT_EQ(window->resolutionItem()->text(), "100 DPI...");

  QTest::mouseClick(window->scanButton(), Qt::LeftButton);
  ASSERT_TRUE(test::RunUntil([&] { return window->saveButton()->isEnabled(); }));
  EXPECT_TRUE(window->windowTitle().startsWith("Scan: 314 W x 393 H, ")) << window->windowTitle().toStdString();
  EXPECT_FALSE(window->progressBar()->isVisible());
  EXPECT_EQ(window->closeButton()->text(), "Close");
  // The picture stands just under the options line, however tall the font makes it.
  const int scanTop = window->pictureBox()->geometry().top();
  EXPECT_EQ(scanTop, window->optionsLabel()->geometry().bottom() + 4);

  QWidget* box = window->pictureBox();
  QTest::mousePress(box, Qt::LeftButton, {}, {12, 12});
  QTest::mouseMove(box, {80, 100});
  QTest::mouseRelease(box, Qt::LeftButton, {}, {80, 100});
  const QSize cropped = window->control().working().GetPicture().size();
  EXPECT_LT(cropped.width(), 314);
  EXPECT_TRUE(window->undoButton()->isEnabled());
  EXPECT_EQ(box->geometry().top(), scanTop - 16);

  QTest::mouseClick(window->saveButton(), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->saved());
  EXPECT_EQ(window->savedPath(), folder_ + "shot.jpg");
  EXPECT_EQ(QImageReader(folder_ + "shot.jpg").size(), cropped);
  EXPECT_EQ(messages_, QStringList("File <" + folder_ + "shot.jpg>\nsaved"));
  EXPECT_EQ(sounds_, QStringList({"open", "close"}));
}

TEST_F(ScanWindowTest, AFailingScannerLeavesTheWindowUsable) {
  test::UseSaneTestBackend({.readStatus = "SANE_STATUS_IO_ERROR"});
  auto window = Open();
  QTest::mouseClick(window->scanButton(), Qt::LeftButton);
  ASSERT_TRUE(test::RunUntil([&] { return !messages_.isEmpty(); }));
  EXPECT_EQ(messages_, QStringList("Scan failed.\nThe scanner stopped during the scan: Error during device I/O"));
  EXPECT_TRUE(window->scanButton()->isEnabled());
  EXPECT_FALSE(window->saveButton()->isEnabled());
  EXPECT_EQ(window->windowTitle(), "Tavrin Lumaset: Scan Control");
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->saved());
}

}  // namespace
}  // namespace lumaset
