#include "support/accessibility.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QTextDocument>
#include <QWidget>

namespace lumaset::test {
namespace {

// The roles of what a user reads or operates; containers and decoration are
// left out.
bool IsControl(QAccessible::Role role) {
  switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::ScrollBar:
    case QAccessible::SpinBox:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::StaticText:
    case QAccessible::Graphic:
    case QAccessible::ProgressBar:
    case QAccessible::PageTabList:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Dial:
      return true;
    default:
      return false;
  }
}

// A label's text as it is read: markup and mnemonic marks removed.
QString ReadText(const QLabel* label) {
  QString text = label->text();
  if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
    QTextDocument document;
    document.setHtml(text);
    text = document.toPlainText();
  }
  QString read;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    read += text[i];
  }
  return read;
}

QString Describe(const QWidget* widget) {
  return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()),
                                        widget->objectName());
}

}  // namespace

// Parts that a composite control is made of (the line edit of a spin box,
// the scroll bars of a scroll area) are announced through the control itself.
bool IsPartOfAnother(const QWidget* widget, const QWidget* root) {
  if (widget->objectName().startsWith(QLatin1String("qt_"))) return true;
  for (const QWidget* up = widget->parentWidget(); up && up != root; up = up->parentWidget()) {
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up)) return true;
    if (up->objectName().startsWith(QLatin1String("qt_scrollarea_")) &&
        up->objectName() != QLatin1String("qt_scrollarea_viewport"))
      return true;
  }
  return false;
}

QStringList AccessibilityProblems(const QWidget* root) {
  QStringList problems;
  // Controls side by side that a screen reader calls alike cannot be told apart.
  QHash<QPair<const QWidget*, QString>, const QWidget*> spoken;
  if (root->isWindow()) {
    const QAccessibleInterface* face = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(root));
    const QAccessible::Role role = face ? face->role() : QAccessible::NoRole;
    if (role != QAccessible::Window && role != QAccessible::Dialog && role != QAccessible::AlertMessage)
      problems << Describe(root) + QStringLiteral(" is not announced as a window");
  }
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  for (const QWidget* widget : widgets) {
    if (!widget->isVisibleTo(root) || IsPartOfAnother(widget, root)) continue;
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(widget));
    if (!face || !IsControl(face->role())) continue;
    const QString name = face->text(QAccessible::Name);
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label && !label->text().isEmpty()) {
      if (name != ReadText(label))
        problems << Describe(widget) + QStringLiteral(" is announced as \"%1\" but shows \"%2\"").arg(name, label->text());
      continue;
    }
    // A label that shows nothing says nothing; one that shows a picture must.
    if (label && label->pixmap().isNull() && label->movie() == nullptr) continue;
    if (name.trimmed().isEmpty()) {
      problems << Describe(widget) + QStringLiteral(" has no name");
    } else if (!label) {
      const QWidget*& first = spoken[{widget->parentWidget(), name}];
      if (first)
        problems << Describe(widget) + QStringLiteral(" is called \"%1\" as ").arg(name) + Describe(first) +
                        QStringLiteral(" is");
      else
        first = widget;
    }
  }
  return problems;
}

}  // namespace lumaset::test
