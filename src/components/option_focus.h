#pragma once
// A set of options (radio buttons, one of them chosen) as the keyboard
// reaches it: Tab stops once, on the chosen option, so that Space there
// changes nothing; the arrow keys move between the options.

#include <QList>

class QAbstractButton;

namespace lumaset {

// Gives Tab to the chosen one of `options` (to the first while none is
// chosen) and keeps it there as the choice changes.
void KeepTabOnChoice(const QList<QAbstractButton*>& options);

}  // namespace lumaset
