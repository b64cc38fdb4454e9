#include "frame/data_folder_preferences.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>

#include <memory>

#include "components/settings_store.h"
#include "frame/drive_folder_browser.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = freshFolder(QStringLiteral("data-folder")) + QLatin1Char('/');
    QDir().mkpath(root_ + QStringLiteral("layouts/old"));
    settings_ = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"),
                                                root_ + QStringLiteral("s.conf"));
  }

  std::unique_ptr<DataFolderDialog> open(const QString& prefFolder) {
    const EventSoundPlayer sounds = [this](QStringView name, EventSoundPlay how) {
      const bool waits = how == EventSoundPlay::Wait;
      sounds_ << name.toString() + (waits ? QStringLiteral("+wait") : QString());
    };
    DataFolderSetup setup{*settings_, {}, prefFolder, root_, QStringLiteral("Tavrin Lumaset"),
                          sounds};
    setup.messageBox = [this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                              QMessageBox::StandardButtons) {
      messages_ << text;
      return QMessageBox::Ok;
    };
    setup.askText = [this](QWidget*, const QString& title, const QString& prompt) {
      prompts_ << title + QLatin1Char('|') + prompt;
      return answer_;
    };
    setup.today = [] { return QDate(2024, 3, 9); };
    return std::make_unique<DataFolderDialog>(std::move(setup));
  }
  QString stored(const QString& key) const { return settings_->readSetting(key, "unset"); }

  QString root_;
  std::unique_ptr<SettingsStore> settings_;
  QStringList sounds_;
  QStringList messages_;
  QStringList prompts_;
  std::optional<QString> answer_;
};

TEST_F(DataFolderTest, OkStoresOnlyAFolderOtherThanTheFirst) {
  settings_->writeSetting(QStringLiteral("Update"), QStringLiteral("1"));
  const QString layouts = root_ + QStringLiteral("layouts/");
  auto dialog = open(layouts);
  EXPECT_EQ(test::AccessibilityProblems(dialog.get()), QStringList());
  EXPECT_EQ(dialog->browser().folderPath(), root_ + QStringLiteral("layouts"));
  EXPECT_TRUE(dialog->updateBox()->isChecked());
  dialog->cmdOKClick();
  EXPECT_EQ(dialog->prefFolder(), layouts);
  EXPECT_EQ(stored(QStringLiteral("DataPath")), u"unset");
  EXPECT_EQ(stored(QStringLiteral("Update")), u"1");
  EXPECT_EQ(stored(QStringLiteral("UpdateDate")), u"unset");  // the reminder was on already
  EXPECT_EQ(sounds_,
            (QStringList{QStringLiteral("RestoreUp"), QStringLiteral("RestoreDown+wait")}));

  auto moved = open(layouts);
  ASSERT_TRUE(moved->browser().setFolderPath(root_ + QStringLiteral("layouts/old")));
  moved->cmdOKClick();
  EXPECT_EQ(moved->prefFolder(), root_ + QStringLiteral("layouts/old/"));
  EXPECT_EQ(stored(QStringLiteral("DataPath")), root_ + QStringLiteral("layouts/old/"));

  auto top = open(layouts);
  ASSERT_TRUE(top->browser().setFolderPath(QStringLiteral("/")));
  top->cmdOKClick();
  EXPECT_EQ(top->prefFolder(), u"/");  // no doubled separator at the root
}

TEST_F(DataFolderTest, SwitchingTheReminderOnStartsItsDaysToday) {
  auto dialog = open(root_ + QStringLiteral("gone/"));  // a missing folder shows the program's
  EXPECT_EQ(dialog->browser().folderPath() + QLatin1Char('/'), root_);
  EXPECT_FALSE(dialog->updateBox()->isChecked());
  dialog->updateBox()->click();
  dialog->cmdOKClick();
  EXPECT_EQ(stored(QStringLiteral("Update")), u"1");
  EXPECT_EQ(stored(QStringLiteral("UpdateDate")), UpdateReminder::DateText(QDate(2024, 3, 9)));
}

TEST_F(DataFolderTest, NewFolderRefusesUnsafeNamesAndReportsFailures) {
  const QString layouts = root_ + QStringLiteral("layouts");
  auto dialog = open(layouts + QLatin1Char('/'));
  for (const char* name : {"../escape", "a/b", "..", "old"}) {
    answer_ = QString::fromUtf8(name);
    dialog->cmdCreateClick();
    EXPECT_EQ(dialog->browser().folderPath(), layouts) << name;
  }
  EXPECT_EQ(messages_.size(), 4);
  EXPECT_TRUE(messages_.front().startsWith(u"Error creating folder: "));
  EXPECT_FALSE(QFileInfo::exists(root_ + QStringLiteral("escape")));
  EXPECT_EQ(prompts_.front(),
            QStringLiteral("Create Folder|Type the name of the new folder to create in <%1>:")
                .arg(layouts));

  answer_ = QString();
  dialog->cmdCreateClick();
  answer_ = QStringLiteral("Summer 2024");
  dialog->cmdCreateClick();
  EXPECT_EQ(dialog->browser().folderPath(), layouts + QStringLiteral("/Summer 2024"));
  dialog->reject();  // the new folder stays; the layouts folder does not change
  EXPECT_TRUE(QFileInfo(layouts + QStringLiteral("/Summer 2024")).isDir());
  EXPECT_EQ(dialog->prefFolder(), layouts + QLatin1Char('/'));
  EXPECT_EQ(stored(QStringLiteral("DataPath")), u"unset");
}

}  // namespace
}  // namespace lumaset::test
