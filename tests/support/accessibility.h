#pragma once

#include <QStringList>

class QWidget;

namespace lumaset::test {

// What a screen reader would get wrong under `root` (a window or dialog; it
// need not be shown): one line for each visible control that has no
// accessible name, and one for each label whose name is not its visible
// text. Empty when every control says what it is.
QStringList AccessibilityProblems(const QWidget* root);

}  // namespace lumaset::test
