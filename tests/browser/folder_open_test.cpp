#include "browser/folder_open.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

#include "components/settings_store.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

// Records what opening a folder did to the windows, in order.
class FakeWindow : public FolderOpenWindow {
 public:
  QStringList log;
  bool pickerOk = true, building = false;
  QString picked, page = QStringLiteral("Layout Preview"), panel, folderLabel, title, status = "kept";
  QString* current = nullptr;
  int thumbCount = 0;
  std::function<void()> duringBuild;

  bool PickPhotoFolder() override {
    log << "picker";
    if (pickerOk) *current = picked;
    return pickerOk;
  }
  bool MakingThumbnails() const override { return building; }
  void SetPanelCaption(const QString& text) override { panel = text; }
  void SetFolderCaption(const QString& text) override { folderLabel = text; }
  void SetWindowCaption(const QString& text) override { title = text; }
  void LetEventsRun() override {}
  QString StatusText() const override { return status; }
  void SetStatusText(const QString& text) override { status = text; }
  void ClearEmailList() override { log << "email"; }
  void ShowInTree(const QString& folder) override { log << "tree " + folder; }
  void ClearThumbnails() override { log << "clear"; }
  QString PageCaption() const override { return page; }
  void NewPage() override { log << "new page"; }
  int MakeThumbnails() override {
    EXPECT_FALSE(building) << "a build over a build";
    log << "build " + *current + " / " + status;
    building = true;
    if (duringBuild) std::exchange(duringBuild, nullptr)();
    building = false;
    return thumbCount;
  }
  void SetFolderTools(bool hasPictures) override { log << QStringLiteral("tools %1").arg(hasPictures); }
  void ShowError(const QString& text) override { log << text; }
  void ShowNotice(const QString&) override { log << "notice"; }
};

class FolderOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(holiday_);
    window_.current = &current_;
    window_.picked = holiday_;
  }

  QString root_ = freshFolder(QStringLiteral("open")) + QLatin1Char('/'), holiday_ = root_ + "Holiday/",
          current_ = root_;
  bool reopen_ = false;
  FakeWindow window_;
  std::unique_ptr<SettingsStore> settings_ = std::make_unique<SettingsStore>("Lumaset", root_ + "s.conf");
  std::unique_ptr<FolderOpener> opener_ =
      std::make_unique<FolderOpener>(window_, *settings_, current_, reopen_, "Tavrin Lumaset");
};

TEST(FolderOpenTexts, NamesAndCounts) {
  for (const char* path : {"/photos/Holiday/", "/photos/Holiday"}) EXPECT_EQ(FolderDisplayName(path), "Holiday");
  EXPECT_EQ(FolderDisplayName("/"), "/");
  EXPECT_EQ(FolderCaptionText(0, "Holiday"), "No photos in folder");
  EXPECT_EQ(FolderCaptionText(1, "Holiday"), "1 picture from 'Holiday'");
  EXPECT_EQ(FolderCaptionText(1200, "Holiday"), "1200 pictures from 'Holiday'");
  EXPECT_TRUE(IsContactSheetCaption("Thumbnail Layout 1 of 3"));
  EXPECT_TRUE(!IsContactSheetCaption("Layout Preview"));
}

TEST_F(FolderOpenTest, PickedFolderIsShownInTreeAndOpened) {
  window_.thumbCount = 12;
  window_.page = QStringLiteral("Thumbnail Layout 2");
  opener_->mnuFileOpen_Click();
  EXPECT_EQ(window_.log, (QStringList{"picker", "email", "tree " + holiday_, "clear", "new page",
                                      "build " + holiday_ + " / Loading thumbnails...", "tools 1"}));
  EXPECT_EQ(window_.title, QStringLiteral("Tavrin Lumaset (Holiday)"));
  EXPECT_EQ(window_.folderLabel, QStringLiteral("12 pictures from 'Holiday'"));
  EXPECT_EQ(window_.panel, QString());
  EXPECT_EQ(window_.status, QStringLiteral("kept"));
  // Only a tree click writes "Folder" on its own; the picker decides for itself.
  EXPECT_EQ(settings_->readSetting(QStringLiteral("Folder"), "unset"), QStringLiteral("unset"));
}

TEST_F(FolderOpenTest, ReopenRequestSkipsThePickerOnce) {
  reopen_ = true;
  current_ = holiday_;
  opener_->mnuFileOpen_Click();
  EXPECT_FALSE(reopen_);
  EXPECT_EQ(window_.log.first(), QStringLiteral("email"));
  EXPECT_EQ(window_.folderLabel, QStringLiteral("No photos in folder"));
  EXPECT_EQ(window_.panel, QStringLiteral("Thumbnail Panel (none)"));
  EXPECT_EQ(window_.log.last(), QStringLiteral("tools 0"));
  window_.log.clear();
  window_.pickerOk = false;  // cancelled: nothing changes
  opener_->mnuFileOpen_Click();
  EXPECT_EQ(window_.log, QStringList{"picker"});
  EXPECT_EQ(current_, holiday_);
}

TEST_F(FolderOpenTest, TreeClickWritesTheSettingAndAVanishedFolderIsReported) {
  window_.thumbCount = 1;
  opener_->OpenFromTree(holiday_);
  EXPECT_EQ(current_, holiday_);
  EXPECT_EQ(settings_->readSetting(QStringLiteral("Folder"), "unset"), holiday_);
  EXPECT_EQ(window_.folderLabel, QStringLiteral("1 picture from 'Holiday'"));

  window_.log.clear();
  opener_->OpenFromTree(root_ + QStringLiteral("Gone/"));
  EXPECT_EQ(window_.log, (QStringList{"clear", "Error opening folder: The folder \"" + root_ +
                                                   "Gone/\" cannot be found.", "tools 0"}));
  EXPECT_EQ(window_.folderLabel, QStringLiteral("No photos in folder"));
}

TEST_F(FolderOpenTest, OpeningDuringABuildWaitsOrIsRefused) {
  current_ = holiday_;
  // A command asks for a refresh while the thumbnails are being made: it
  // follows the build instead of emptying the table beneath it.
  window_.duringBuild = [this] {
    reopen_ = true;
    current_ = root_;
    opener_->mnuFileOpen_Click();
    EXPECT_TRUE(opener_->openPending());
  };
  opener_->ThumbsOpen();
  EXPECT_FALSE(opener_->openPending());
  EXPECT_EQ(window_.log.filter(QStringLiteral("build ")),
            (QStringList{"build " + holiday_ + " / Loading thumbnails...",
                         "build " + root_ + " / Loading thumbnails..."}));
  EXPECT_EQ(window_.title, QStringLiteral("Tavrin Lumaset (%1)").arg(FolderDisplayName(root_)));

  // The user's own "Open Folder..." meanwhile is refused before the picker shows.
  window_.log.clear();
  window_.duringBuild = [this] { opener_->mnuFileOpen_Click(); };
  opener_->ThumbsOpen();
  EXPECT_FALSE(window_.log.contains(QStringLiteral("picker")));
  EXPECT_TRUE(window_.log.contains(QStringLiteral("notice")));
  EXPECT_EQ(window_.log.filter(QStringLiteral("build ")).size(), 1);
}

}  // namespace
}  // namespace lumaset::test
