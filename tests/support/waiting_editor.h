#pragma once

// Makes a shell script the desktop's default editor for PNG pictures, in
// the private data and config folders, with the system's entries hidden.

#include <QDir>
#include <QFile>
#include <QString>

#include "support/desktop_folders.h"
#include "support/test_support.h"

namespace lumaset::test {

// How long an editor script may run: one that waits for a word nobody sends
// (a FIFO nobody opens) ends by itself then, rather than outliving its test
// and holding the runner's output open.
constexpr int kEditorSeconds = 15;

// Writes `script` with `body` (after its "#!/bin/sh" line), makes it
// executable and names it, through `entry`.desktop, the editor for PNG files.
inline bool InstallPngEditor(const QString& script, const QByteArray& body, const QString& entry) {
  HideSystemDesktopEntries();
  const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/");
  // The watch ends the script after kEditorSeconds, and goes when the script does.
  const QByteArray watch = "(sleep " + QByteArray::number(kEditorSeconds) +
                           "; kill $$) </dev/null >/dev/null 2>&1 &\n"
                           "watch=$!\ntrap 'kill $watch 2>/dev/null' EXIT\n";
  return WriteText(script, "#!/bin/sh\n" + watch + body) &&
         QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner) &&
         QDir().mkpath(applications) &&
         WriteText(applications + entry + QStringLiteral(".desktop"),
                   "[Desktop Entry]\nType=Application\nName=Edit\nExec=" + QFile::encodeName(script) + " %f\n") &&
         WriteText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"),
                   "[Default Applications]\nimage/png=" + entry.toUtf8() + ".desktop\n");
}

}  // namespace lumaset::test
