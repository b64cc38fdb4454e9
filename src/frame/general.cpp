#include "frame/general.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

namespace lumaset {

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

}  // namespace lumaset
