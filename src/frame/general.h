#pragma once

// Procedures that any window may call.

class QWidget;

namespace lumaset {

// Closes every other top-level window of the program.
void UnloadAllForms(const QWidget* except);

// Selects the whole text of the focused text box, if a text box has the focus.
void SelectAllText();

}  // namespace lumaset
