#include "acquire/email.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <utility>

#include "acquire/download.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/mail_sender.h"
#include "components/settings_store.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

const QString kAddCaption = QStringLiteral("Add to Email List");
const QString kAddedCaption = QStringLiteral("Added to Email List");
const QString kEmailCaption = QStringLiteral("Email Selected Photos");
const QString kSendFailed = QStringLiteral("Error emailing photo!\n\n");

// A typed or pasted line break would split the address in two.
QString WithoutLineBreaks(QString text) {
  text.removeIf([](QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
  });
  return text;
}

}  // namespace

void EmailList::toggle(const QString& file) {
  const qsizetype at = files_.indexOf(file);
  if (at < 0) {
    files_.append(file);
  } else {
    files_.removeAt(at);
  }
}

EmailMenuState FileMenuState(const EmailList& list, const std::optional<QString>& selectedFile,
                             bool genReduce) {
  EmailMenuState state;
  state.fileOptionsEnabled = selectedFile.has_value();
  state.emailEnabled = list.count() > 0;
  state.emailCaption =
      list.count() > 0 ? kEmailCaption + QStringLiteral(" (%1)").arg(list.count()) : kEmailCaption;
  state.reduceChecked = genReduce;
  state.addChecked = selectedFile && list.contains(*selectedFile);
  state.addCaption = state.addChecked ? kAddedCaption : kAddCaption;
  return state;
}

std::optional<int> ReducedSize(int width, int height, float limit) {
  if (static_cast<float>(width) <= limit && static_cast<float>(height) <= limit) return std::nullopt;
  const float size = width > height ? limit
                                    : static_cast<float>(width) / static_cast<float>(height) * limit;
  return std::max(1, static_cast<int>(std::nearbyint(size)));
}

void RemoveOldEmailCopies(const QString& copiesRoot, const QDateTime& before) {
  // Links are not followed: only what the program made here goes.
  const QFileInfoList folders =
      QDir(copiesRoot).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden);
  for (const QFileInfo& folder : folders) {
    if (folder.lastModified() < before) QDir(folder.filePath()).removeRecursively();
  }
}

EmailCommands::EmailCommands(EmailHost& host, EmailList& list, Options& options,
                             SettingsStore& settings, MailSender& mail, QString copiesRoot)
    : host_(host),
      list_(list),
      options_(options),
      settings_(settings),
      mail_(mail),
      copiesRoot_(std::move(copiesRoot)) {}

void EmailCommands::mnuFileOptionsEmail_Click(const QString& selectedFile) {
  if (!selectedFile.isEmpty()) list_.toggle(selectedFile);
}

void EmailCommands::mnuFileEmailClear_Click() { list_.clear(); }

void EmailCommands::mnuFileEmailReduce_Click() {
  options_.genReduce = !options_.genReduce;
  settings_.writeSetting(QStringLiteral("GenReduce"), FlagText(options_.genReduce));
}

void EmailCommands::mnuFileEmailSend_Click() {
  // The menu is off with nothing listed, but a command may come by other ways.
  if (list_.count() == 0) return;
  if (std::exchange(sending_, true)) return;
  Send();
  sending_ = false;
}

void EmailCommands::Send() {
  // A cancelled prompt still opens a message, without a recipient.
  address_ = WithoutLineBreaks(
      host_.AskAddress(QStringLiteral("Enter Email address or alias:"), address_).value_or(QString()));
  host_.SetBusy(true);
  host_.LetEventsRun();
  Status sent = Status::success();
  if (Result<QStringList> files = Gather(); !files) {
    sent = Error{files.error()};
  } else {
    // The mail program may stay until its message is sent; its failure comes later.
    const auto told = [alive = std::weak_ptr<bool>(alive_), &host = host_](const Status& ended) {
      if (!ended && !alive.expired()) host.ShowError(kSendFailed + ended.error());
    };
    sent = mail_.Send({address_, QLatin1String(kEmailSubject), QLatin1String(kEmailBody), *files}, told);
  }
  host_.SetBusy(false);
  if (!sent) host_.ShowError(kSendFailed + sent.error());
  host_.LetEventsRun();
  list_.clear();
}

Result<QStringList> EmailCommands::Gather() {
  if (!options_.genReduce) return list_.files();
  QStringList attached;
  QStringList takenNames;
  QString folder;  // this send's own, made for its first copy
  for (const QString& file : list_.files()) {
    Result<QString> copy = ReducedCopy(file, folder, takenNames);
    if (!copy) return Error{copy.error()};
    attached.append(*copy);
    host_.LetEventsRun();
  }
  return attached;
}

Result<QString> EmailCommands::NewCopiesFolder() {
  if (Status made = FileSystemUtility::MakePrivateFolder(copiesRoot_); !made) return Error{made.error()};
  QTemporaryDir folder(copiesRoot_ + QStringLiteral("send-XXXXXX"));
  if (!folder.isValid()) {
    return Error{QStringLiteral("No folder can be made in \"%1\": %2").arg(copiesRoot_, folder.errorString())};
  }
  folder.setAutoRemove(false);
  return folder.path() + QLatin1Char('/');
}

Result<QString> EmailCommands::ReducedCopy(const QString& file, QString& folder, QStringList& takenNames) {
  Imaging imaging;
  imaging.setJpegQuality(options_.jpegQuality);
  imaging.setJpegDpi(options_.jpegDpi);
  // The picture loads upright, so the copy, which carries no EXIF data,
  // stands the way the photo is seen.
  if (Status loaded = imaging.LoadFile(file); !loaded) return Error{loaded.error()};
  const std::optional<int> size =
      ReducedSize(imaging.PixelWidth(), imaging.PixelHeight(), options_.reduce);
  if (!size) return file;
  if (Status resized = imaging.ImgResize(*size); !resized) return Error{resized.error()};

  if (folder.isEmpty()) {
    Result<QString> made = NewCopiesFolder();
    if (!made) return Error{made.error()};
    folder = *made;
  }
  // Pictures of one name from different folders each keep a copy of their own.
  const QString name = UniqueName(FileSystemUtility::PathPart(file, false), takenNames);
  takenNames.append(name);
  const QString copy = folder + name;
  if (Status saved = imaging.SaveFile(copy); !saved) return Error{saved.error()};
  return copy;
}

}  // namespace lumaset
