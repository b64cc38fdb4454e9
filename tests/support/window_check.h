#pragma once

#include <QStringList>

#include <functional>

class QWidget;

namespace lumaset::test {

// Checks that any window or dialog must pass, each giving one line per fault
// under `root` (empty when there is none). Only controls visible under
// `root` count; the parts a composite control is made of (the edit of a spin
// box, the scroll bars of a list) are judged through the control itself.

// Texts wider than their control: labels, buttons, check boxes, radio
// buttons, group box titles, every item of a combo box and a line edit's
// content, each measured with the control's own font against the room its
// style leaves for text. Also two visible sibling controls that overlap, a
// control or picture that its window shows only in part, and one that
// fitting the texts pushed further than the controls before it grew.
QStringList FitProblems(const QWidget* root);

// Enabled input controls (buttons, boxes, edits, lists, sliders, scroll
// bars) that Tab cannot reach, and options that Tab reaches beside the
// chosen one of their set.
QStringList FocusProblems(const QWidget* root);

// Checkable controls and checkable actions whose toggle from code (what a
// screen reader's toggle does) leaves the window otherwise than a click on
// them does. `state` adds what the window does not show by itself, such as
// the program's settings in memory. Each control is put back as it was.
QStringList ToggleProblems(QWidget* root, const std::function<QStringList()>& state = {});

}  // namespace lumaset::test
