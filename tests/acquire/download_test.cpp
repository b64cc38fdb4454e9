#include "acquire/download.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <deque>
#include <memory>
#include <optional>

#include "components/settings_store.h"
#include "frame/settings.h"
#include "frame/working_folders.h"
#include "support/camera_modules.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

using Mode = FolderPickMode;

template <typename T>
T Next(std::deque<T>& queue, T otherwise = {}) {
  if (queue.empty()) return otherwise;
  T next = queue.front();
  queue.pop_front();
  return next;
}

// The main window as the download commands see it. The folder picker runs
// its own rules without a window: each pick takes the next prepared answer,
// a folder for OK or nullopt for Cancel.
class FakeHost : public DownloadHost {
 public:
  FakeHost(Options& options, WorkingFolders& folders, FolderPickRequest& request,
           SettingsStore& settings)
      : options_(options), folders_(folders), request_(request), settings_(settings) {}

  void ShowInformation(const QString& text) override { notices << text; }
  void ShowError(const QString& text) override { errors << text; }
  bool AskYesNo(const QString& text) override {
    questions << text;
    return Next(answers);
  }
  void OpenPreferences(int tab) override {
    preferenceTabs << tab;
    if (preferences) preferences();
  }
  void PickFolder(Mode mode) override {
    picks << mode;
    request_.ask(mode);
    FolderPickSession session({request_, folders_, options_, settings_, QStringLiteral("Lumaset")});
    if (const std::optional<QString> answer = Next(pickAnswers)) {
      session.ok(*answer, false);
    } else if (!closeWithoutAnswer || !pickAnswers.empty()) {
      session.cancel();
    }
  }
  void OpenCurrentFolder() override {
    opened << folders_.current;
    panel.clear();
    for (const QString& name : MatchingFiles(folders_.current, QLatin1String(kPhotoFilePattern)))
      panel << folders_.current + name;
  }
  QStringList PanelFiles() const override { return panel; }
  void SetBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
  void ShowProgress(int percent, const QString&) override { lastPercent = percent; }
  void LetEventsRun() override {
    if (eventsHook) eventsHook();
  }
  bool TakeAbortRequest() override { return std::exchange(abort, false); }

  std::deque<bool> answers;
  std::deque<std::optional<QString>> pickAnswers;
  std::function<void()> preferences;
  std::function<void()> eventsHook;
  QStringList notices, errors, questions, opened, panel;
  QList<int> preferenceTabs;
  QList<Mode> picks;
  int busyDepth = 0;
  int lastPercent = -1;
  bool abort = false;
  bool closeWithoutAnswer = false;  // the last pick ends neither with OK nor with Cancel

 private:
  Options& options_;
  WorkingFolders& folders_;
  FolderPickRequest& request_;
  SettingsStore& settings_;
};

const QString kDownloadQuestion = QStringLiteral("Do you wish to download these images to your hard drive?");

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = freshFolder(QStringLiteral("download")) + QLatin1Char('/');
    settings_ = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"), root_ + QStringLiteral("s.conf"));
    source_ = folder(QStringLiteral("card/DCIM"));
    target_ = folder(QStringLiteral("pictures"));
    folders_.current = folder(QStringLiteral("before"));
    folders_.copyMove = target_;
    options_.downloadDrive = QStringLiteral("/");  // a mount point that is always there
    for (const char* name : {"a.jpg", "b.png", "c.JPG"})
      ASSERT_TRUE(WritePicture(source_ + QLatin1String(name), 12, 9));
    WriteText(source_ + QStringLiteral("notes.txt"), "not a picture");
    host_ = std::make_unique<FakeHost>(options_, folders_, request_, *settings_);
    commands_ = std::make_unique<DownloadCommands>(*host_, options_, folders_, request_,
                                                   [this](const QString& connection) {
                                                     connections_ << connection;
                                                     return CameraDevice::OpenModel(
                                                         QStringLiteral("Directory Browse"),
                                                         QStringLiteral("disk:") + camera_);
                                                   });
  }
  QString folder(const QString& name) {
    QDir().mkpath(root_ + name);
    return root_ + name + QLatin1Char('/');
  }
  QStringList filesIn(const QString& folderPath) const {
    return QDir(folderPath).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }
  // What the panel shows and the current folder agree once a command ends.
  void expectPanelShowsCurrent() const {
    ASSERT_FALSE(host_->opened.isEmpty());
    EXPECT_EQ(host_->opened.last(), folders_.current);
  }
  QByteArray sourceState() const {
    QByteArray state;
    for (const QString& name : filesIn(source_))
      state += name.toUtf8() + ReadBytes(source_ + name) +
               QFileInfo(source_ + name).lastModified().toString(Qt::ISODateWithMs).toUtf8();
    return state;
  }

  QString root_, source_, target_, camera_;
  std::unique_ptr<SettingsStore> settings_;
  Options options_;
  WorkingFolders folders_;
  FolderPickRequest request_;
  std::unique_ptr<FakeHost> host_;
  std::unique_ptr<DownloadCommands> commands_;
  QStringList connections_;
};

TEST_F(DownloadTest, MissingSettingsLeadToThePreferencesAndNothingElse) {
  struct Case {
    const char* drive;
    const char* camera;
    const char* connection;
    bool cameraCommand;
    const char* notice;
  };
  const Case cases[] = {
      {"", "Nikon", "USB", false, "Please select source drive from preferences"},
      {"/", "Nikon", "", true, "Please select camera-type from preferences"},
      {"/", "", "USB", true, "Please select camera-type from preferences"},
  };
  for (const Case& c : cases) {
    SetUp();
    options_.downloadDrive = QLatin1String(c.drive);
    options_.camera = QLatin1String(c.camera);
    options_.cameraConnection = QLatin1String(c.connection);
    c.cameraCommand ? commands_->mnuFileDownloadCamera_Click() : commands_->mnufileDownloadDrive_Click();
    EXPECT_EQ(host_->notices, QStringList{QLatin1String(c.notice)});
    EXPECT_EQ(host_->preferenceTabs, QList<int>{kPreferencesDownloadTab});
    EXPECT_TRUE(host_->picks.isEmpty());
    EXPECT_TRUE(host_->opened.isEmpty());
  }
}

TEST_F(DownloadTest, CopiesThePanelsPicturesAskingBeforeEachReplacement) {
  for (const bool replace : {true, false}) {
    SCOPED_TRACE(replace);
    SetUp();
    WriteText(target_ + QStringLiteral("b.png"), "older b");
    const QByteArray before = sourceState();
    host_->pickAnswers = {source_, target_};
    host_->answers = {true, replace};
    commands_->mnufileDownloadDrive_Click();

    EXPECT_EQ(host_->picks, (QList<Mode>{Mode::DownloadSource, Mode::DownloadTarget}));
    EXPECT_EQ(host_->questions,
              (QStringList{kDownloadQuestion,
                           "File <b.png> already exits on targer drive!\nDo you wish to overwrite it?"}));
    EXPECT_EQ(filesIn(target_), (QStringList{"a.jpg", "b.png", "c.JPG"}));  // no notes.txt
    EXPECT_EQ(ReadBytes(target_ + QStringLiteral("b.png")),
              replace ? ReadBytes(source_ + QStringLiteral("b.png")) : QByteArray("older b"));
    EXPECT_EQ(ReadBytes(target_ + QStringLiteral("a.jpg")), ReadBytes(source_ + QStringLiteral("a.jpg")));
    EXPECT_EQ(sourceState(), before);
    EXPECT_EQ(host_->opened, (QStringList{source_, target_}));
    expectPanelShowsCurrent();
    EXPECT_EQ(settings_->readSetting(QStringLiteral("FolderMove"), "unset"), target_);
    EXPECT_EQ(commands_->targetPath(), target_ + QStringLiteral("c.JPG"));
    EXPECT_EQ(host_->busyDepth, 0);
    EXPECT_TRUE(host_->errors.isEmpty());
  }
}

TEST_F(DownloadTest, EveryWayOutBeforeTheCopyCopiesNothingAndKeepsPanelAndFolderTogether) {
  // The picker's answers: 's' the source, 'c' Cancel, 'x' closed otherwise.
  struct Case {
    const char* name;
    const char* picks;
    std::deque<bool> answers;
    bool sourceShown;
  };
  const Case cases[] = {
      {"source cancelled", "c", {}, false},
      {"download declined", "s", {false}, true},
      {"target cancelled", "sc", {true}, true},
      {"target picker closed", "sx", {true}, true},
      {"target is the source", "ss", {true}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const QString before = folders_.current;
    for (const char* p = c.picks; *p; ++p) {
      host_->pickAnswers.push_back(*p == 's' ? std::optional<QString>(source_) : std::nullopt);
      if (*p == 'x') host_->closeWithoutAnswer = true;
    }
    host_->answers = c.answers;
    commands_->mnufileDownloadDrive_Click();
    EXPECT_EQ(filesIn(target_), QStringList());
    EXPECT_EQ(filesIn(source_), (QStringList{"a.jpg", "b.png", "c.JPG", "notes.txt"}));
    EXPECT_TRUE(host_->errors.isEmpty());
    EXPECT_EQ(host_->notices.size(), QLatin1String(c.picks) == QLatin1String("ss") ? 1 : 0);
    if (c.sourceShown) {
      expectPanelShowsCurrent();
      EXPECT_EQ(folders_.current, source_);
    } else {
      EXPECT_TRUE(host_->opened.isEmpty());
      EXPECT_EQ(folders_.current, before);
    }
  }
}

TEST_F(DownloadTest, AnUnusableDriveOffersThePreferencesAndTheSourcePickAgain) {
  options_.downloadDrive = folder(QStringLiteral("card"));  // a folder, not a mount point
  host_->pickAnswers = {source_, source_, target_};
  host_->answers = {true, true, true};
  host_->preferences = [this] { options_.downloadDrive = QStringLiteral("/"); };
  commands_->mnufileDownloadDrive_Click();
  EXPECT_EQ(host_->questions.first(),
            "Source unavailable. Do you wish to select a new source drive from preferences?");
  EXPECT_EQ(host_->preferenceTabs, QList<int>{kPreferencesDownloadTab});
  EXPECT_EQ(host_->picks.count(Mode::DownloadSource), 2);
  EXPECT_EQ(filesIn(target_).size(), 3);

  // Declined, the command ends at once; a folder off the drive is no source either.
  SetUp();
  options_.downloadDrive = folder(QStringLiteral("card"));
  host_->pickAnswers = {target_};
  host_->answers = {false};
  commands_->mnufileDownloadDrive_Click();
  EXPECT_EQ(host_->questions.size(), 1);
  EXPECT_TRUE(host_->opened.isEmpty());
  EXPECT_TRUE(host_->preferenceTabs.isEmpty());
}

TEST_F(DownloadTest, AFailedCopyStopsThereAndKeepsTheOlderTarget) {
  WriteText(target_ + QStringLiteral("b.png"), "older b");
  host_->eventsHook = [this] {
    if (QFile::exists(target_ + QStringLiteral("a.jpg"))) QFile::remove(source_ + QStringLiteral("b.png"));
  };
  host_->pickAnswers = {source_, target_};
  host_->answers = {true, true};
  commands_->mnufileDownloadDrive_Click();
  ASSERT_EQ(host_->errors.size(), 1);
  EXPECT_TRUE(host_->errors[0].startsWith(QLatin1String("Download error:\n\n"))) << host_->errors[0].toStdString();
  EXPECT_GT(host_->errors[0].size(), 20);
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("b.png")), "older b");
  EXPECT_EQ(filesIn(target_), (QStringList{"a.jpg", "b.png"}));
  expectPanelShowsCurrent();
  EXPECT_EQ(folders_.current, source_);
  EXPECT_EQ(host_->busyDepth, 0);

  // A full disk: the first file fails with the cause, the older one stays.
  host_->eventsHook = nullptr;
  host_->pickAnswers = {source_, target_};
  host_->answers = {true, true};
  WriteText(target_ + QStringLiteral("a.jpg"), "older a");
  {
    FileSizeLimit full(16);
    commands_->mnufileDownloadDrive_Click();
  }
  ASSERT_EQ(host_->errors.size(), 2);
  EXPECT_TRUE(host_->errors[1].endsWith(QLatin1String(": File too large"))) << host_->errors[1].toStdString();
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("a.jpg")), "older a");
  EXPECT_EQ(filesIn(target_), (QStringList{"a.jpg", "b.png"}));
}

TEST_F(DownloadTest, EscStopsAfterTheFileBeingCopied) {
  host_->eventsHook = [this] {
    commands_->mnuFileDownloadCamera_Click();  // the window is live, but this waits its turn
    if (QFile::exists(target_ + QStringLiteral("a.jpg"))) host_->abort = true;
  };
  options_.camera = QStringLiteral("Canon");
  options_.cameraConnection = QStringLiteral("USB");
  host_->abort = true;  // an Esc from before the command does not count
  host_->pickAnswers = {source_, target_};
  host_->answers = {true};
  commands_->mnufileDownloadDrive_Click();
  EXPECT_EQ(filesIn(target_), QStringList{"a.jpg"});
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("a.jpg")), ReadBytes(source_ + QStringLiteral("a.jpg")));
  expectPanelShowsCurrent();
  EXPECT_EQ(folders_.current, target_);
  EXPECT_EQ(host_->lastPercent, 100);
  EXPECT_EQ(host_->picks.size(), 2);
}

TEST_F(DownloadTest, CameraPicturesComeOverWithTheirNamesIntoTheChosenFolder) {
  KeepCameraModulesLoaded();
  camera_ = folder(QStringLiteral("camera")).chopped(1);
  QDir().mkpath(camera_ + QStringLiteral("/DCIM/100CAM"));
  QDir().mkpath(camera_ + QStringLiteral("/DCIM/101CAM"));
  ASSERT_TRUE(WritePicture(camera_ + QStringLiteral("/DCIM/100CAM/IMG_1.jpg"), 10, 8));
  ASSERT_TRUE(WritePicture(camera_ + QStringLiteral("/DCIM/101CAM/IMG_1.jpg"), 8, 10));
  ASSERT_TRUE(WritePicture(camera_ + QStringLiteral("/DCIM/101CAM/IMG_2.jpg"), 8, 10));
  WriteText(target_ + QStringLiteral("IMG_2.jpg"), "older");
  options_.camera = QStringLiteral("Canon");
  options_.cameraConnection = QStringLiteral("USB");
  host_->pickAnswers = {target_};
  host_->answers = {false};
  commands_->mnuFileDownloadCamera_Click();

  EXPECT_EQ(connections_, QStringList{"USB"});
  EXPECT_TRUE(host_->errors.isEmpty()) << host_->errors.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(filesIn(target_), (QStringList{"IMG_1 (2).jpg", "IMG_1.jpg", "IMG_2.jpg"}));
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("IMG_1 (2).jpg")),
            ReadBytes(camera_ + QStringLiteral("/DCIM/101CAM/IMG_1.jpg")));
  EXPECT_EQ(ReadBytes(target_ + QStringLiteral("IMG_2.jpg")), "older");
  EXPECT_EQ(host_->questions,
            QStringList{"File <IMG_2.jpg> already exits on targer drive!\nDo you wish to overwrite it?"});
  EXPECT_EQ(host_->opened, QStringList{target_});
  expectPanelShowsCurrent();

  // No camera: the reason, and nothing shown.
  SetUp();
  camera_ = root_ + QStringLiteral("unplugged");
  options_.camera = QStringLiteral("Canon");
  options_.cameraConnection = QStringLiteral("USB");
  host_->pickAnswers = {target_};
  commands_->mnuFileDownloadCamera_Click();
  ASSERT_EQ(host_->errors.size(), 1);
  EXPECT_TRUE(host_->errors[0].startsWith(QLatin1String("Download error:\n\n")));
  EXPECT_TRUE(host_->opened.isEmpty());
  EXPECT_EQ(host_->busyDepth, 0);
}

}  // namespace
}  // namespace lumaset::test
