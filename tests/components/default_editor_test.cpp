#include "components/default_editor.h"
#include "components/editor_command.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "support/desktop_folders.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// The default editors are a script that notes the one argument it received,
// in the folder that the entry names as its working folder. Real entries
// hand the file to it through `sh -c`: inside the shell's command text in
// double quotes (JPEG), single quotes (PNG) or escaped blanks (TIFF), which
// a shell would read as commands, or as an argument of its own after the
// command text (BMP).
TEST(DefaultEditor, FileNamesReachTheEditorWholeAndNeverAShell) {
  test::HideSystemDesktopEntries();
  const QString folder = test::freshFolder(QStringLiteral("editor")) + QLatin1Char('/');
  const QByteArray script = QFile::encodeName(folder + QStringLiteral("edit.sh"));
  ASSERT_TRUE(test::WriteText(script, "#!/bin/sh\nprintf '%s' \"$1\" > received\n"));
  QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/");
  ASSERT_TRUE(QDir().mkpath(applications));
  const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Edit\nPath=" + QFile::encodeName(folder);
  ASSERT_TRUE(test::WriteText(applications + "double.desktop", entry + "\nExec=sh -c \"" + script + " %f\"\n"));
  ASSERT_TRUE(test::WriteText(applications + "single.desktop", entry + "\nExec=sh -c '" + script + " %f'\n"));
  ASSERT_TRUE(test::WriteText(applications + "blanks.desktop", entry + "\nExec=sh -c " + script + "\\\\ %f\n"));
  // Escaped quotes and "%%" inside the command leave the real file code outside it.
  ASSERT_TRUE(test::WriteText(applications + "outside.desktop",
                              entry + "\nExec=sh -c \"\\\\\"$0\\\\\" \\\\\"$1\\\\\" # 50%%f \\\\\"\" " + script + " %f\n"));
  ASSERT_TRUE(test::WriteText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"),
                              "[Default Applications]\nimage/jpeg=double.desktop\nimage/png=single.desktop\n"
                              "image/tiff=blanks.desktop\nimage/bmp=outside.desktop\n"));

  struct Case { const char* name; bool started; };
  const Case cases[] = {
      {"holiday;touch INJECTED;.jpg", false},
      {"Ferien_2024-07.jpg", false},
      {"h;touch${IFS}INJECTED;.png", false},
      {"Ferien_2024-07.png", false},
      {"a;touch INJECTED;.tiff", false},
      {"say \"cheese\"; touch INJECTED.bmp", true},
      {"it's $(touch INJECTED) `touch INJECTED`\n.bmp", true},
  };
  for (const Case& c : cases) {
    const QString photo = folder + QString::fromUtf8(c.name);
    ASSERT_TRUE(test::WritePicture(photo, 8, 8, QFileInfo(photo).suffix().toLatin1().constData()));
    const auto found = FindDefaultEditor(photo);
    ASSERT_TRUE(found.ok() && found->has_value()) << c.name;
    EXPECT_EQ(RunAndWait(**found).ok(), c.started) << c.name;
    EXPECT_EQ(test::ReadBytes(folder + QStringLiteral("received")).toStdString(),
              c.started ? QFile::encodeName(photo).toStdString() : "(none)");
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("INJECTED"))) << c.name;
    QFile::remove(folder + QStringLiteral("received"));
    QFile::remove(folder + QStringLiteral("INJECTED"));
  }

  ASSERT_TRUE(test::WriteText(folder + QStringLiteral("notes.txt"), "plain words\n"));
  const auto none = FindDefaultEditor(folder + QStringLiteral("notes.txt"));
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none->has_value());
  EXPECT_FALSE(RunAndWait({folder + QStringLiteral("missing.desktop"), folder + QStringLiteral("notes.txt")}).ok());
}

// Which Exec lines may take which names: a file code inside quotes only where
// GIO's quotes keep that name whole, and never inside a shell's command text.
TEST(DefaultEditor, ExecLinesThatWouldSplitANameOrHandItToAShellAreRefused) {
  struct Case { const char* exec; const char* name; bool ok; };
  const Case cases[] = {
      {"sh -c \"edit %f\"", "plain.jpg", false},
      {"sh -c 'edit %f'", "plain.jpg", false},
      {"sh -c edit\\ %f\\ >>log", "a;b.jpg", false},
      {"bash -ec edit\\ %u", "plain.jpg", false},
      {"busybox sh -c \"edit %F\"", "plain.jpg", false},
      {"sh -c %f", "plain.jpg", false},
      {"s\\h -c \"edit %f\"", "plain.jpg", false},
      {"sh -c 'edit \"$1\"' sh \\%f", "plain.jpg", false},
      {"sh -c 'edit \"$1\"' sh x%f", "plain.jpg", false},
      {"sh -o errexit -c 'edit \"$1\"' sh %f", "a;b.jpg", true},
      {"/usr/bin/env LANG=C dash -c 'edit \"$1\"' dash %U", "it's $(x).jpg", true},
      {"sh %f", "a;b.jpg", true},
      {"edit -c %f", "a;b.jpg", true},
      {"edit --file=%f", "it's $(x) `y`.jpg", true},
      {"edit '%f'", "Ferien_2024-07.jpg", true},
      {"edit '%f'", "a;b.jpg", false},
      {"edit 'x' %f # sh -c", "a;b.jpg", true},
      {"edit '%u'", "a;b.jpg", false},
      {"edit \"%f\"", "it's a;b.jpg", true},
      {"edit \"%U\"", "back\\slash.jpg", true},
      {"edit \"%f\"", "back\\slash.jpg", false},
  };
  for (const Case& c : cases) {
    const QString path = QStringLiteral("/photos/") + QString::fromUtf8(c.name);
    const QString uri = QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    EXPECT_EQ(CheckEditorCommand(QString::fromUtf8(c.exec), path, uri).ok(), c.ok) << c.exec << " " << c.name;
  }
}

}  // namespace
}  // namespace lumaset
