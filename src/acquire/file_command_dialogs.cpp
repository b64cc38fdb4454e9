#include "acquire/file_command_dialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <utility>

namespace lumaset {

namespace {

// A screen reader names a box's field by the prompt's first line.
QString FirstLine(const QString& text) { return text.section(QLatin1Char('\n'), 0, 0); }

}  // namespace

FileCommandDialogs::FileCommandDialogs(QWidget* parent, QString title) : parent_(parent), title_(std::move(title)) {}

bool FileCommandDialogs::AskYesNo(const QString& question) const {
  return QMessageBox::question(parent_, title_, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

void FileCommandDialogs::ShowNotice(const QString& text) const { QMessageBox::information(parent_, title_, text); }

void FileCommandDialogs::ShowError(const QString& text) const { QMessageBox::warning(parent_, title_, text); }

std::optional<QString> FileCommandDialogs::AskText(const QString& prompt, const QString& defaultText) const {
  QInputDialog box(parent_);
  box.setWindowTitle(title_);
  box.setLabelText(prompt);
  box.setTextValue(defaultText);
  box.setInputMode(QInputDialog::TextInput);
  if (auto* field = box.findChild<QLineEdit*>()) field->setAccessibleName(FirstLine(prompt));
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

}  // namespace lumaset
