#include "components/default_editor.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/desktop_folders.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// The default editors hand the file to a script through `sh -c`, with the
// file code inside the shell's command, as real entries do: in double quotes
// for JPEG, in single quotes for PNG, outside them for BMP. The script notes the one argument it
// received, in the folder that the entry names as its working folder.
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
  // Escaped quotes and "%%" inside the command leave the real file code outside quotes.
  ASSERT_TRUE(test::WriteText(applications + "outside.desktop",
                              entry + "\nExec=sh -c \"\\\\\"$0\\\\\" \\\\\"$1\\\\\" # 50%%f \\\\\"\" " + script + " %f\n"));
  ASSERT_TRUE(test::WriteText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"),
                              "[Default Applications]\nimage/jpeg=double.desktop\nimage/png=single.desktop\n"
                              "image/bmp=outside.desktop\n"));

  struct Case { const char* name; bool started; };
  const Case cases[] = {
      {"holiday;touch INJECTED;.jpg", true},
      {"it's $(touch INJECTED) `touch INJECTED`.jpg", true},
      {"a  b | touch INJECTED & .jpg", true},
      {"say \"cheese\".jpg", false},  // double quotes would lose it
      {"back\\slash.jpg", false},
      {"h;touch${IFS}INJECTED;.png", false},  // single quotes leave it to the shell
      {"Ferien_2024-07.png", true},
      {"say \"cheese\"; touch INJECTED.bmp", true},
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

}  // namespace
}  // namespace lumaset
