#include "components/default_editor.h"

#include <gtest/gtest.h>

namespace lumaset {
namespace {

TEST(DefaultEditor, ExecLinesBecomeArgumentsWithoutAShell) {
  const QString file = QStringLiteral("/p/it's \"a\"; $HOME.jpg");
  const DesktopEntryFacts facts{QStringLiteral("Paint"), QStringLiteral("paint-icon"),
                                QStringLiteral("/a/paint.desktop")};
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

}  // namespace
}  // namespace lumaset
