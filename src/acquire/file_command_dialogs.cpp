#include "acquire/file_command_dialogs.h"

#include <QMessageBox>

#include <utility>

#include "frame/general.h"

namespace lumaset {

FileCommandDialogs::FileCommandDialogs(QWidget* parent, QString title) : parent_(parent), title_(std::move(title)) {}

bool FileCommandDialogs::AskYesNo(const QString& question) const {
  return QMessageBox::question(parent_, title_, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

void FileCommandDialogs::ShowNotice(const QString& text) const { QMessageBox::information(parent_, title_, text); }

void FileCommandDialogs::ShowError(const QString& text) const { QMessageBox::warning(parent_, title_, text); }

std::optional<QString> FileCommandDialogs::AskText(const QString& prompt, const QString& defaultText) const {
  return InputBox(parent_, title_, prompt, defaultText);
}

}  // namespace lumaset
