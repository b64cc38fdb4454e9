#pragma once

// Procedures that any window may call.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace lumaset {

// Closes every other top-level window of the program.
void UnloadAllForms(const QWidget* except);

// An input box titled `title` over `parent`, offering `preset`; nullopt when
// it was cancelled. A screen reader names the box and its field by the
// prompt's first line.
std::optional<QString> InputBox(QWidget* parent, const QString& title, const QString& prompt,
                                const QString& preset = {});

// Selects the whole text of the focused text box, if a text box has the focus.
void SelectAllText();

// The desktop's system-information programs, in the order they are tried.
QStringList SystemInfoPrograms();

// Finds a program on the search path (empty when it is not there), and
// starts one with an argument list (false when it cannot be started).
using ProgramFinder = std::function<QString(const QString& name)>;
using ProgramStarter = std::function<bool(const QString& program, const QStringList& arguments)>;

// Starts the first system-information program found on the search path;
// false when none is found or it would not start.
bool StartSystemInfo(const ProgramFinder& find = {}, const ProgramStarter& start = {});

}  // namespace lumaset
