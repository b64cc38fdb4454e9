#pragma once

// Whether a desktop entry's Exec line can take a file's name safely. GIO
// quotes the name for the shell's rules, pastes it in place of the field code
// (%f, %F, %u, %U) and then splits the line into words itself; that keeps a
// name whole only where the code stands alone as a word, and a shell that the
// line runs with -c reads its command text again, with GIO's quotes gone.
// What the line's first program does with its words is not known, so the
// rule holds whatever program stands in front.

#include <QString>

#include "components/result.h"

namespace lumaset {

// Fails, saying why, when a file code of the Exec line `exec` is quoted,
// escaped, joined to other text or in a comment, or stands where a shell
// reads commands: a shell started with -c, wherever it stands in the line
// (also named by a launcher's option, "flatpak run --command=sh APP -c"),
// takes a file only as an argument of its own after the command text, and
// the programs known to hand a string to a shell (script, su, runuser and
// flock with -c, sg, watch, ssh, tmux, parallel, sudo -s or -i, a terminal's
// -e) or to run one as code (python -c, perl -e, ruby -e, node -e, php -r,
// lua -e, awk) never take one as that string. A line whose `env -S` string
// takes a variable of the environment fails too: what it becomes is known
// only when it runs. Programs are known by name whatever their folder and a
// version, "-static" or ".distrib" after it (/bin/bash-static, python3.11,
// sh.distrib). A program the check does not know may still run its argument
// as a command.
Status CheckEditorCommand(const QString& exec);

}  // namespace lumaset
