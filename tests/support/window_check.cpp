#include "support/window_check.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

#include "frame/fit_text.h"
#include "support/accessibility.h"

namespace lumaset::test {
namespace {

QString Describe(const QWidget* widget) {
  return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()),
                                        widget->objectName());
}

// The controls a user sees under `root`, parts of composite controls aside.
QList<QWidget*> Controls(const QWidget* root) {
  QList<QWidget*> shown;
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    // Other windows under `root` (a splash, a hidden dialog) are checked on their own.
    if (widget->isVisibleTo(root) && widget->window() == root->window() && !IsPartOfAnother(widget, root))
      shown.append(widget);
  }
  return shown;
}

QString PlainText(const QLabel* label) {
  const QString text = label->text();
  if (label->textFormat() == Qt::RichText ||
      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
  }
  return text;
}

// The text's extent as the control draws it, mnemonic marks left out.
QSize TextSize(const QWidget* widget, const QString& text) {
  return widget->fontMetrics().size(Qt::TextShowMnemonic, text);
}

QString TooWide(const QWidget* widget, const QString& text, int room) {
  return Describe(widget) + QStringLiteral(" cuts \"%1\": it needs %2 pixels and has %3")
                                .arg(text)
                                .arg(TextSize(widget, text).width())
                                .arg(room);
}

void CheckLabel(const QLabel* label, QStringList& problems) {
  const QString text = PlainText(label);
  if (text.isEmpty()) return;
  const int margin = label->margin();
  const QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
  if (label->wordWrap()) {
    if (label->heightForWidth(label->width()) > label->height())
      problems << Describe(label) + QStringLiteral(" cuts the last lines of \"%1\"").arg(text);
    return;
  }
  const QSize needed = label->fontMetrics().size(label->buddy() ? Qt::TextShowMnemonic : 0, text);
  if (needed.width() > room.width()) problems << TooWide(label, text, room.width());
  else if (needed.height() > room.height())
    problems << Describe(label) + QStringLiteral(" cuts \"%1\" top or bottom").arg(text);
}

void CheckButton(const QAbstractButton* button, QStringList& problems) {
  const QString text = button->text();
  if (text.isEmpty()) return;
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = text;
  option.icon = button->icon();
  option.iconSize = button->iconSize();
  QStyle::SubElement element = QStyle::SE_PushButtonContents;
  int besides = option.icon.isNull() ? 0 : option.iconSize.width() + 4;
  if (qobject_cast<const QCheckBox*>(button)) {
    element = QStyle::SE_CheckBoxContents;
  } else if (qobject_cast<const QRadioButton*>(button)) {
    element = QStyle::SE_RadioButtonContents;
  } else if (const auto* tool = qobject_cast<const QToolButton*>(button)) {
    // Icon buttons say their text to screen readers only.
    if (tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull()) return;
    if (tool->arrowType() != Qt::NoArrow) return;
    besides = 0;
  }
  const int room = button->style()->subElementRect(element, &option, button).width() - besides;
  if (TextSize(button, text).width() > room) problems << TooWide(button, text, room);
}

void CheckGroupBox(const QGroupBox* box, QStringList& problems) {
  if (box->title().isEmpty()) return;
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.lineWidth = 1;
  option.textAlignment = box->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  if (box->isCheckable()) option.subControls |= QStyle::SC_GroupBoxCheckBox;
  const QRect label =
      box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
  if (!box->rect().contains(label)) problems << TooWide(box, box->title(), box->width());
}

void CheckComboBox(const QComboBox* combo, QStringList& problems) {
  QStyleOptionComboBox option;
  option.initFrom(combo);
  option.editable = combo->isEditable();
  option.frame = combo->hasFrame();
  option.subControls = QStyle::SC_All;
  const QRect field =
      combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
  for (int i = 0; i < combo->count(); ++i) {
    const QString text = combo->itemText(i);
    const int room = field.width() - (combo->itemIcon(i).isNull() ? 0 : combo->iconSize().width() + 4);
    if (TextSize(combo, text).width() > room) {
      problems << TooWide(combo, text, room);
      return;
    }
  }
}

void CheckLineEdit(const QLineEdit* edit, QStringList& problems) {
  const QString text = edit->displayText();
  if (text.isEmpty()) return;
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
  const QMargins margins = edit->textMargins();
  // The edit keeps two pixels free on either side of its text.
  const int room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() -
                   margins.left() - margins.right() - 4;
  if (edit->fontMetrics().horizontalAdvance(text) > room) problems << TooWide(edit, text, room);
}

// What a user reads or operates; pictures, frames and containers may overlap.
bool TakesPart(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return !label->text().isEmpty();
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
         qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QGroupBox*>(widget) ||
         qobject_cast<const QAbstractItemView*>(widget);
}

void CheckOverlaps(const QList<QWidget*>& controls, QStringList& problems) {
  for (qsizetype i = 0; i < controls.size(); ++i) {
    const QWidget* one = controls[i];
    if (!TakesPart(one)) continue;
    for (qsizetype j = i + 1; j < controls.size(); ++j) {
      const QWidget* other = controls[j];
      if (other->parentWidget() != one->parentWidget() || !TakesPart(other)) continue;
      if (one->geometry().intersects(other->geometry()))
        problems << Describe(one) + QStringLiteral(" overlaps ") + Describe(other);
    }
  }
}

// What a user reads, operates or looks at: a picture too.
bool IsSeen(const QWidget* widget) {
  const auto* label = qobject_cast<const QLabel*>(widget);
  return TakesPart(widget) || (label && !label->pixmap().isNull());
}

// The part of `widget` its window shows, in the widget's own coordinates:
// each container clips what it holds. What a scroll area holds is reached
// by scrolling and counts as shown.
QRect ShownPart(const QWidget* widget) {
  QRect shown = widget->rect();
  QPoint offset;
  for (const QWidget* inner = widget; !inner->isWindow(); inner = inner->parentWidget()) {
    const QWidget* outer = inner->parentWidget();
    if (outer->objectName() == QLatin1String("qt_scrollarea_viewport")) break;
    offset += inner->pos();
    shown &= outer->rect().translated(-offset);
  }
  return shown;
}

void CheckInside(const QWidget* widget, QStringList& problems) {
  const QRect shown = ShownPart(widget);
  if (shown == widget->rect()) return;
  const QString part =
      shown.isEmpty() ? QStringLiteral("none") : QStringLiteral("%1 x %2").arg(shown.width()).arg(shown.height());
  problems << Describe(widget) + QStringLiteral(" lies outside its window: %1 of its %2 x %3 pixels are shown")
                                     .arg(part)
                                     .arg(widget->width())
                                     .arg(widget->height());
}

// A control placed by hand moves, when texts grow, only by as much as the
// controls left of it or above it grew or stood over it, and a few pixels
// kept between them.
// One moved further was pushed away from its neighbours.
void CheckPlace(const QWidget* widget, QStringList& problems) {
  constexpr int kKept = 4;
  const QVariant designed = widget->property(kDesignedGeometry);
  if (!designed.isValid()) return;
  const QRect from = designed.toRect();
  QPoint room;
  for (const QWidget* other : widget->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QVariant given = other->property(kDesignedGeometry);
    if (other == widget || other->isHidden() || !given.isValid()) continue;
    // A control placed over this one pushes it out from under itself.
    const QRect place = given.toRect();
    const QRect under = place & from;
    if (place.left() < from.left()) room.rx() += std::max(0, other->width() - place.width()) + kKept + under.width();
    if (place.top() < from.top()) room.ry() += std::max(0, other->height() - place.height()) + kKept + under.height();
  }
  const QPoint moved = widget->pos() - from.topLeft();
  if (moved.x() > room.x() || moved.y() > room.y())
    problems << Describe(widget) + QStringLiteral(" is pushed %1, %2 pixels from its place, further than its "
                                                  "neighbours grew (%3, %4)")
                                       .arg(moved.x())
                                       .arg(moved.y())
                                       .arg(room.x())
                                       .arg(room.y());
}

bool IsInput(const QWidget* widget) {
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
         qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
         qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
         qobject_cast<const QTabBar*>(widget);
}

// ---------------------------------------------------------------- toggles

// Everything a toggle could change: each control's and action's state.
QStringList Snapshot(const QWidget* root, const std::function<QStringList()>& state) {
  QStringList lines;
  for (const QWidget* widget : root->findChildren<QWidget*>()) {
    QString line = Describe(widget) + (widget->isEnabled() ? QStringLiteral(" enabled") : QStringLiteral(" disabled")) +
                   (widget->isVisibleTo(root) ? QStringLiteral(" shown") : QStringLiteral(" hidden"));
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
      line += QStringLiteral(" checked=%1 \"%2\"").arg(int(button->isChecked())).arg(button->text());
    if (const auto* label = qobject_cast<const QLabel*>(widget)) line += QStringLiteral(" \"%1\"").arg(label->text());
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(widget))
      line += QStringLiteral(" value=%1").arg(slider->value());
    lines << line;
  }
  for (const QAction* action : root->findChildren<QAction*>()) {
    if (action->objectName().isEmpty()) continue;
    lines << QStringLiteral("action \"%1\" enabled=%2 checked=%3")
                 .arg(action->objectName())
                 .arg(int(action->isEnabled()))
                 .arg(int(action->isChecked()));
  }
  if (state) lines << state();
  return lines;
}

QString Difference(const QStringList& fromCode, const QStringList& fromClick) {
  for (qsizetype i = 0; i < std::min(fromCode.size(), fromClick.size()); ++i) {
    if (fromCode[i] != fromClick[i])
      return QStringLiteral("from code: %1; clicked: %2").arg(fromCode[i], fromClick[i]);
  }
  return fromCode.size() == fromClick.size() ? QString() : QStringLiteral("windows differ");
}

// The button of `button`'s exclusive set that is checked, when another is.
QAbstractButton* CheckedPartner(const QAbstractButton* button) {
  if (QButtonGroup* group = button->group()) return group->checkedButton();
  if (!button->autoExclusive() || !button->parentWidget()) return nullptr;
  for (QAbstractButton* other : button->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
    if (other != button && other->autoExclusive() && other->isChecked()) return other;
  }
  return nullptr;
}

bool Exclusive(const QAbstractButton* button) {
  return button->group() ? button->group()->exclusive() : button->autoExclusive();
}

void CheckToggle(QWidget* root, QAbstractButton* button, const std::function<QStringList()>& state,
                 QStringList& problems) {
  const bool exclusive = Exclusive(button);
  if (exclusive && button->isChecked()) return;  // a chosen option is left by choosing another
  QAbstractButton* partner = exclusive ? CheckedPartner(button) : nullptr;
  const bool was = button->isChecked();
  const auto restore = [&] {
    if (partner) partner->setChecked(true);
    else button->setChecked(was);
  };
  button->setChecked(!was);
  const QStringList fromCode = Snapshot(root, state);
  restore();
  button->click();
  const QStringList fromClick = Snapshot(root, state);
  restore();
  if (const QString differs = Difference(fromCode, fromClick); !differs.isEmpty())
    problems << Describe(button) + QStringLiteral(" toggled from code acts otherwise than a click: ") + differs;
}

void CheckToggle(QWidget* root, QAction* action, const std::function<QStringList()>& state,
                 QStringList& problems) {
  const bool was = action->isChecked();
  action->setChecked(!was);
  const QStringList fromCode = Snapshot(root, state);
  action->setChecked(was);
  action->trigger();
  const QStringList fromClick = Snapshot(root, state);
  action->setChecked(was);
  if (const QString differs = Difference(fromCode, fromClick); !differs.isEmpty())
    problems << QStringLiteral("action \"%1\" toggled from code acts otherwise than a click: %2")
                    .arg(action->objectName(), differs);
}

}  // namespace

QStringList FitProblems(const QWidget* root) {
  QStringList problems;
  const QList<QWidget*> controls = Controls(root);
  for (const QWidget* widget : controls) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) CheckLabel(label, problems);
    else if (widget->property(kShortensText).toBool()) continue;  // a path shows shortened or scrolls
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) CheckButton(button, problems);
    else if (const auto* box = qobject_cast<const QGroupBox*>(widget)) CheckGroupBox(box, problems);
    else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) CheckComboBox(combo, problems);
    else if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) CheckLineEdit(edit, problems);
  }
  CheckOverlaps(controls, problems);
  for (const QWidget* widget : controls) {
    if (!IsSeen(widget)) continue;
    CheckInside(widget, problems);
    CheckPlace(widget, problems);
  }
  return problems;
}

namespace {

// A button of a group where one choice holds is reached as radio buttons
// are: Tab stops at the group once, and the arrow keys move the choice.
bool GroupTakesFocus(const QWidget* widget) {
  const auto* button = qobject_cast<const QAbstractButton*>(widget);
  if (!button || !Exclusive(button)) return false;
  QList<QAbstractButton*> members;
  if (button->group()) members = button->group()->buttons();
  else if (button->parentWidget())
    members = button->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  return std::any_of(members.begin(), members.end(), [](const QAbstractButton* member) {
    return Exclusive(member) && member->isEnabled() && (member->focusPolicy() & Qt::TabFocus);
  });
}

}  // namespace

QStringList FocusProblems(const QWidget* root) {
  QStringList problems;
  for (const QWidget* widget : Controls(root)) {
    if (!IsInput(widget) || !widget->isEnabled()) continue;
    // Toolbar buttons repeat menu commands, which the keyboard reaches through the menu bar.
    if (qobject_cast<const QToolBar*>(widget->parentWidget())) continue;
    if (!(widget->focusPolicy() & Qt::TabFocus) && !GroupTakesFocus(widget))
      problems << Describe(widget) + QStringLiteral(" takes no keyboard focus");
    // Tab into a set of options lands on the chosen one, where Space changes nothing.
    const auto* option = qobject_cast<const QAbstractButton*>(widget);
    if (option && option->isCheckable() && !option->isChecked() && Exclusive(option) &&
        (option->focusPolicy() & Qt::TabFocus) && CheckedPartner(option))
      problems << Describe(widget) + QStringLiteral(" takes Tab while ") + Describe(CheckedPartner(option)) +
                      QStringLiteral(" is the chosen option");
  }
  return problems;
}

QStringList ToggleProblems(QWidget* root, const std::function<QStringList()>& state) {
  QStringList problems;
  // Actions first: the window's own options (turning its page, say) may
  // switch off the commands they stand for.
  for (QAction* action : root->findChildren<QAction*>()) {
    if (action->isCheckable() && action->isEnabled() && !action->objectName().isEmpty())
      CheckToggle(root, action, state, problems);
  }
  for (QWidget* widget : Controls(root)) {
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button && button->isCheckable() && button->isEnabled()) CheckToggle(root, button, state, problems);
  }
  return problems;
}

}  // namespace lumaset::test
