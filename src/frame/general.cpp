#include "frame/general.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include "frame/fit_text.h"

namespace lumaset {

std::optional<QString> InputBox(QWidget* parent, const QString& title, const QString& prompt,
                                const QString& preset) {
  QInputDialog box(parent);
  box.setWindowTitle(title);
  box.setInputMode(QInputDialog::TextInput);
  box.setLabelText(prompt);
  // A prompt naming a folder wraps, and a long path in it is shortened.
  if (auto* label = box.findChild<QLabel*>()) SetTextShortened(label, prompt);
  box.setTextValue(preset);
  const QString name = prompt.section(QLatin1Char('\n'), 0, 0);
  box.setAccessibleName(name);
  if (auto* field = box.findChild<QLineEdit*>()) {
    field->setAccessibleName(name);
    field->setProperty(kShortensText, true);  // a long name scrolls
  }
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

void UnloadAllForms(const QWidget* except) {
  // Closing one window may close or delete others: hold them by QPointer.
  QList<QPointer<QWidget>> windows;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != except && window->isVisible()) windows.append(window);
  }
  for (const QPointer<QWidget>& window : windows) {
    if (window) window->close();
  }
}

void SelectAllText() {
  if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget())) edit->selectAll();
}

QStringList SystemInfoPrograms() {
  return {QStringLiteral("gnome-system-monitor"), QStringLiteral("kinfocenter"), QStringLiteral("hardinfo")};
}

bool StartSystemInfo(const ProgramFinder& find, const ProgramStarter& start) {
  for (const QString& name : SystemInfoPrograms()) {
    const QString program = find ? find(name) : QStandardPaths::findExecutable(name);
    if (program.isEmpty()) continue;
    return start ? start(program, {}) : QProcess::startDetached(program, {});
  }
  return false;
}

}  // namespace lumaset
