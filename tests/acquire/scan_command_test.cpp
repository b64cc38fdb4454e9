#include "acquire/scan_command.h"

#include <gtest/gtest.h>

#include "browser/folder_open.h"
#include "browser/thumb_table.h"
#include "components/settings_store.h"
#include "fake_scan.h"
#include "frame/settings.h"
#include "frame/working_folders.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class FakeCommandHost : public ScanCommandHost {
 public:
  void SetBusyPointer(bool /*busy*/) override {}
  void LetEventsRun() override {}
  bool PickScanFolder(const QRect& /*scanWindow*/) override { return false; }
  void PlayOpenSound() override {}
  void PlayCloseSound() override {}
  const ThumbTable& Thumbs() const override { return thumbs; }
  int AppendThumbnail(const QString& path) override {
    const int index = thumbs.append(path);
    log.append(QStringLiteral("append %1").arg(index));
    return index;
  }
  void RebuildThumbnail(int index) override { log.append(QStringLiteral("rebuild %1").arg(index)); }
  void SetFolderCaption(const QString& text) override { log.append(text); }
  void SetFolderTools(bool hasPictures) override { log.append(hasPictures ? "tools on" : "tools off"); }
  void ReopenCurrentFolder() override { log.append("reopen " + folders->current); }

  ThumbTable thumbs;
  QStringList log;
  WorkingFolders* folders = nullptr;
};

class ScanCommandTest : public ::testing::Test {
 protected:
  ScanCommandTest() : settings_("Lumaset", test::freshFolder("scan") + "/settings.ini") {
    holiday_ = test::freshFolder("Holiday") + "/";
    folders_.current = holiday_;
    folders_.scan = holiday_;
    host_.folders = &folders_;
  }

  SettingsStore settings_;
  Options options_;
  WorkingFolders folders_;
  QString holiday_;
  test::FakeScanService scanner_;
  FakeCommandHost host_;
  ScanCommand command_{scanner_, settings_, options_, folders_, host_};
};

TEST_F(ScanCommandTest, AScanSavedIntoTheOpenFolderJoinsThePanel) {
  const QString name = FolderDisplayName(holiday_);
  command_.ScanSaved(holiday_ + "Scan1.jpg");  // into an empty panel: cell 0, and its tools back
  EXPECT_EQ(host_.log, QStringList({"append 0", "tools on", "'" + name + "' has 1 picture"}));

  host_.log.clear();
  for (const char* file : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) host_.thumbs.append(holiday_ + file);
  command_.ScanSaved(holiday_ + "Scan2.jpg");
  EXPECT_EQ(host_.log, QStringList({"append 5", "'" + name + "' has 6 pictures"}));

  host_.log.clear();  // saved over a picture the panel shows: that cell is refreshed
  ASSERT_TRUE(test::WriteText(holiday_ + "c.jpg", "x"));
  command_.ScanSaved(holiday_ + "/c.jpg");
  EXPECT_EQ(host_.log, QStringList("rebuild 3"));
  EXPECT_EQ(host_.thumbs.ThumbCount(), 6);

  host_.log.clear();
  command_.ScanSaved({});
  EXPECT_TRUE(host_.log.isEmpty());
}

TEST_F(ScanCommandTest, AScanSavedElsewhereOpensItsFolder) {
  for (const bool genSave : {false, true}) {
    options_.genSave = genSave;
    folders_.current = holiday_;
    folders_.scan = holiday_.toUpper();  // another folder on a case-sensitive file system
    host_.log.clear();
    command_.ScanSaved(folders_.scan + "Scan1.jpg");
    EXPECT_EQ(host_.log, QStringList("reopen " + holiday_.toUpper()));
    EXPECT_EQ(folders_.current, holiday_.toUpper());
    EXPECT_EQ(settings_.readSetting("FolderScan", "none"), genSave ? holiday_.toUpper() : "none");
  }
}

}  // namespace
}  // namespace lumaset
