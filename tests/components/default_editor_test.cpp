#include <glib.h>

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
  // A shell behind a wrapper reads its command text all the same.
  ASSERT_TRUE(test::WriteText(applications + "wrapped.desktop",
                              entry + "\nExec=/usr/bin/nice sh -c \"eval " + script + " %f\"\n"));
  ASSERT_TRUE(test::WriteText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"),
                              "[Default Applications]\nimage/jpeg=double.desktop\nimage/png=single.desktop\n"
                              "image/tiff=blanks.desktop\nimage/bmp=outside.desktop\n"
                              "image/x-portable-pixmap=wrapped.desktop\n"));

  struct Case { const char* name; bool started; };
  const Case cases[] = {
      {"holiday;touch INJECTED;.jpg", false},
      {"Ferien_2024-07.jpg", false},
      {"h;touch${IFS}INJECTED;.png", false},
      {"Ferien_2024-07.png", false},
      {"a;touch INJECTED;.tiff", false},
      {"b$(touch INJECTED).ppm", false},
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

// The words GIO gives the program for `exec`: each file code replaced by
// the quoted name, then the line split as a shell would.
QStringList ExpandedWords(const QByteArray& exec, const QByteArray& path, const QByteArray& uri) {
  QByteArray line;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const char code = i + 1 < exec.size() && exec[i] == '%' ? exec[i + 1] : 0;
    if (code == 0) {
      line += exec[i];
      continue;
    }
    ++i;
    gchar* quoted = g_shell_quote(code == 'f' || code == 'F' ? path.constData() : uri.constData());
    line += code == '%' ? QByteArray("%") : QByteArray(quoted);
    g_free(quoted);
  }
  gchar** argv = nullptr;
  QStringList words;
  if (g_shell_parse_argv(line.constData(), nullptr, &argv, nullptr)) {
    for (gchar** word = argv; *word; ++word) words << QString::fromUtf8(*word);
  }
  g_strfreev(argv);
  return words;
}

// A file's field code is taken only as a whole argument of its own, and
// never as a shell's command text, whatever program the line starts and
// whatever the name holds.
TEST(DefaultEditor, ExecLinesThatWouldSplitANameOrHandItToAShellAreRefused) {
  const char* const names[] = {"plain.jpg", "a;id>PWNED1;.jpg", "b$(touch PWNED2).jpg", "c`id`.jpg",
                               "it's \"odd\".jpg", "two\nlines.jpg"};
  const char* const refused[] = {
      // Quoted, escaped, joined to other text or in a comment, before any program.
      "sh -c \"edit %f\"", "sh -c 'edit %f'", "sh -c edit\\ %f\\ >>log", "s\\h -c \"edit %f\"",
      "nice sh -c \"sh -c '/opt/show.sh %f'\"", "nice sh -c \"eval /opt/show.sh %f\"",
      "env -S \"sh -c '/opt/show.sh %f'\"", "edit '%f'", "edit \"%U\"", "edit --file=%f", "edit x%f",
      "edit \\%f", "edit %f%F", "edit # %f", "sh -c 'edit \"$1\"' sh \\%f",
      // Whole, but a shell's command text, however the shell is reached.
      "sh -c %f", "bash -ec %u", "busybox sh -c %F", "nice sh -c %f", "nice -n 5 /bin/sh -c %f",
      "nohup dash -c %f", "setsid -f sh -c %f", "timeout 30 sh -c %f", "stdbuf -oL sh -c %f",
      "xterm -e sh -c %f", "xterm -e 'sh -c' %f", "env -S 'sh -c' %f", "env -S'sh -c' %f",
      "env -u DISPLAY sh -c %f", "/usr/bin/bash -o pipefail -c %f", "nice bash -o pipefail -c -- %f",
      // Shells by other names and programs that run a string as a shell's commands.
      "rbash -c %f", "/bin/rbash -c %f", "pwsh -Command %f", "fish --command %f", "fish -C %f",
      "script -q -c %f /dev/null", "script -qc %f", "script --command %f", "xterm -e %f", "konsole -e %f",
      "xfce4-terminal --command %f", "flock /tmp/lock -c %f", "su -c %f", "su nobody --session-command %f",
      "runuser -u nobody -c %f", "watch %f", "watch -n 5 edit %f", "ssh host %f", "ssh -t host edit %f",
      // env -S's own escapes, quotes and combined options.
      "env -S'sh\\_-c' %f", "env -vS'sh -c' %f", "env -iS 'sh -c' %f", "env -S\"'sh' -c\" %f",
      // Shells by their packages' other names, and interpreters handed code.
      "/bin/bash-static -c %f", "zsh-static -c %f", "python3 -c %f", "/usr/bin/python3.11 -c %f", "perl -ne %f",
      "ruby -e %f", "nodejs --eval %f", "php -r %f", "lua5.4 -e %f", "awk %f", "tmux new-session %f",
      "env --split-string='sh\\_-c' %f",
      // A variable that env -S takes from the environment, programs that hand
      // their arguments to a shell, and shells named by a launcher or a diversion.
      "env -S'${SHELL} -c' %f", "env -S '$SHELL -c' %f", "env -i --split-string='${X}' %f", "sg root -c %f",
      "env --s='${SHELL} -c' %f", "env --split '${SHELL} -c' %f", "env -S'${SHELL}\n-c' %f",
      "sg users %f", "sudo -s %f", "sudo -i %f", "sudo -u nobody -Es edit %f", "sudo --login %f",
      "flatpak run --command=sh org.example.App -c %f", "flatpak run --command sh --branch stable org.example.App -c %f",
      "parallel %f", "parallel -j1 edit ::: x %f", "sem --id edit %f", "sh.distrib -c %f", "/bin/sh.distrib -c %f", "fish --init-command %f"};
  for (const char* exec : refused) EXPECT_FALSE(CheckEditorCommand(QString::fromUtf8(exec)).ok()) << exec;
  // Whole, and an argument of its own after any command text: every name
  // reaches the program as one word.
  const char* const allowed[] = {
      "edit %f", "nice -n 5 edit %F", "sh -o errexit -c 'edit \"$1\"' sh %f",
      "nice sh -c 'edit \"$1\"' sh %f", "xterm -e sh -c 'edit \"$0\"' %f",
      "env -u DISPLAY /usr/bin/bash -o pipefail -c 'edit \"$1\"' bash %U",
      "/usr/bin/env LANG=C dash -c 'edit \"$1\"' dash %U", "timeout 30 stdbuf -oL edit -c %f",
      "edit 'x' %f # sh -c", "edit # note\n%f", "edit --name=50%% %f", "xterm -e edit %f",
      "flock /tmp/lock edit %f", "python3 /opt/edit.py %f", "perl /opt/edit.pl -e utf8 x %f", "fish --command 'edit $argv' %f", "env -vS'edit -c' %f",
      "sudo -u nobody edit %f", "flatpak run org.example.App %f",
      "flatpak run --command=sh org.example.App -c 'edit \"$0\"' %f", "env HOME=/tmp sh -c 'edit \"${1}\"' sh %f", "edit -S '$HOME' %f"};
  for (const char* exec : allowed) {
    EXPECT_TRUE(CheckEditorCommand(QString::fromUtf8(exec)).ok()) << exec;
    for (const char* name : names) {
      const QByteArray path = QByteArray("/photos/") + name;
      const QByteArray uri = QUrl::fromLocalFile(QString::fromUtf8(path)).toEncoded();
      const QStringList words = ExpandedWords(exec, path, uri);
      EXPECT_TRUE(words.contains(QString::fromUtf8(path)) || words.contains(QString::fromLatin1(uri)))
          << exec << " | " << name;
    }
  }
}

}  // namespace
}  // namespace lumaset
