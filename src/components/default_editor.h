#pragma once

// The desktop's default application for a file, as the file manager would
// choose it: the file's MIME type from its content and name, then the
// application that the user's and the system's mimeapps.list give that type.
// GIO finds it and starts it: its launcher quotes the file's name wherever
// the desktop entry's Exec line puts it. A line where that quoting would not
// keep the name whole, or would hand it to a shell as commands, is refused
// (components/editor_command.h), so blanks, quotes, ";" or "$" in a name
// never reach a shell as syntax.

#include <QString>

#include <optional>

#include "components/result.h"

namespace lumaset {

// One application to start on one file.
struct DesktopLaunch {
  QString entry;  // the application's desktop entry file
  QString file;
};

// The default application for `file`; nullopt when no application is
// registered for its type.
Result<std::optional<DesktopLaunch>> FindDefaultEditor(const QString& file);

// Starts the application on the file and lets window events run (so windows
// keep painting) until the process it started has ended; never waits by
// blocking and never ends that process. An application that the desktop
// starts for itself (over D-Bus) leaves no process to wait for: it returns
// once the application was asked to start. An error when it cannot be started.
Status RunAndWait(const DesktopLaunch& launch);

}  // namespace lumaset
