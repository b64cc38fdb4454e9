#include "frame/folder_picker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "components/settings_store.h"
#include "frame/settings.h"
#include "frame/working_folders.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

using Mode = FolderPickMode;

QStringList Items(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text().trimmed();
  return texts;
}

class FolderPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = freshFolder(QStringLiteral("picker")) + QLatin1Char('/');
    settings_ = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"),
                                                root_ + QStringLiteral("s.conf"));
    options_.genSound = true;
    options_.genSave = true;
    openSounds_ = closeSounds_ = 0;
    folders_.current = folder(QStringLiteral("current"));
    folders_.copyMove = folder(QStringLiteral("copy move"));
    folders_.midi = folder(QStringLiteral("midi"));
    folders_.scan = folder(QStringLiteral("scan"));
    folders_.downloadTarget = folder(QStringLiteral("target"));
    camera_ = options_.downloadDrive = folder(QStringLiteral("camera"));
  }

  QString folder(const QString& name) {
    QDir().mkpath(root_ + name);
    return root_ + name + QLatin1Char('/');
  }
  QString stored(const QString& key) const {
    return settings_->readSetting(key, QStringLiteral("unset"));
  }

  std::unique_ptr<FolderPickerDialog> open(Mode mode) {
    request_.ask(mode);
    request_.folderPicked = true;  // loading must clear what an earlier use left
    FolderPickerSetup setup;
    setup.drives = {{QStringLiteral("/"), {}, DriveKind::Fixed},
                    {camera_, QStringLiteral("CAM"), DriveKind::Removable},
                    {QStringLiteral("/no/such/mount/"), {}, DriveKind::Removable}};
    setup.playOpenSound = [this] { ++openSounds_; };
    setup.playCloseSound = [this] { ++closeSounds_; };
    setup.askText = [this](const QString& title, const QString& prompt) {
      prompts_ << title + QLatin1Char('|') + prompt;
      return answer_;
    };
    setup.showWarning = [this](const QString&, const QString& text) { warnings_ << text; };
    return std::make_unique<FolderPickerDialog>(
        FolderPickerContext{request_, folders_, options_, *settings_,
                            QStringLiteral("Tavrin Lumaset")},
        setup);
  }

  QString root_;
  QString camera_;
  std::unique_ptr<SettingsStore> settings_;
  FolderPickRequest request_;
  WorkingFolders folders_;
  Options options_;
  int openSounds_ = 0;
  int closeSounds_ = 0;
  std::optional<QString> answer_;
  QStringList prompts_;
  QStringList warnings_;
};

struct ModeCase {
  Mode mode;
  const char* title;
  QString WorkingFolders::*result;  // nullptr: the request's download source
  const char* setting;              // written by OK, or nullptr
  bool newShown;
  bool filesEnabled;
};

const ModeCase kModes[] = {
    {Mode::Photo, "Select Photo Folder", &WorkingFolders::current, "Folder", false, true},
    {Mode::CopyTo, "Select Copy-to Folder", &WorkingFolders::copyMove, "FolderMove", true, false},
    {Mode::MoveTo, "Select Move-to Folder", &WorkingFolders::copyMove, "FolderMove", true, false},
    {Mode::Midi, "Select Midi Folder", &WorkingFolders::midi, nullptr, false, false},
    {Mode::Scan, "Select Scan Save Folder", &WorkingFolders::scan, nullptr, true, false},
    {Mode::DownloadSource, "Download Source Folder", nullptr, nullptr, false, true},
    {Mode::DownloadTarget, "Download Target Folder", &WorkingFolders::downloadTarget, "FolderMove",
     true, false},
};

TEST_F(FolderPickerTest, EachModeOpensAtItsFolderAndStoresTheChoiceWithAFinalSlash) {
  for (const ModeCase& c : kModes) {
    SCOPED_TRACE(c.title);
    SetUp();
    const auto result = [&]() -> QString& {
      return c.result ? folders_.*c.result : request_.downloadSource;
    };
    const QString start = c.result ? result() : options_.downloadDrive;
    auto picker = open(c.mode);
    EXPECT_EQ(test::AccessibilityProblems(picker.get()), QStringList());
    EXPECT_EQ(picker->windowTitle(), c.title);
    EXPECT_EQ(picker->folderPath() + QLatin1Char('/'), start);
    EXPECT_EQ(picker->driveList()->currentIndex(), c.mode == Mode::DownloadSource ? 1 : 0);
    EXPECT_EQ(!picker->newButton()->isHidden(), c.newShown);
    EXPECT_EQ(!picker->saveBox()->isHidden(), c.mode == Mode::Photo);
    EXPECT_EQ(picker->saveBox()->isChecked(), c.mode == Mode::Photo);  // GenSave is on
    EXPECT_EQ(picker->fileList()->isEnabled(), c.filesEnabled);
    EXPECT_FALSE(request_.folderPicked);

    QDir().mkpath(start + QStringLiteral("Pick"));
    ASSERT_TRUE(picker->setFolderPath(start + QStringLiteral("Pick/")));
    picker->okButton()->click();
    const QString chosen = start + QStringLiteral("Pick/");
    EXPECT_EQ(result(), chosen);
    if (c.mode == Mode::DownloadTarget) {
      EXPECT_EQ(folders_.copyMove, chosen);
    }
    for (const char* key : {"Folder", "FolderMove"})
      EXPECT_EQ(stored(QLatin1String(key)), c.setting == QLatin1String(key) ? chosen : "unset")
          << key;
    EXPECT_TRUE(request_.folderPicked);
    EXPECT_EQ(request_.mode(), Mode::None);
    EXPECT_EQ(request_.pickDownloadSource, c.mode == Mode::DownloadSource);
    EXPECT_EQ(closeSounds_, 1);
  }
}

TEST_F(FolderPickerTest, CancelAndClosingStoreNothingButEmptyTheDownloadTarget) {
  for (const ModeCase& c : kModes) {
    for (const bool byCloseBox : {false, true}) {
      SCOPED_TRACE(c.title);
      SetUp();
      const WorkingFolders before = folders_;
      auto picker = open(c.mode);
      ASSERT_TRUE(picker->setFolderPath(root_));
      if (byCloseBox)
        picker->reject();
      else
        picker->cancelButton()->click();
      const bool download = c.mode == Mode::DownloadSource || c.mode == Mode::DownloadTarget;
      EXPECT_EQ(folders_.downloadTarget, download ? QString() : before.downloadTarget);
      EXPECT_EQ(folders_.current, before.current);
      EXPECT_EQ(folders_.copyMove, before.copyMove);
      EXPECT_TRUE(request_.downloadSource.isEmpty());
      EXPECT_EQ(stored(QStringLiteral("Folder")) + stored(QStringLiteral("FolderMove")),
                "unsetunset");
      EXPECT_FALSE(request_.folderPicked);
      EXPECT_EQ(request_.mode(), Mode::None);
    }
  }
}

TEST_F(FolderPickerTest, PhotoFolderIsRememberedOnlyWhenTheBoxIsTicked) {
  options_.genSave = false;
  options_.genSound = false;
  auto picker = open(Mode::Photo);
  EXPECT_FALSE(picker->saveBox()->isChecked());
  ASSERT_TRUE(picker->setFolderPath(QStringLiteral("/")));
  picker->okButton()->click();
  EXPECT_EQ(folders_.current, "/");  // the root keeps its one slash
  EXPECT_EQ(stored(QStringLiteral("Folder")), "unset");
  EXPECT_EQ(openSounds_ + closeSounds_, 0);
}

TEST_F(FolderPickerTest, DownloadTargetStartsAtCopyMoveAndSourceMustLieOnTheDrive) {
  folders_.downloadTarget.clear();
  auto target = open(Mode::DownloadTarget);
  EXPECT_EQ(target->folderPath() + QLatin1Char('/'), folders_.copyMove);
  EXPECT_EQ(folders_.downloadTarget, folders_.copyMove);
  target->okButton()->click();

  auto source = open(Mode::DownloadSource);
  ASSERT_TRUE(source->setFolderPath(folders_.scan));  // off the download drive
  source->okButton()->click();
  EXPECT_TRUE(request_.folderPicked);
  EXPECT_EQ(request_.downloadSource, QString());
}

TEST_F(FolderPickerTest, UnusableStartsAndDrivesLeaveTheListWhereItWas) {
  options_.downloadDrive = QStringLiteral("/no/such/mount/");
  auto source = open(Mode::DownloadSource);
  EXPECT_EQ(source->folderPath(), QDir::currentPath());
  source->reject();

  for (const Mode mode : {Mode::None, Mode::Photo}) {
    folders_.current = root_ + QStringLiteral("gone/");
    auto picker = open(mode);
    EXPECT_EQ(picker->windowTitle(), mode == Mode::None ? "Select Folder" : "Select Photo Folder");
    EXPECT_EQ(picker->folderPath(), QDir::currentPath());
    picker->selectDrive(1);
    EXPECT_EQ(picker->folderPath() + QLatin1Char('/'), camera_);
    picker->selectDrive(2);  // not mounted
    EXPECT_EQ(picker->folderPath() + QLatin1Char('/'), camera_);
    EXPECT_EQ(picker->driveList()->currentIndex(), 1);
    if (mode == Mode::None) {
      const WorkingFolders before = folders_;
      picker->okButton()->click();
      EXPECT_TRUE(request_.folderPicked);
      EXPECT_EQ(folders_.current, before.current);
      EXPECT_EQ(folders_.copyMove, before.copyMove);
    }
  }
}

TEST_F(FolderPickerTest, FolderListShowsTheWayDownAndOpensOnActivation) {
  QDir().mkpath(folders_.scan + QStringLiteral("b"));
  QDir().mkpath(folders_.scan + QStringLiteral("A"));
  auto picker = open(Mode::Scan);
  const QStringList items = Items(picker->folderList());
  ASSERT_GE(items.size(), 3);
  EXPECT_EQ(items.first(), "/");
  EXPECT_EQ(items.mid(items.size() - 3), (QStringList{"scan", "A", "b"}));
  QListWidget* list = picker->folderList();
  QListWidgetItem* b = list->item(items.size() - 1);
  list->scrollToItem(b);
  const QPoint at = list->visualItemRect(b).center();
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
  QMouseEvent twice(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at),
                    Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(list->viewport(), &twice);
  EXPECT_EQ(picker->folderPath(), folders_.scan + QStringLiteral("b"));
}

// The file list shows the pictures the thumbnail panel shows, whatever their
// extension or its letter case, and nothing that only has a picture's name.
TEST_F(FolderPickerTest, FileListShowsWhatThePanelShows) {
  const QString dir = folder(QStringLiteral("Mixed"));
  for (const char* name : {"a.JPG", "b.jpeg", "c.tiff", "d.Png"})
    ASSERT_TRUE(WritePicture(dir + QLatin1String(name), 8, 6, QByteArray(name).endsWith("tiff") ? "tiff" : nullptr));
  for (const char* name : {"empty.jpg", "song.MID", "tune.rmi", "notes.txt"}) ASSERT_TRUE(WriteText(dir + QLatin1String(name), {}));
  QDir().mkpath(dir + QStringLiteral("sub.jpg"));
  folders_.current = folders_.midi = dir;
  auto photos = open(Mode::Photo);
  EXPECT_EQ(Items(photos->fileList()), (QStringList{"a.JPG", "b.jpeg", "c.tiff", "d.Png"}));
  EXPECT_EQ(photos->fileLabel()->text(), "Mixed Photos");
  photos->reject();
  auto midi = open(Mode::Midi);
  EXPECT_EQ(Items(midi->fileList()), (QStringList{"song.MID", "tune.rmi"}));
  EXPECT_EQ(midi->fileLabel()->text(), "Mixed Midi Files");
}

// Typing a folder's first letters finds it; Enter opens it and does nothing
// else (the dialog's first button, here "New", stays unpressed).
TEST_F(FolderPickerTest, TypingFindsAFolderAndEnterOnlyOpensIt) {
  QDir().mkpath(folders_.scan + QStringLiteral("Beach"));
  QDir().mkpath(folders_.scan + QStringLiteral("Garden"));
  auto picker = open(Mode::Scan);
  picker->show();
  QListWidget* list = picker->folderList();
  list->setFocus();
  QTest::keyClicks(list, QStringLiteral("Gar"));
  ASSERT_NE(list->currentItem(), nullptr);
  EXPECT_EQ(list->currentItem()->text(), "Garden");
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(picker->folderPath(), folders_.scan + QStringLiteral("Garden"));
  EXPECT_EQ(prompts_, QStringList());
  EXPECT_TRUE(picker->isVisible());
}

TEST_F(FolderPickerTest, NewRefusesBadNamesAndMakesGoodOnes) {
  QDir().mkpath(folders_.copyMove + QStringLiteral("Taken"));
  auto picker = open(Mode::CopyTo);
  QStringList created;
  QObject::connect(picker.get(), &FolderPickerDialog::folderCreated,
                   [&](const QString& p) { created << p; });
  const QString start = picker->folderPath();
  const struct {
    std::optional<QString> answer;
    bool warned;
  } refusals[] = {{std::nullopt, false},         {QString(), false},
                  {QStringLiteral("a/b"), true}, {QStringLiteral(".."), true},
                  {QStringLiteral("."), true},   {QStringLiteral("Taken"), true}};
  for (const auto& r : refusals) {
    warnings_.clear();
    answer_ = r.answer;
    picker->newButton()->click();
    EXPECT_EQ(warnings_.size(), r.warned ? 1 : 0) << r.answer.value_or("(cancelled)").toStdString();
    EXPECT_EQ(picker->folderPath(), start);
  }
  EXPECT_TRUE(created.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(folders_.copyMove + QStringLiteral("a")));
  EXPECT_EQ(prompts_.first(),
            "Tavrin Lumaset|Enter name of new folder to be created in folder '.../copy move'");

  answer_ = QStringLiteral("New..Folder");
  picker->newButton()->click();
  const QString made = folders_.copyMove + QStringLiteral("New..Folder");
  EXPECT_TRUE(QFileInfo(made).isDir());
  EXPECT_EQ(picker->folderPath(), made);
  EXPECT_EQ(picker->fileLabel()->text(), "New..Folder Photos");
  EXPECT_EQ(created, QStringList{made + QLatin1Char('/')});

  ASSERT_TRUE(QDir(made).removeRecursively());  // the shown folder vanishes
  warnings_.clear();
  answer_ = QStringLiteral("x");
  picker->newButton()->click();
  ASSERT_EQ(warnings_.size(), 1);
  EXPECT_TRUE(warnings_.first().contains(QStringLiteral("cannot be created")))
      << warnings_.first().toStdString();
  EXPECT_EQ(picker->folderPath(), made);
}

TEST(FolderPickerPosition, CentresOverTheScanWindowOnlyInScanMode) {
  const QRect scan(100, 200, 600, 400);
  const QSize picker(300, 200);
  EXPECT_EQ(FolderPickerPosition(Mode::Scan, {10, 20}, scan, picker, 15), QPoint(250, 300));
  EXPECT_EQ(FolderPickerPosition(Mode::Scan, {10, 20}, std::nullopt, picker, 15), QPoint(43, 53));
  EXPECT_EQ(FolderPickerPosition(Mode::Photo, {10, 20}, scan, picker, 15), QPoint(43, 53));
}

}  // namespace
}  // namespace lumaset::test
