#include "acquire/email.h"

#include <QDir>
#include <QFile>

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

EmailCommands::EmailCommands(EmailHost& host, EmailList& list, Options& options,
                             SettingsStore& settings, MailSender& mail, QString copiesFolder)
    : host_(host),
      list_(list),
      options_(options),
      settings_(settings),
      mail_(mail),
      copiesFolder_(std::move(copiesFolder)) {}

void EmailCommands::mnuFileOptionsEmail_Click(const QString& selectedFile) {
  if (!selectedFile.isEmpty()) list_.toggle(selectedFile);
}

void EmailCommands::mnuFileEmailClear_Click() { list_.clear(); }

void EmailCommands::mnuFileEmailReduce_Click() {
  options_.genReduce = !options_.genReduce;
  settings_.writeSetting(QStringLiteral("GenReduce"), FlagText(options_.genReduce));
}

void EmailCommands::mnuFileEmailSend_Click() {
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
  // The copies of the last send have served their message by now; the mail
  // program may read a file only when the message goes, so they stay until here.
  DiscardCopies();
  Status sent = Status::success();
  if (Result<QStringList> files = Gather(); !files) {
    sent = Error{files.error()};
  } else {
    sent = mail_.Send({address_, QLatin1String(kEmailSubject), QLatin1String(kEmailBody), *files});
  }
  host_.SetBusy(false);
  if (!sent) host_.ShowError(QStringLiteral("Error emailing photo!\n\n") + sent.error());
  host_.LetEventsRun();
  list_.clear();
}

void EmailCommands::DiscardCopies() {
  if (!copiesFolder_.isEmpty()) QDir(copiesFolder_).removeRecursively();
}

Result<QStringList> EmailCommands::Gather() {
  if (!options_.genReduce) return list_.files();
  QStringList attached;
  QStringList takenNames;
  for (const QString& file : list_.files()) {
    Result<QString> copy = ReducedCopy(file, takenNames);
    if (!copy) return Error{copy.error()};
    attached.append(*copy);
    host_.LetEventsRun();
  }
  return attached;
}

Result<QString> EmailCommands::ReducedCopy(const QString& file, QStringList& takenNames) {
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

  if (Status made = FileSystemUtility::MakePrivateFolder(copiesFolder_); !made) return Error{made.error()};
  // Pictures of one name from different folders each keep a copy of their own.
  const QString name = UniqueName(FileSystemUtility::PathPart(file, false), takenNames);
  takenNames.append(name);
  const QString copy = copiesFolder_ + name;
  if (Status saved = imaging.SaveFile(copy); !saved) return Error{saved.error()};
  return copy;
}

}  // namespace lumaset
