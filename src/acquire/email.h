#pragma once

// The e-mail list and sending: the cell menu's "Add to Email List" collects
// pictures of the thumbnail panel, File > "Email Selected Photos" sends them
// all in one new message of the user's mail program, as reduced JPEG copies
// when "Reduce Copy Size" is on. The mail program may read its attachments
// only when the message goes, so the reduced copies of each send stay in a
// private folder of their own until a later start finds them a day old.
//
// What the commands need of the main window goes through EmailHost.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "components/result.h"

class QDateTime;
class QWidget;

namespace lumaset {

class MailSender;
class SettingsStore;
struct Options;

inline constexpr auto kEmailSubject = "Photo(s) attached";
inline constexpr auto kEmailBody = "I hope you like the attached photo(s)!";

// `lstEmail`: the full paths chosen for e-mail, in the order they were added.
class EmailList {
 public:
  const QStringList& files() const { return files_; }
  int count() const { return static_cast<int>(files_.size()); }
  bool contains(const QString& file) const { return files_.contains(file); }  // exact
  // Adds `file` when it is not on the list, otherwise takes it off.
  void toggle(const QString& file);
  void clear() { files_.clear(); }

 private:
  QStringList files_;
};

// What the File menu shows when it opens.
struct EmailMenuState {
  bool fileOptionsEnabled = false;  // "&File Options": a thumbnail is selected
  bool emailEnabled = false;        // "Email Selected Photos"
  QString emailCaption;             // "Email Selected Photos" or "Email Selected Photos (3)"
  bool reduceChecked = false;       // "Reduce Copy Size"
  QString addCaption;               // "Add to Email List" or "Added to Email List"
  bool addChecked = false;
};
// `selectedFile` is the selected thumbnail's path, nullopt without a selection.
EmailMenuState FileMenuState(const EmailList& list, const std::optional<QString>& selectedFile,
                             bool genReduce);

// The longer side of a picture's reduced copy, or nullopt when it is small
// enough to go as it is: a picture wider than high takes `limit`, any other
// width / height x `limit`, rounded to a whole number (halves to even).
std::optional<int> ReducedSize(int width, int height, float limit);

class EmailHost {
 public:
  virtual ~EmailHost() = default;
  // The address prompt with its default text; nullopt when it was cancelled.
  virtual std::optional<QString> AskAddress(const QString& prompt, const QString& current) = 0;
  // A failure's message box, exclamation icon, titled with the application's title.
  virtual void ShowError(const QString& text) = 0;
  // The hourglass and the thumbnail, printer and page panels disabled, or back.
  virtual void SetBusy(bool busy) = 0;
  // Lets pending window events run once.
  virtual void LetEventsRun() = 0;
};

// Removes the folders of reduced copies in `copiesRoot` last changed before `before`.
void RemoveOldEmailCopies(const QString& copiesRoot, const QDateTime& before);

class EmailCommands {
 public:
  // `copiesRoot` is the private folder, ending in "/", that holds one folder
  // of reduced copies per send; both are made when needed.
  EmailCommands(EmailHost& host, EmailList& list, Options& options, SettingsStore& settings,
                MailSender& mail, QString copiesRoot);

  // "Add to Email List" of the cell menu and of File > File Options, for the
  // selected thumbnail's file.
  void mnuFileOptionsEmail_Click(const QString& selectedFile);
  // "Clear Selections".
  void mnuFileEmailClear_Click();
  // "Reduce Copy Size": turns reducing over and stores "GenReduce" at once.
  void mnuFileEmailReduce_Click();
  // "Compose and Send..."; does nothing with an empty list or while a send
  // is under way. It returns once the mail program has started.
  void mnuFileEmailSend_Click();

  // `EmailAddress`: the address typed at the last send.
  const QString& address() const { return address_; }

 private:
  void Send();
  // The files to attach, reduced copies in place of large pictures.
  Result<QStringList> Gather();
  Result<QString> ReducedCopy(const QString& file, QString& folder, QStringList& takenNames);
  Result<QString> NewCopiesFolder();

  EmailHost& host_;
  EmailList& list_;
  Options& options_;
  SettingsStore& settings_;
  MailSender& mail_;
  QString copiesRoot_;
  QString address_;
  bool sending_ = false;
  // A mail program may end after these commands are gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumaset
