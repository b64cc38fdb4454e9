#include "components/option_focus.h"

#include <QAbstractButton>
#include <QPointer>

namespace lumaset {

void KeepTabOnChoice(const QList<QAbstractButton*>& options) {
  QList<QPointer<QAbstractButton>> kept(options.begin(), options.end());
  const auto follow = [kept] {
    QAbstractButton* stop = nullptr;
    for (QAbstractButton* option : kept) {
      if (option && (option->isChecked() || !stop)) stop = option;
      if (stop && stop->isChecked()) break;
    }
    for (QAbstractButton* option : kept) {
      if (option) option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  };
  follow();
  for (QAbstractButton* option : options) QObject::connect(option, &QAbstractButton::toggled, option, follow);
}

}  // namespace lumaset
