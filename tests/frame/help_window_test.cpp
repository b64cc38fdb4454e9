#include "frame/help_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QLineEdit>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QScreen>

#include <algorithm>
#include <vector>

#include "support/accessibility.h"
#include "support/private_desktop.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

const QString kShippedBook = QStringLiteral(LUMASET_HELP_SOURCE_DIR);

// A small book: a contents page, one more page and the given index.
QString makeBook(const QString& name, const QByteArray& index) {
  const QString folder = test::freshFolder(name);
  test::WriteText(folder + "/index.html", "<html><body>Contents</body></html>");
  test::WriteText(folder + "/a.html", "<html><body><h2 id=\"copy\">Copy</h2></body></html>");
  test::WriteText(folder + "/keywords.txt", index);
  return folder;
}

QString fileOf(const QUrl& url) { return QFileInfo(url.toLocalFile()).fileName(); }

QString readAll(const QString& path) { return QString::fromUtf8(test::ReadBytes(path)); }

TEST(HelpBook, ResolvesKeywordsByTheirBeginningAndExactWordsFirst) {
  const auto book = HelpBook::load(makeBook("book", "# comment\n\n@19 = a.html#copy\n"
                                                    "Copy = a.html#copy\nCopy File = a.html#file\n"
                                                    "Paste = a.html\n"));
  ASSERT_TRUE(book.ok()) << book.error().toStdString();
  EXPECT_EQ(book->keywords(), QStringList({"Copy", "Copy File", "Paste"}));
  EXPECT_EQ(fileOf(book->contentsUrl()), "index.html");

  const struct { const char* partial; const char* fragment; } found[] = {
      {"copy", "copy"}, {"  COPY ", "copy"}, {"copy f", "file"}, {"pa", ""}};
  for (const auto& c : found) {
    const auto url = book->keywordUrl(c.partial);
    ASSERT_TRUE(url.has_value()) << c.partial;
    EXPECT_EQ(url->fragment(), c.fragment) << c.partial;
  }
  for (const char* unknown : {"zebra", "", "   ", "copyx"}) EXPECT_FALSE(book->keywordUrl(unknown)) << unknown;
  EXPECT_EQ(book->contextUrl(19)->fragment(), "copy");
  EXPECT_FALSE(book->contextUrl(20));
}

TEST(HelpBook, RefusesMissingOrDamagedBooksWithAReason) {
  const QString missing = test::freshFolder("missing") + "/nowhere";
  const QString noContents = test::freshFolder("no-contents");
  test::WriteText(noContents + "/keywords.txt", "Copy = a.html\n");
  const QString noIndex = makeBook("no-index", "");
  QFile::remove(noIndex + "/keywords.txt");

  const std::vector<QString> folders = {
      "", missing, noContents, noIndex,
      makeBook("no-equals", "Copy a.html\n"),
      makeBook("bad-topic", "@x = a.html\n"),
      makeBook("twice", "Copy = a.html\ncopy = index.html\n"),
      makeBook("topic-twice", "@1 = a.html\n@1 = index.html\n"),
      makeBook("outside", "Copy = ../secret.html\n"),
      makeBook("absolute", "Copy = /etc/passwd\n"),
      makeBook("web", "Copy = http://example.com/\n"),
  };
  for (const QString& folder : folders) {
    const auto book = HelpBook::load(folder);
    EXPECT_FALSE(book.ok()) << folder.toStdString();
    EXPECT_FALSE(book.error().isEmpty()) << folder.toStdString();
  }
}

// The dialogs' topics lead to their pages; every page and anchor that the
// index or a link names must exist, and every page must be reachable from the contents.
TEST(ShippedHelpBook, AnswersTheTopicsAndHasNoBrokenLinksOrLostPages) {
  const auto book = HelpBook::load(kShippedBook);
  ASSERT_TRUE(book.ok()) << book.error().toStdString();
  EXPECT_EQ(fileOf(*book->contextUrl(19)), "effects.html");
  EXPECT_EQ(fileOf(*book->keywordUrl("crop")), "arranging.html");
  const QDir dir(kShippedBook);
  const QRegularExpression link(R"re((?:href|src)="([^"]+)")re");
  const QRegularExpression scheme(R"(^[a-z]+:)");

  const auto expectTarget = [&](const QString& from, const QString& target) {
    const QString page = target.section('#', 0, 0);
    const QString anchor = target.section('#', 1);
    const QString path = page.isEmpty() ? dir.filePath(from) : dir.filePath(page);
    ASSERT_TRUE(QFileInfo(path).isFile()) << from.toStdString() << " -> " << target.toStdString();
    if (!anchor.isEmpty()) {
      EXPECT_TRUE(readAll(path).contains(QString("id=\"%1\"").arg(anchor)))
          << from.toStdString() << " -> " << target.toStdString();
    }
  };

  for (const QString& keyword : book->keywords()) {
    const QUrl url = *book->keywordUrl(keyword);
    const QString fragment = url.hasFragment() ? "#" + url.fragment() : QString();
    expectTarget("keywords.txt", dir.relativeFilePath(url.toLocalFile()) + fragment);
  }
  QStringList linkedFromContents;
  for (const QString& name : dir.entryList({"*.html"}, QDir::Files)) {
    const QString html = readAll(dir.filePath(name));
    EXPECT_TRUE(html.contains("<title>Lumaset Help")) << name.toStdString();
    // The help window reads a linked stylesheet only when its type is given.
    EXPECT_TRUE(html.contains(R"(<link rel="stylesheet" type="text/css" href="style.css">)"))
        << name.toStdString();
    for (auto match = link.globalMatch(html); match.hasNext();) {
      const QString target = match.next().captured(1);
      if (scheme.match(target).hasMatch()) continue;  // a web link leaves the book
      expectTarget(name, target);
      if (name == "index.html") linkedFromContents << target.section('#', 0, 0);
    }
  }
  for (const QString& name : dir.entryList({"*.html"}, QDir::Files))
    EXPECT_TRUE(name == "index.html" || linkedFromContents.contains(name)) << name.toStdString();
}

TEST(HelpService, OpensAtContentsAndTopicsKeepsHistoryAndQuitCloses) {
  std::vector<QString> messages;
  HelpService help(kShippedBook, nullptr);
  help.setMessageSink([&](QMessageBox::Icon, const QString& text) { messages.push_back(text); });

  help.show(HelpCommand::Quit, 0);  // before help was ever opened
  help.show(HelpCommand::Contents, 0);
  HelpWindow* window = help.window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(test::AccessibilityProblems(window), QStringList());
  EXPECT_EQ(fileOf(window->currentPage()), "index.html");

  help.show(HelpCommand::Context, 21);
  EXPECT_EQ(help.window(), window);
  EXPECT_EQ(fileOf(window->currentPage()), "preferences.html");
  const auto buttons = window->findChildren<QToolButton*>();
  const auto back = std::find_if(buttons.begin(), buttons.end(), [](auto* button) { return button->text() == "Back"; });
  ASSERT_NE(back, buttons.end());
  (*back)->click();
  EXPECT_EQ(fileOf(window->currentPage()), "index.html");

  help.show(HelpCommand::Context, 999);
  EXPECT_EQ(fileOf(window->currentPage()), "index.html");
  EXPECT_FALSE(window->notice().isEmpty()) << "an unknown topic is noticed";
  help.show(HelpCommand::PartialKey, 0);
  EXPECT_FALSE(window->showKeyword("qwertz"));
  EXPECT_TRUE(window->showKeyword("Undo"));
  EXPECT_EQ(window->currentPage().fragment(), "undo");

  help.show(HelpCommand::Quit, 0);
  ASSERT_TRUE(help.window() == nullptr);
  EXPECT_TRUE(messages.empty());
}

// The Help buttons sit in modal dialogs, which would block a help window of
// its own; the help must stay usable there and outlive the dialog.
TEST(HelpService, HelpFromAModalDialogIsUsableAndOutlivesIt) {
  HelpService help(kShippedBook, nullptr);
  auto* dialog = new QDialog;
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->show();
  ASSERT_EQ(QApplication::activeModalWidget(), dialog);

  help.show(HelpCommand::Context, 19);
  HelpWindow* window = help.window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(fileOf(window->currentPage()), "effects.html");
  // A click that reaches it as the user's would: a window the dialog blocks drops it.
  const auto clickContents = [window] {
    QToolButton* contents = nullptr;
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->text() == QLatin1String("Contents")) contents = button;
    ASSERT_NE(contents, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << "the help window shown";
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, contents->mapTo(window, contents->rect().center()));
  };
  clickContents();
  EXPECT_EQ(fileOf(window->currentPage()), "index.html") << "the help window took the click";

  dialog->hide();
  delete dialog;
  ASSERT_EQ(help.window(), window);
  EXPECT_TRUE(window->isVisible());
  window->showContext(19);
  clickContents();
  EXPECT_EQ(fileOf(window->currentPage()), "index.html") << "the help window still takes a click";
}

TEST(HelpService, TheWindowIsAnnouncedAsAWindowAndEscClosesIt) {
  HelpService help(kShippedBook, nullptr);
  help.show(HelpCommand::Contents, 0);
  const QPointer<HelpWindow> window = help.window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(test::AccessibilityProblems(window), QStringList());

  // From the page, where the keyboard is while reading.
  auto* page = window->findChild<QTextBrowser*>();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(window->isVisible());
  page->setFocus();
  QTest::keyClick(page, Qt::Key_Escape);
  EXPECT_TRUE(window.isNull() || !window->isVisible());

  // From the keyword field, where the search puts the keyboard, with the
  // list of keywords that it opened there, and again without the list.
  for (const bool list : {true, false}) {
    help.show(HelpCommand::PartialKey, 0);
    const QPointer<HelpWindow> search = help.window();
    ASSERT_NE(search, nullptr);
    auto* field = search->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setFocus();
    // The list opens once the window is active.
    ASSERT_TRUE(test::RunUntil([] { return QApplication::activePopupWidget() != nullptr; })) << "the keyword list";
    QWidget* popup = QApplication::activePopupWidget();
    if (!list) popup->hide();
    QTest::keyClick(list ? popup : static_cast<QWidget*>(field), Qt::Key_Escape);
    EXPECT_TRUE(search.isNull() || !search->isVisible()) << "list " << list;
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  }
}

// On a desktop with a window manager, help from a dialog's Help button comes
// with its title bar on the screen, as from the Help menu; the keyword
// search takes the keyboard in the help window and is heard there.
TEST(HelpService, UnderAWindowManagerHelpIsPlacedOnTheScreenAndTheSearchHeard) {
  LUMASET_RUN_ON_PRIVATE_DESKTOP();
  QWidget program;
  auto* tree = new QTreeView(&program);
  program.resize(600, 400);
  program.show();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&program)) << "the program's window framed";
  program.activateWindow();
  tree->setFocus();
  ASSERT_TRUE(test::RunUntil([&] { return QApplication::focusWidget() == tree; })) << "the tree focused";

  HelpService help(kShippedBook, &program);
  {
    QDialog dialog(&program);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    help.show(HelpCommand::Context, 19);
    ASSERT_NE(help.window(), nullptr);
    ASSERT_TRUE(test::WaitUntilFramedAndSettled(help.window())) << "the help window framed";
    const QRect screen = help.window()->screen()->availableGeometry();
    const QRect frame = test::FrameOnTheServer(help.window());
    EXPECT_TRUE(screen.contains(frame)) << ::testing::PrintToString(frame);
  }
  help.show(HelpCommand::Quit, 0);

  // Help already open from the Help menu stays where it stands when a
  // dialog's Help is pressed, and when that dialog closes.
  help.show(HelpCommand::Contents, 0);
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(help.window())) << "the help window framed";
  const QRect frame = test::FrameOnTheServer(help.window());
  {
    QDialog dialog(&program);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.resize(300, 200);  // as small as an effect dialog
    dialog.show();
    ASSERT_TRUE(test::WaitUntilFramedAndSettled(&dialog)) << "the dialog framed";
    help.show(HelpCommand::Context, 19);
    ASSERT_TRUE(test::WaitUntilFramedAndSettled(help.window())) << "the help window still after the dialog's Help";
    EXPECT_EQ(test::FrameOnTheServer(help.window()), frame);
  }
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(help.window())) << "the help window still once the dialog closed";
  EXPECT_EQ(test::FrameOnTheServer(help.window()), frame);
  help.show(HelpCommand::Quit, 0);
  program.activateWindow();
  tree->setFocus();
  ASSERT_TRUE(test::RunUntil([&] { return QApplication::focusWidget() == tree; })) << "the tree focused again";

  // A screen reader follows the focus: every control that gets it is heard.
  std::vector<QWidget*> heardFocus;
  const QMetaObject::Connection hearing = QObject::connect(
      qApp, &QApplication::focusChanged, [&](QWidget*, QWidget* now) { heardFocus.push_back(now); });
  help.show(HelpCommand::PartialKey, 0);
  ASSERT_NE(help.window(), nullptr);
  auto* field = help.window()->findChild<QLineEdit*>();
  EXPECT_TRUE(test::RunUntil([&] { return QApplication::activeWindow() == help.window(); }))
      << "the help window active";
  EXPECT_TRUE(test::RunUntil([&] { return QApplication::focusWidget() == field; })) << "the keyword field focused";
  QObject::disconnect(hearing);
  ASSERT_FALSE(heardFocus.empty());
  EXPECT_EQ(heardFocus.back(), field) << "the last control heard getting the focus";
}

TEST(HelpService, SaysWhenThereIsNoHelpOrTheBookIsMissing) {
  std::vector<std::pair<QMessageBox::Icon, QString>> messages;
  const auto sink = [&](QMessageBox::Icon icon, const QString& text) { messages.emplace_back(icon, text); };

  HelpService none(QString(), nullptr);
  none.setMessageSink(sink);
  none.show(HelpCommand::Contents, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            std::pair(QMessageBox::Information,
                      QString("Unable to display Help Contents. There is no Help associated with this project.")));

  const QString gone = test::freshFolder("gone") + "/help";
  HelpService missing(gone, nullptr);
  missing.setMessageSink(sink);
  missing.show(HelpCommand::Context, 19);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[1].second.contains(gone));
  EXPECT_TRUE(missing.window() == nullptr);
}

}  // namespace
}  // namespace lumaset
