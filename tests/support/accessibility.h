#pragma once

#include <QStringList>

class QWidget;

namespace lumaset::test {

// What a screen reader would get wrong under `root` (a window or dialog; it
// need not be shown): one line when a window is not announced as one, one
// line for each visible control that has no
// accessible name, and one for each label whose name is not its visible
// text, and one for each control called as a control beside it is. Empty
// when every control says what it is.
QStringList AccessibilityProblems(const QWidget* root);

// Whether `widget` is a part that a composite control under `root` is made
// of (the line edit of a spin box, the scroll bars of a scroll area): such
// parts are announced and judged through the control itself.
bool IsPartOfAnother(const QWidget* widget, const QWidget* root);

}  // namespace lumaset::test
