#pragma once

// The message and input boxes of the file commands, as a host hands them
// out: each titled with the application's title and owned by `parent`.

#include <QString>

#include <optional>

class QWidget;

namespace lumaset {

class FileCommandDialogs {
 public:
  FileCommandDialogs(QWidget* parent, QString title);

  bool AskYesNo(const QString& question) const;         // question icon, Yes and No
  void ShowNotice(const QString& text) const;           // information icon
  void ShowError(const QString& text) const;            // exclamation icon
  // An input box with `prompt` and `defaultText`; nullopt on Cancel.
  std::optional<QString> AskText(const QString& prompt, const QString& defaultText) const;

 private:
  QWidget* parent_;
  QString title_;
};

}  // namespace lumaset
