#include "components/default_editor.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "support/desktop_folders.h"
#include "support/test_support.h"

namespace lumaset {
namespace {


TEST(DefaultEditor, ExecLinesBecomeArgumentsWithoutAShell) {
  const QString file = QStringLiteral("/p/it's \"a\"; $HOME.jpg");
  const DesktopEntryFacts facts{QStringLiteral("Paint"), QStringLiteral("paint-icon"), QStringLiteral("/a/paint.desktop")};
  struct Case { const char* exec; QStringList expected; };
  const Case cases[] = {
      {"paint %f", {"paint", file}},
      {"paint %U", {"paint", "file:///p/it's%20%22a%22;%20$HOME.jpg"}},
      {"paint", {"paint", file}},
      {"\"/opt/My Paint/paint\" --open=%f", {"/opt/My Paint/paint", "--open=" + file}},
      {"paint \"a \\\"q\\\" \\$x \\\\ \\`\" %F", {"paint", "a \"q\" $x \\ `", file}},
      {"sh -c 'echo $1' %i %c %k 100%% %d %f", {"sh", "-c", "echo $1", "--icon", "paint-icon", "Paint",
                                             "/a/paint.desktop", "100%", file}},
      {"  paint\t%f  ", {"paint", file}},
      {"a\\ b %f", {"a b", file}},
  };
  for (const Case& c : cases) {
    const auto arguments = ExpandExecLine(QString::fromUtf8(c.exec), file, facts);
    ASSERT_TRUE(arguments.ok()) << c.exec << ": " << arguments.error().toStdString();
    EXPECT_EQ(*arguments, c.expected) << c.exec;
  }
  EXPECT_EQ(*ExpandExecLine("paint %i %f", "/x.jpg"), (QStringList{"paint", "/x.jpg"}));
  for (const char* bad : {"paint %z", "\"paint %f", "paint 'x", "", "  ", "paint %"})
    EXPECT_FALSE(ExpandExecLine(QString::fromUtf8(bad), file, facts).ok()) << bad;
}

TEST(DefaultEditor, FindsTheUsersChoiceAndRunsItToTheEnd) {
  test::HideSystemDesktopEntries();
  const QString data = qEnvironmentVariable("XDG_DATA_HOME");
  const QString folder = test::freshFolder("editor-find") + QLatin1Char('/');
  const QString script = folder + "edit.sh";
  ASSERT_TRUE(test::WriteText(script, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$(dirname \"$0\")/log\"\n"));
  QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  QDir().mkpath(data + "/applications");
  ASSERT_TRUE(test::WriteText(data + "/applications/lumaset-test-edit.desktop",
                              "[Desktop Entry]\nType=Application\nName=Test Edit\nExec=" + script.toUtf8() +
                                  " %f\n"));
  ASSERT_TRUE(test::WriteText(qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list",
                              "[Default Applications]\nimage/png=lumaset-test-edit.desktop\n"));
  const QString picture = folder + "a b;$c.png";
  ASSERT_TRUE(test::WritePicture(picture, 8, 8));

  const auto found = FindDefaultEditor(picture);
  ASSERT_TRUE(found.ok()) << found.error().toStdString();
  ASSERT_TRUE(found->has_value());
  ASSERT_TRUE(RunAndWait(**found).ok());
  EXPECT_EQ(test::ReadBytes(folder + "log"), "1\n" + picture.toUtf8() + "\n");

  ASSERT_TRUE(test::WriteText(folder + "plain.xyz-unknown", "?"));
  const auto none = FindDefaultEditor(folder + "plain.xyz-unknown");
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none->has_value());
  EXPECT_FALSE(RunAndWait({folder + "missing-program", {}, {}}).ok());
}

}  // namespace
}  // namespace lumaset
