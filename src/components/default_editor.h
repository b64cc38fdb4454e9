#pragma once

// The desktop's default application for a file, as the file manager would
// choose it: the file's MIME type from its content and name, then the
// application that the user's and the system's mimeapps.list give that type
// (through GIO). Its desktop entry's Exec line becomes an argument list; no
// shell ever sees the file's name, so blanks, quotes, ";" or "$" in it are
// only characters of that one argument.

#include <QString>
#include <QStringList>

#include <optional>

#include "components/result.h"

namespace lumaset {

// One program to start: what it is, its arguments, and where it starts ("" for here).
struct DesktopLaunch {
  QString program;
  QStringList arguments;
  QString workingFolder;
};

// What a desktop entry's Exec line may refer to besides the file.
struct DesktopEntryFacts {
  QString name;       // %c
  QString icon;       // %i gives "--icon" and this
  QString entryFile;  // %k
};

// Splits an Exec value (already read as a desktop-file string) into
// arguments by the desktop entry rules: blanks separate, double quotes group
// and within them a backslash takes "\"", "`", "$" and "\\" literally;
// outside quotes a backslash takes the next character and single quotes
// group literally. The field codes become: %f and %F the file's path, %u and
// %U its file: URL, %i "--icon" and the icon (nothing without one), %c the
// name, %k the entry's file, %% a "%"; the old codes %d %D %n %N %v %m
// vanish. A line without a file code gets the path as its last argument.
// An unknown code, an open quote or no program at all is an error.
Result<QStringList> ExpandExecLine(const QString& exec, const QString& file, const DesktopEntryFacts& facts = {});

// The launch of the default application for `file`; nullopt when no
// application is registered for its type.
Result<std::optional<DesktopLaunch>> FindDefaultEditor(const QString& file);

// Starts `launch` once and lets window events run (so windows keep painting)
// until it has ended; never waits by blocking. An error when it cannot be started.
Status RunAndWait(const DesktopLaunch& launch);

}  // namespace lumaset
