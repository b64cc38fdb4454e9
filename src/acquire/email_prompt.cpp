#include <QInputDialog>
#include <QLineEdit>

#include "acquire/email.h"

namespace lumaset {

std::optional<QString> AskEmailAddress(QWidget* owner, const QString& title, const QString& prompt,
                                       const QString& current) {
  QInputDialog box(owner);
  box.setWindowTitle(title);
  box.setLabelText(prompt);
  box.setTextValue(current);
  box.setAccessibleName(prompt);
  if (auto* field = box.findChild<QLineEdit*>()) field->setAccessibleName(prompt);
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

}  // namespace lumaset
