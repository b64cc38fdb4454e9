#include "acquire/file_command_dialogs.h"

#include <QMessageBox>

#include <utility>

#include "frame/about_box.h"
#include "frame/general.h"

namespace lumaset {

FileCommandDialogs::FileCommandDialogs(QWidget* parent, QString title) : parent_(parent), title_(std::move(title)) {}

bool FileCommandDialogs::AskYesNo(const QString& question) const {
  return ShowMessageBox(parent_, QMessageBox::Question, title_, question, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void FileCommandDialogs::ShowNotice(const QString& text) const {
  ShowMessageBox(parent_, QMessageBox::Information, title_, text, QMessageBox::Ok);
}

void FileCommandDialogs::ShowError(const QString& text) const {
  ShowMessageBox(parent_, QMessageBox::Warning, title_, text, QMessageBox::Ok);
}

std::optional<QString> FileCommandDialogs::AskText(const QString& prompt, const QString& defaultText) const {
  return InputBox(parent_, title_, prompt, defaultText);
}

}  // namespace lumaset
