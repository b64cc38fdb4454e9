#pragma once

// Whether a desktop entry's Exec line can take a file's name safely. GIO
// quotes the name for the shell's rules, pastes it in place of the field code
// (%f, %F, %u, %U) and then splits the line into words itself; that keeps a
// name whole only where the code stands outside quotes, and a shell that the
// line runs with -c reads its command text again, with GIO's quotes gone.

#include <QString>

#include "components/result.h"

namespace lumaset {

// Fails, saying why, when the Exec line `exec` would not hand `path` (for %f
// and %F) or `uri` (for %u and %U) to the program as the word it is, or would
// put it where a shell reads commands: a shell started with -c takes a file
// only as an argument of its own after the command text.
Status CheckEditorCommand(const QString& exec, const QString& path, const QString& uri);

}  // namespace lumaset
