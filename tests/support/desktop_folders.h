#pragma once

// Hides the system's desktop entries and mimeapps.list from a test, keeping
// its MIME database, so that only the test's own file associations count.
// Call before anything looks up a MIME type or an application.

#include <QFile>
#include <QString>

#include "support/test_support.h"

namespace lumaset::test {

inline void HideSystemDesktopEntries() {
  static const bool hidden = [] {
    const QString data = freshFolder(QStringLiteral("system-data"));
    QFile::link(QStringLiteral("/usr/share/mime"), data + QStringLiteral("/mime"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(freshFolder(QStringLiteral("system-config"))));
    return true;
  }();
  (void)hidden;
}

}  // namespace lumaset::test
