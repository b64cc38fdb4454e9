#pragma once

// A scripted host for the file commands, the program's state around them with
// a real thumbnail panel, and a small file system of their own for the tests
// that need a full or a read-only disk.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <deque>
#include <functional>
#include <optional>

#include <sys/mount.h>

#include "acquire/file_command_host.h"
#include "acquire/file_commands.h"
#include "browser/thumbnail_area.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/settings_store.h"
#include "frame/settings.h"
#include "frame/working_folders.h"
#include "support/test_support.h"
#include "support/user_namespace.h"

namespace lumaset::test {

class FakeFileHost : public FileCommandHost {
 public:
  bool AskYesNo(const QString& question) override {
    questions << question;
    EXPECT_FALSE(answers.empty()) << "unexpected question: " << question.toStdString();
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void ShowNotice(const QString& text) override { notices << text; }
  void ShowError(const QString& text) override { errors << text; }
  std::optional<QString> AskText(const QString& prompt, const QString& defaultText) override {
    prompts << prompt;
    defaults << defaultText;
    EXPECT_FALSE(texts.empty()) << "unexpected prompt: " << prompt.toStdString();
    if (texts.empty()) return std::nullopt;
    auto text = texts.front();
    texts.pop_front();
    return text;
  }
  void PlayPrompt() override { ++promptSounds; }
  bool PickFolder(FolderPickMode mode) override {
    picked.push_back(mode);
    return pick ? pick(mode) : false;
  }
  void SetFolderCaption(const QString& text) override { folderCaption = text; }
  void SetPanelCaption(const QString& text) override { panelCaption = text; }
  void SetFolderTools(bool hasPictures) override { folderTools = hasPictures; }
  void RebuildTree(const QString& navigateTo) override { treeRebuilds << navigateTo; }
  void ReopenCurrentFolder() override {
    ++reopened;
    if (reopen) reopen();
  }
  void SetBusy(bool on) override { busy.push_back(on); }
  void SetTurning(bool on) override { turning.push_back(on); }
  bool RunWithProgress(const std::function<void()>& work) override {
    work();
    if (whileProgressShows) whileProgressShows();
    return cancelProgress;
  }
  bool ShowProgress(int percent, const QString& workText) override {
    progress.push_back(percent);
    if (percent == 0) progressTexts << workText;
    if (onProgress) onProgress(percent);
    return cancelProgress;
  }

  std::deque<bool> answers;
  std::deque<std::optional<QString>> texts;
  std::function<bool(FolderPickMode)> pick;
  std::function<void()> whileProgressShows;  // what another program does meanwhile
  std::function<void(int)> onProgress;       // what the user does as the progress window shows a percentage
  std::function<void()> reopen;
  bool cancelProgress = false;

  QStringList questions, notices, errors, prompts, defaults, treeRebuilds, progressTexts;
  std::vector<FolderPickMode> picked;
  std::vector<bool> busy, turning;
  std::vector<int> progress;
  QString folderCaption, panelCaption;
  bool folderTools = true;
  int promptSounds = 0;
  int reopened = 0;
};

// A tmpfs of `kilobytes`, read-only when asked; unmounted at the end. An
// ordinary user may not mount one: the test then runs again, alone, in a
// user namespace where it may (and only skips where the kernel refuses it).
class SmallDisk {
 public:
  SmallDisk(const QString& name, int kilobytes, bool readOnly) : folder_(freshFolder(name) + QLatin1Char('/')) {
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    mounted_ = ::mount("tmpfs", QFile::encodeName(folder_).constData(), "tmpfs", readOnly ? MS_RDONLY : 0,
                       options.constData()) == 0;
    if (!mounted_ && errno == EPERM) RerunThisTestInUserNamespace();
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const QString& folder() const { return folder_; }

 private:
  QString folder_;
  bool mounted_ = false;
};

class FileCommandsTest : public ::testing::Test {
 protected:
  // Opens `folder` (ending with "/") in the panel as the current folder.
  void Open(const QString& folder) {
    folders_.current = folder;
    ASSERT_GE(panel_.ThumbNailAndWait(folder, false), 0);
  }
  void Select(int index) { panel_.ThumbNailSelect(index, true); }
  const ThumbTable& table() const { return panel_.table(); }
  QStringList Files() const {
    QStringList files;
    for (int i = 0; i < table().ThumbCount(); ++i) files << table().ThumbFiles(i);
    return files;
  }
  int IndexOf(const QString& file) const { return static_cast<int>(Files().indexOf(file)); }
  // A folder below the test's home holding `pictures`, each 64 x 48.
  static QString FolderWith(const QString& name, const QStringList& pictures) {
    const QString folder = freshFolder(name) + QLatin1Char('/');
    for (const QString& picture : pictures) EXPECT_TRUE(WritePicture(folder + picture, 64, 48));
    return folder;
  }
  static QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
  // Nothing here writes GIF: a 1 x 1 picture by hand.
  static QByteArray TinyGif() {
    return QByteArray("GIF89a\x01\0\x01\0\x80\0\0\xff\xff\xff\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02" "D\x01\0;", 35);
  }
  static QString Trash() { return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files/"); }

  ThumbnailPanel panel_;
  WorkingFolders folders_;
  Options options_;
  SettingsStore settings_{QStringLiteral("Lumaset"), freshFolder(QStringLiteral("settings")) + "/Lumaset.conf"};
  Imaging imaging_;
  FakeFileHost host_;
  FileCommands commands_{{panel_, folders_, options_, settings_, imaging_}, host_};
};

}  // namespace lumaset::test
