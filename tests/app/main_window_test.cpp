#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QToolBar>
#include <QAction>
#include <QScreen>
#include <QPushButton>
#include <QLabel>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <cmath>
#include <optional>
#include <tuple>
#include <vector>

#include <sys/stat.h>

#include "app/commands.h"
#include "browser/folder_tree.h"
#include "browser/thumbnail_area.h"
#include "documents/layout_document.h"
#include "documents/layout_file.h"
#include "frame/help_window.h"
#include "layout/layout_page.h"
#include "layout/page_area.h"
#include "layout/undo_stack.h"
#include "support/accessibility.h"
#include "support/fake_sound_output.h"
#include "support/program_fixture.h"
#include "support/slow_reader.h"
#include "support/test_support.h"
#include "support/waiting_editor.h"

namespace lumaset {
namespace {

class MainWindowTest : public test::ProgramTest {
 protected:
  static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }

  // Puts a 60 x 30 photo of four colours on the page, 2 by 1 inches, selected; its slot.
  int PlacePhoto(const QString& photo) {
    EXPECT_TRUE(test::Quarters(60, 30).save(photo, "PNG"));
    return DropOnPage(photo);
  }

  // A layout of `count` photos of 64 x 48, each in a slot of its own; its path.
  QString WriteLayout(const QString& name, int count) {
    const QString folder = test::freshFolder(name) + QLatin1Char('/');
    LayoutContent content;
    for (int i = 0; i < count; ++i) {
      content.pictures.push_back({folder + QStringLiteral("p%1.jpg").arg(i), 0.1f, 0.1f, 0.2f, 0.1f});
      EXPECT_TRUE(test::WritePicture(content.pictures.back().path, 64, 48, "JPEG"));
    }
    const QString layout = folder + name + QStringLiteral(".lsf");
    const Result<QByteArray> bytes = LayoutFile::Write(content);
    EXPECT_TRUE(bytes && LayoutFile::SaveFile(layout, *bytes));
    return layout;
  }
};

TEST_F(MainWindowTest, FirstStartFitsTheScreenAndKeepsThePreviewSquare) {
  MainWindow& window = Start();
  EXPECT_TRUE(app_->formReady);
  EXPECT_TRUE(app_->thumbsIdle);
  EXPECT_TRUE(Screen().contains(window.frameGeometry())) << "a first window never passes the screen";
  const QRect preview = window.pagePanel()->geometry();
  EXPECT_NEAR(preview.width(), preview.height(), 1);
  // Width minus height of a normal window is the tree's width plus 1800 twips,
  // plus what the column of page settings needs beyond its 3000 for its texts.
  const int extra = static_cast<int>(std::lround(window.adjustPanel()->width() * window.twipsPerPixel())) - 3000;
  const int rule = 2160 + 1800 + std::max(0, extra);
  EXPECT_NEAR(window.OuterWidthTwips() - window.OuterHeightTwips(), rule, 2 * window.twipsPerPixel());
  EXPECT_EQ(window.pagePanel()->caption(), QStringLiteral("Layout Preview: "));
  EXPECT_TRUE(QFileInfo(app_->folders.layouts + QStringLiteral("Sample.lsf")).isFile());
  EXPECT_TRUE(QFileInfo(app_->programFolders.tempImages).isDir());
  EXPECT_EQ(test::AccessibilityProblems(&window), QStringList());
}

TEST_F(MainWindowTest, CorruptStoredPlacementIsClampedToTheScreen) {
  for (const auto& [key, text] : {std::pair{"MainLeft", "-5000"}, {"MainTop", "nonsense"}, {"MainWidth", "1e9"},
                                  {"MainHeight", "-20"}, {"DirTreeWidth", "99999"}})
    Store(key, text);
  MainWindow& window = Start();
  EXPECT_TRUE(Screen().contains(window.frameGeometry()));
  EXPECT_LT(window.dirTree()->width() * window.twipsPerPixel(), 4000);
}

// The window comes up where the last run left it, shaped as the layout wants,
// with its whole frame on the screen; the next run reads back what this one
// wrote, so the window neither creeps nor grows from run to run.
TEST_F(MainWindowTest, StoredPlacementComesBackAsItWasWritten) {
  const double twips = 1440 / QGuiApplication::primaryScreen()->logicalDotsPerInch();
  const QPoint stored(Screen().left() + Screen().width() / 8, Screen().top() + Screen().height() / 10);
  Store(QStringLiteral("MainLeft"), QString::number(stored.x() * twips));
  Store(QStringLiteral("MainTop"), QString::number(stored.y() * twips));
  Store(QStringLiteral("MainWidth"), QStringLiteral("9600"));
  Store(QStringLiteral("MainHeight"), QStringLiteral("3000"));
  MainWindow& first = Start();
  const QRect frame = first.frameGeometry();
  EXPECT_EQ(frame.topLeft(), stored);
  EXPECT_NEAR(first.OuterWidthTwips(), 9600, twips);
  EXPECT_GT(first.OuterHeightTwips(), 3000) << "the height follows the width, not the stored height";
  EXPECT_TRUE(Screen().contains(frame));
  ASSERT_TRUE(first.close());
  EXPECT_NEAR(Stored(QStringLiteral("MainLeft")).toDouble(), stored.x() * twips, 1);
  EXPECT_NEAR(Stored(QStringLiteral("MainTop")).toDouble(), stored.y() * twips, 1);
  const double width = Stored(QStringLiteral("MainWidth")).toDouble();
  const double height = Stored(QStringLiteral("MainHeight")).toDouble();

  MainWindow& next = Start();
  EXPECT_EQ(next.frameGeometry(), frame);
  EXPECT_NEAR(next.OuterWidthTwips(), width, twips);
  EXPECT_NEAR(next.OuterHeightTwips(), height, twips);

  // Stored at the screen's corner, the frame's top edge and title stay on it.
  Store(QStringLiteral("MainLeft"), QStringLiteral("0"));
  Store(QStringLiteral("MainTop"), QStringLiteral("0"));
  EXPECT_EQ(Start().frameGeometry().topLeft(), Screen().topLeft());
}

// A later start brings a minimised window back as it was: maximised or not.
TEST_F(MainWindowTest, BroughtForwardAsItWasBeforeItWasMinimised) {
  MainWindow& window = Start();
  for (const bool maximised : {true, false}) {
    maximised ? window.showMaximized() : window.showNormal();
    window.showMinimized();
    window.BringForward();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.isMaximized(), maximised);
    EXPECT_TRUE(window.isVisible());
  }
}

// A keyboard user reaches the page by Tab, and its keys reach it there:
// Esc asks long work to stop.
TEST_F(MainWindowTest, TabReachesThePageAndItsKeys) {
  MainWindow& window = Start();
  QApplication::setActiveWindow(&window);
  PageView* page = window.pagePanel()->page();
  window.dirTree()->setFocus(Qt::TabFocusReason);
  for (int press = 0; press < 40 && QApplication::focusWidget() && QApplication::focusWidget() != page; ++press)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), page);
  // Its focus mark is a frame: the paper within stays white, whatever the style.
  std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
  ASSERT_TRUE(fusion);
  page->setStyle(fusion.get());
  EXPECT_EQ(page->grab().toImage().pixelColor(page->width() / 2, page->height() / 2), QColor(Qt::white));
  page->setStyle(nullptr);
  app_->abortRequested = false;
  QTest::keyClick(page, Qt::Key_Escape);
  EXPECT_TRUE(app_->abortRequested);
}

// A picture one pixel wide, however tall, is drawn where it was dropped, at
// least a pixel wide, and can be picked out there like any other.
TEST_F(MainWindowTest, NarrowPicturesAreDrawnAndCanBeSelected) {
  MainWindow& window = Start();
  PageView* view = window.pagePanel()->page();
  const QString folder = test::freshFolder(QStringLiteral("narrow")) + QLatin1Char('/');
  for (const QSize pixels : {QSize(1, 9), QSize(1, 40), QSize(2, 9), QSize(1, 400)}) {
    const QString file = folder + QStringLiteral("%1x%2.png").arg(pixels.width()).arg(pixels.height());
    QImage picture(pixels, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(file, "PNG"));
    LayoutPage& page = window.layoutPage();
    page.ClearPreview();
    PageEditState& edit = page.model().edit();
    edit.addWidth = 150;  // ten pixels wide at 96 dots an inch
    edit.addHeight = 150.0f * pixels.height() / pixels.width();
    const QPointF centre(view->width() / 2 * window.twipsPerPixel(), view->height() / 2 * window.twipsPerPixel());
    edit.downX = static_cast<float>(centre.x());
    edit.downY = static_cast<float>(centre.y());
    page.PicAdd(file);
    page.FinishAdding();
    const int slot = page.model().picCur();
    ASSERT_GE(slot, 0) << file.toStdString();
    EXPECT_FALSE(view->picture(slot).isNull()) << file.toStdString();
    EXPECT_EQ(view->SlotAt(centre), slot) << file.toStdString();
    page.ToolEnable(false, -1);  // the selection frame would cover the narrowest
    EXPECT_EQ(view->grab().toImage().pixelColor(view->width() / 2, view->height() / 2), QColor(Qt::blue))
        << file.toStdString();
  }
}

TEST_F(MainWindowTest, ShutDownSavesThePlacementAndRemovesTemporaryPictures) {
  MainWindow& first = Start();
  const QString tempImages = app_->programFolders.tempImages;
  ASSERT_TRUE(test::WriteText(tempImages + QStringLiteral("3-07.jpg"), "x"));
  // A mail program may still need the e-mail copies after the program has gone.
  const QString emailCopy = app_->programFolders.emailCopies + QStringLiteral("send-1/a.jpg");
  ASSERT_TRUE(QDir().mkpath(QFileInfo(emailCopy).path()) && test::WriteText(emailCopy, "x"));
  first.help().show(HelpCommand::Contents, 0);
  ASSERT_NE(first.help().window(), nullptr);
  ASSERT_TRUE(first.close());
  EXPECT_GT(first.dirTree()->width(), 0);
  EXPECT_FALSE(first.help().window() && first.help().window()->isVisible());
  main_.reset();
  app_.reset();
  EXPECT_FALSE(QFileInfo::exists(tempImages)) << "the temporary pictures and their folder go";
  EXPECT_TRUE(QFileInfo::exists(emailCopy));
  EXPECT_FALSE(Stored(QStringLiteral("MainWidth")).isEmpty());
  EXPECT_FALSE(Stored(QStringLiteral("MainLeft")).isEmpty());
  EXPECT_NEAR(Stored(QStringLiteral("DirTreeWidth")).toDouble(), 2160, 1);

  // The next start comes back where the last one ended, and removes e-mail
  // copies a day old.
  std::filesystem::last_write_time(QFile::encodeName(QFileInfo(emailCopy).path()).toStdString(),
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(25));
  MainWindow& next = Start();
  EXPECT_FALSE(QFileInfo::exists(emailCopy));
  EXPECT_NEAR(next.OuterWidthTwips(), Stored(QStringLiteral("MainWidth")).toDouble(), 2 * next.twipsPerPixel());
}

// A cache folder that cannot hold the temporary pictures' folder: the start
// says so, with the cause, and goes on.
TEST_F(MainWindowTest, ATemporaryFolderThatCannotBeMadeIsReportedAtStart) {
  const QString blocked = test::freshFolder(QStringLiteral("blocked")) + QStringLiteral("/cache");
  ASSERT_TRUE(test::WriteText(blocked, "in the way"));
  const QByteArray cache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QFile::encodeName(blocked));
  QString shown;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      // A path too wide for the screen is shortened; the whole text is what a screen reader hears.
      const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      shown = label && !label->accessibleDescription().isEmpty() ? label->accessibleDescription() : box->text();
      box->accept();
    }
  });
  watch.start(0);
  Start();
  watch.stop();
  qputenv("XDG_CACHE_HOME", cache);
  EXPECT_EQ(shown, "The folder \"" + blocked + "\" cannot be made: Not a directory");
  EXPECT_TRUE(app_->formReady);
}

TEST_F(MainWindowTest, CloseIsRefusedWhileThumbnailsAreBeingMade) {
  MainWindow& window = Start();
  app_->thumbsIdle = false;
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(app_->abortRequested);
  app_->thumbsIdle = true;
  EXPECT_TRUE(window.close());
}

// A picture being added to the page holds nothing up: Exit closes at once,
// and the decode stops as the program ends.
TEST_F(MainWindowTest, ExitWhileAPictureIsAddedClosesAndStopsItsDecode) {
  MainWindow& window = Start();
  const test::SlowReader slow;
  window.layoutPage().setReader(slow.reader());
  const QString photo = test::freshFolder(QStringLiteral("adding")) + QStringLiteral("/photo.png");
  ASSERT_TRUE(test::WritePicture(photo, 64, 48));
  PageEditState& edit = window.layoutPage().model().edit();
  std::tie(edit.downX, edit.downY, edit.addWidth, edit.addHeight) = std::tuple(3000.f, 3000.f, 2880.f, 1440.f);
  window.layoutPage().PicAdd(photo);
  ASSERT_TRUE(test::RunUntil([&slow] { return slow.reading(); })) << "the decode's start";
  EXPECT_TRUE(window.close());
  main_.reset();
  EXPECT_TRUE(test::RunUntil([&slow] { return slow.returned(); })) << "the stopped decode's end";
  EXPECT_TRUE(slow.stopped());
}

// Exit asked for while a command waits for pictures still being added
// closes the window after that command, not instead of it.
TEST_F(MainWindowTest, ExitAfterACommandThatWaitsForAdditionsClosesOnceItRan) {
  MainWindow& window = Start();
  LayoutPage& page = window.layoutPage();
  const QString folder = test::freshFolder(QStringLiteral("exit-waits")) + QLatin1Char('/');
  for (const char* name : {"p1.png", "p2.png"}) ASSERT_TRUE(test::WritePicture(folder + name, 64, 48));
  DropOnPage(folder + "p1.png");
  test::SlowReader gate;
  page.setReader(gate.reader());
  PageEditState& edit = page.model().edit();
  std::tie(edit.downX, edit.downY, edit.addWidth, edit.addHeight) = std::tuple(4000.f, 4000.f, 2880.f, 1440.f);
  page.PicAdd(folder + "p2.png");
  ASSERT_TRUE(test::RunUntil([&gate] { return gate.reading(); })) << "the second picture's read at the gate";
  window.commands().Button(u"Undo")->trigger();
  EXPECT_FALSE(window.close()) << "the window closed before the undo that waits";
  EXPECT_TRUE(window.isVisible());
  const int undoneBefore = page.undo().stack().top();
  int undoneWhenClosed = -1;
  gate.open();
  ASSERT_TRUE(test::RunUntil([&] {
    if (window.isVisible()) return false;
    undoneWhenClosed = page.undo().stack().top();
    return true;
  })) << "the close after the addition and the undo";
  EXPECT_EQ(undoneBefore, 1);
  EXPECT_EQ(undoneWhenClosed, 1) << "the addition was pushed and the undo popped it before the window closed";
}

// Undo pressed while pictures asked for are still being read undoes the
// last one asked for, once all are on the page: the page is not emptied and
// nothing asked for is dropped.
TEST_F(MainWindowTest, UndoWhilePicturesAreAddedTakesOffTheLastOneAskedFor) {
  MainWindow& window = Start();
  LayoutPage& page = window.layoutPage();
  const QString folder = test::freshFolder(QStringLiteral("pending")) + QLatin1Char('/');
  QStringList photos;
  for (int i = 0; i < 4; ++i) {
    photos << folder + QStringLiteral("p%1.png").arg(i + 1);
    ASSERT_TRUE(test::WritePicture(photos.back(), 64, 48));
  }
  DropOnPage(photos[0]);
  test::SlowReader gate;
  page.setReader(gate.reader());
  PageEditState& edit = page.model().edit();
  for (int i = 1; i < 4; ++i) {
    std::tie(edit.downX, edit.downY, edit.addWidth, edit.addHeight) =
        std::tuple(3000.f + 600 * i, 4000.f, 2880.f, 1440.f);
    page.PicAdd(photos[i]);
  }
  ASSERT_TRUE(test::RunUntil([&gate] { return gate.reading(); })) << "the second picture's read at the gate";
  QAction* undo = window.commands().Button(u"Undo");
  ASSERT_TRUE(undo->isEnabled());
  undo->trigger();
  EXPECT_EQ(std::pair(page.model().picCount(), page.model().picLast()), std::pair(1, 0)) << "the undo waits";
  gate.open();
  ASSERT_TRUE(test::RunUntil([&] { return !page.adding() && page.undo().stack().top() == 3; }))
      << "the three additions and the undo after them";
  const PageModel& model = page.model();
  EXPECT_EQ(std::pair(model.picLast(), model.picCount()), std::pair(3, 3));
  for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(model.pic(slot).file, photos[slot]);
  EXPECT_EQ(model.pic(3).zRank, -1) << "the last picture asked for is taken off";

  // Undo, then Esc: the Undo was meant for the picture that Esc drops, and
  // has nothing left to take back.
  const test::SlowReader shut;
  page.setReader(shut.reader());
  page.PicAdd(photos[3]);
  ASSERT_TRUE(test::RunUntil([&shut] { return shut.reading(); })) << "the read at the shut gate";
  undo->trigger();
  QTest::keyClick(&window, Qt::Key_Escape);
  ASSERT_TRUE(test::RunUntil([&] { return !page.adding() && !page.commandsWaiting(); })) << "the undo after Esc";
  EXPECT_EQ(std::tuple(model.picLast(), model.picCount(), page.undo().stack().top()), std::tuple(3, 3, 3));
  // Nor is Delete meant for the picture selected before the addition.
  page.ClickPicture(0);
  page.PicAdd(photos[3]);
  QTest::keyClick(&window, Qt::Key_Delete);
  QTest::keyClick(&window, Qt::Key_Escape);
  ASSERT_TRUE(test::RunUntil([&] { return !page.adding() && !page.commandsWaiting(); })) << "the delete after Esc";
  EXPECT_EQ(model.picCount(), 3);
}

// Exit asked for while a layout is being opened stops the picture being
// read, so the opening ends there and then the program; the commands that
// cannot run meanwhile show disabled, and come back as the work left them.
TEST_F(MainWindowTest, ExitDuringALayoutsOpeningEndsItAndTheProgram) {
  MainWindow& window = Start();
  constexpr int kPictures = 30;
  const QString layout = WriteLayout(QStringLiteral("Thirty"), kPictures);

  const test::SlowReader gate(1);  // the first picture is read, the second held
  window.layoutDocument().setReader(gate.reader());
  CommandSet& commands = window.commands();
  bool answered = false, exitAsked = false;
  bool newOn = true, exitOn = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      dialog->selectFile(layout);
      QMetaObject::invokeMethod(dialog, "accept");
      answered = true;
      return;
    }
    if (!answered || exitAsked || !gate.reading() || QApplication::activeModalWidget()) return;
    newOn = commands.Button(u"New")->isEnabled();
    exitOn = commands.Button(u"Exit")->isEnabled();
    exitAsked = true;
    commands.Button(u"Exit")->trigger();
  });
  watch.start(0);
  commands.Button(u"OpenP")->trigger();
  watch.stop();
  ASSERT_TRUE(exitAsked) << "Exit was never pressed while the layout opened";
  EXPECT_EQ(std::pair(newOn, exitOn), std::pair(false, true));
  ASSERT_TRUE(test::RunUntil([&gate] { return gate.returned(); })) << "the held read's end";
  EXPECT_TRUE(gate.stopped()) << "the read under way when Exit was pressed";
  int shown = 0;
  for (int slot = 0; slot < kPictures; ++slot) shown += window.pagePanel()->page()->picture(slot).isNull() ? 0 : 1;
  EXPECT_EQ(shown, 1) << "the opening stopped at the picture being read";
  EXPECT_TRUE(test::RunUntil([&] { return !window.isVisible(); })) << "the window's close after the opening";
  EXPECT_TRUE(commands.Button(u"New")->isEnabled()) << "back as the work left it";
}

// A layout opened over a contact sheet and stopped with Esc keeps the
// records it did not show; printing reads each of them from its file.
TEST_F(MainWindowTest, ALayoutStoppedOverAContactSheetPrintsEveryPicture) {
  OpenAtStart("sheet", {"a.png", "b.png"});
  MainWindow& window = Start();
  window.commands().Item(u"mnuViewThumb")->trigger();
  ASSERT_EQ(window.pagePanel()->caption(), QStringLiteral("Thumbnail Layout (Page 1 of 1)"));
  const QString layout = WriteLayout(QStringLiteral("Three"), 3), pdf = layout + QStringLiteral(".pdf");
  const test::SlowReader gate(1);
  window.layoutDocument().setReader(gate.reader());
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      dialog->selectFile(dialog->acceptMode() == QFileDialog::AcceptOpen ? layout : pdf);
      QMetaObject::invokeMethod(dialog, "accept");
    } else if (gate.reading() && !gate.returned()) {
      QTest::keyClick(&window, Qt::Key_Escape);
    }
  });
  watch.start(0);
  window.commands().Item(u"mnuFileOpenPage")->trigger();
  ASSERT_TRUE(test::RunUntil([&gate] { return gate.returned(); })) << "the held read's end";
  ASSERT_TRUE(gate.stopped()) << "Esc during the second picture's read";
  ASSERT_EQ(window.layoutPage().model().picCount(), 3);
  window.commands().Item(u"mnuFilePrint")->trigger();
  watch.stop();
  QFile printed(pdf);
  ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
  EXPECT_EQ(printed.readAll().count("/Subtype /Image"), 3);
}

// A selected thumbnail turned with Rotate Clockwise is then clicked onto
// the page with its turned shape, not squeezed into its old one.
TEST_F(MainWindowTest, AThumbnailTurnedWhileSelectedIsAddedInItsNewShape) {
  OpenAtStart("turned", {"photo.png"});  // 64 x 48
  MainWindow& window = Start();
  app_->options.genClick = true;
  ThumbnailPanel& panel = *window.thumbnailPanel();
  panel.ThumbNailSelect(0, true);
  window.commands().Item(u"mnuFileOptionsRotate")->trigger();
  ASSERT_EQ(panel.table().ThumbWidths(0), 48);
  PageView& view = *window.pagePanel()->page();
  QTest::mouseClick(&view, Qt::LeftButton, {}, (QPointF(4000, 4000) / view.twipsPerPixel()).toPoint());
  window.layoutPage().FinishAdding();
  const PageModel& model = window.layoutPage().model();
  ASSERT_EQ(model.picCount(), 1);
  const PageGeometry& paper = model.geometry();
  EXPECT_NEAR(model.pic(0).widthFrac * paper.paperWidth / (model.pic(0).heightFrac * paper.paperHeight), 0.75, 0.01);
}

// Exit while a picture file is turned stops the turn before anything is
// written and closes the window once it has ended; meanwhile Rotate is off
// and Exit on.
TEST_F(MainWindowTest, ExitDuringATurnStopsItAndCloses) {
  const QString photos = OpenAtStart("turning", {"a.png"});
  MainWindow& window = Start();
  window.thumbnailPanel()->ThumbNailSelect(0, true);
  const QByteArray before = test::ReadBytes(photos + QStringLiteral("a.png"));
  CommandSet& commands = window.commands();
  std::optional<std::pair<bool, bool>> during;
  QTimer::singleShot(0, [&] {
    during = {commands.Item(u"mnuFileOptionsRotate")->isEnabled(), commands.Item(u"mnuFileExit")->isEnabled()};
    commands.Item(u"mnuFileExit")->trigger();
  });
  commands.Item(u"mnuFileOptionsRotate")->trigger();
  EXPECT_EQ(during, std::pair(false, true));
  EXPECT_TRUE(test::RunUntil([&] { return !window.isVisible(); })) << "the window's close after the turn";
  EXPECT_EQ(test::ReadBytes(photos + QStringLiteral("a.png")), before);
  EXPECT_EQ(QDir(photos).entryList(QDir::Files | QDir::Hidden), QStringList{"a.png"});
}

// The editor is a script that waits for the test's word through a FIFO.
TEST_F(MainWindowTest, CloseIsRefusedWhileTheDefaultEditorIsOpen) {
  const QString photos = OpenAtStart("edit", {"a.png"});
  const QByteArray gate = QFile::encodeName(photos + QStringLiteral("gate"));
  ASSERT_EQ(::mkfifo(gate.constData(), 0600), 0);
  ASSERT_TRUE(test::InstallPngEditor(photos + QStringLiteral("edit.sh"), "read word < '" + gate + "'\n",
                                     QStringLiteral("wait-edit")));
  MainWindow& window = Start();
  window.thumbnailPanel()->ThumbNailSelect(0, true);
  ASSERT_TRUE(window.commands().Item(u"mnuFileOptionsEdit")->isEnabled());

  std::optional<bool> closedWhileOpen;
  bool enabledWhileOpen = true;
  QTimer::singleShot(0, [&] {
    enabledWhileOpen = window.isEnabled();
    closedWhileOpen = window.close();
    QFile word(QFile::decodeName(gate));
    if (word.open(QIODevice::WriteOnly)) word.write("done\n");  // the editor ends
  });
  window.commands().Item(u"mnuFileOptionsEdit")->trigger();
  EXPECT_EQ(closedWhileOpen, false);
  EXPECT_FALSE(enabledWhileOpen);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.isEnabled());
  EXPECT_TRUE(window.close());
}

TEST_F(MainWindowTest, SplitterDragWidensTheTree) {
  MainWindow& window = Start();
  QWidget* bar = window.splitterBar();
  const int before = window.dirTree()->width();

  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(41, 10), bar->mapToGlobal(QPointF(41, 10)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &move);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(41, 10));
  EXPECT_NEAR(window.dirTree()->width(), before + 40, 2);
  EXPECT_FALSE(window.splitter().dragging());
}

TEST_F(MainWindowTest, StartWithOpenFolderOnMakesTheLastFoldersThumbnails) {
  OpenAtStart("photos", {"b.jpg", "A.jpg", "c.png"});
  MainWindow& window = Start();
  const ThumbTable& table = window.thumbnailPanel()->table();
  ASSERT_EQ(table.ThumbCount(), 3);
  EXPECT_TRUE(table.ThumbFiles(0).endsWith(QStringLiteral("A.jpg"))) << "sorted without regard to case";
  EXPECT_TRUE(app_->thumbsIdle);
  EXPECT_TRUE(window.dirTree()->isEnabled());
  EXPECT_TRUE(window.pagePanel()->isEnabled());

  // Another folder opened from the tree becomes the stored folder.
  const QString empty = test::freshFolder(QStringLiteral("empty")) + QLatin1Char('/');
  window.folderOpener().OpenFromTree(empty);
  EXPECT_EQ(window.thumbnailPanel()->table().ThumbCount(), 0);
  EXPECT_EQ(app_->folders.current, empty);
  EXPECT_EQ(Stored(QStringLiteral("Folder")), empty);
  EXPECT_TRUE(window.close());
}

// The program can end while a slide show runs: the show ends first, while
// the window it reports to is still whole.
TEST_F(MainWindowTest, EndingDuringASlideShowIsSafe) {
  OpenAtStart("show", {"a.jpg", "b.png"});
  MainWindow& window = Start();
  window.thumbnailPanel()->ThumbNailSelect(0, true);
  window.commands().Item(u"mnuViewSlide")->trigger();
  main_.reset();  // under the sanitizers, a call into the half-gone window stops the run
  EXPECT_FALSE(main_.has_value());
}

TEST_F(MainWindowTest, ViewMenuHidesAndShowsTheToolbarAndTheStatusBar) {
  MainWindow& window = Start();
  struct Case { const char16_t* item; QWidget* bar; };
  for (const Case& c : {Case{u"mnuViewToolbar", window.commands().toolBar()}, Case{u"mnuViewStatusBar", window.statusBar()}}) {
    QAction* item = window.commands().Item(c.item);
    ASSERT_TRUE(c.bar->isVisible());
    for (const bool shown : {false, true}) {
      item->setChecked(shown);  // as a screen reader toggles it, without a click
      EXPECT_EQ(c.bar->isVisible(), shown) << QString::fromUtf16(c.item).toStdString();
      EXPECT_EQ(item->isChecked(), shown);
    }
  }
}

// The about box and the notice it opens play the desktop's event sounds; a
// sound that comes while another plays is skipped, so the test's clock moves
// on between the user's steps.
TEST_F(MainWindowTest, HelpAboutAndItsNoticePlayTheirSounds) {
  test::FakeClock clock;
  auto output = std::make_unique<test::FakeSoundOutput>(clock);
  const std::vector<test::FakeSoundOutput::Played>& played = output->played;
  MainWindow& window = Start(std::move(output));
  const auto before = played.size();

  bool noticeShown = false;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QTimer::singleShot(0, [&] {
      QWidget* notice = QApplication::activeModalWidget();
      ASSERT_NE(notice, box);
      noticeShown = true;
      clock.advance(std::chrono::seconds(10));
      notice->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    });
    clock.advance(std::chrono::seconds(10));
    box->findChild<QPushButton*>(QStringLiteral("cmdSoft"))->click();
    clock.advance(std::chrono::seconds(10));
    box->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
  });
  window.commands().Item(u"mnuHelpAbout")->trigger();
  EXPECT_TRUE(noticeShown);

  QStringList names;
  for (auto i = before; i < played.size(); ++i) names << played[i].name;
  // The box opens; the notice opens (its Maximize comes during RestoreUp)
  // and its OK minimises (its RestoreDown comes during that); the box closes.
  EXPECT_EQ(names, (QStringList{"restore-up.wav", "restore-up.wav", "minimize.wav", "restore-down.wav"}));
}

// A screen reader presses the Crop button by toggling it, not by a click:
// crop mode follows, and so does the Tools menu's check.
TEST_F(MainWindowTest, ToggledCommandsActWithoutAClick) {
  MainWindow& window = Start();
  ASSERT_GE(PlacePhoto(test::freshFolder(QStringLiteral("window-toggle")) + QStringLiteral("/photo.png")), 0);
  LayoutPage& page = window.layoutPage();
  CommandSet& commands = window.commands();
  auto* crop = qobject_cast<QAbstractButton*>(commands.toolBar()->widgetForAction(commands.Button(u"Crop")));
  ASSERT_NE(crop, nullptr);
  crop->setChecked(true);
  EXPECT_TRUE(page.cropChecked());
  EXPECT_TRUE(commands.Item(u"mnuToolCrop")->isChecked());
  commands.Item(u"mnuToolCrop")->setChecked(false);
  EXPECT_FALSE(page.cropChecked());
  EXPECT_FALSE(crop->isChecked());
}

// A photo put on the page, then turned and mirrored from the toolbar and the
// Tools menu: each step writes a new picture and Undo takes it back.
TEST_F(MainWindowTest, EffectCommandsChangeThePagePictureAndUndoTakesThemBack) {
  MainWindow& window = Start();
  const QString photo = test::freshFolder(QStringLiteral("window-effects")) + QStringLiteral("/photo.png");
  const int slot = PlacePhoto(photo);
  ASSERT_GE(slot, 0);
  const QByteArray photoBytes = test::ReadBytes(photo);
  LayoutPage& page = window.layoutPage();
  CommandSet& commands = window.commands();
  ASSERT_TRUE(commands.Item(u"mnuToolMirror")->isEnabled());
  ASSERT_TRUE(commands.Button(u"Rotate")->isEnabled());

  const PicBox before = page.model().box(slot);
  commands.ButtonClick(u"Rotate");
  const QString turned = page.model().pic(slot).file;
  EXPECT_TRUE(turned.startsWith(app_->programFolders.tempImages)) << turned.toStdString();
  EXPECT_EQ(QImage(turned).size(), QSize(30, 60));
  EXPECT_FLOAT_EQ(page.model().box(slot).width, before.height);
  EXPECT_EQ(page.model().picCur(), slot) << "the picture is selected again";

  commands.Item(u"mnuToolMirror")->trigger();
  const QString mirrored = page.model().pic(slot).file;
  EXPECT_NE(mirrored, turned);
  EXPECT_EQ(page.undo().stack().top(), 3) << "add, rotate, mirror";

  commands.Item(u"mnuToolUndo")->trigger();
  commands.Item(u"mnuToolUndo")->trigger();
  EXPECT_EQ(page.model().pic(slot).file, photo);
  EXPECT_FLOAT_EQ(page.model().box(slot).width, before.width);
  EXPECT_EQ(test::ReadBytes(photo), photoBytes) << "the user's file is untouched";
}

// After a cancelled effect the picture is no longer selected; the progress
// window then disables and enables the whole window around it.
TEST_F(MainWindowTest, PictureToolsStayOffUntilAPictureIsSelectedAgain) {
  MainWindow& window = Start();
  const QString photo = test::freshFolder(QStringLiteral("window-tools")) + QStringLiteral("/photo.png");
  const int slot = PlacePhoto(photo);
  ASSERT_GE(slot, 0);
  LayoutPage& page = window.layoutPage();
  CommandSet& commands = window.commands();
  const QAction* tools = commands.Menu(u"mnuTool")->menuAction();
  ASSERT_TRUE(tools->isEnabled());

  page.ToolEnable(false, slot);
  window.setEnabled(false);
  window.setEnabled(true);
  EXPECT_FALSE(tools->isEnabled());
  // Asked for all the same (by a screen reader, say), they do nothing.
  commands.Item(u"mnuToolMirror")->trigger();
  commands.ButtonClick(u"Rotate");
  EXPECT_EQ(page.model().pic(slot).file, photo);
  EXPECT_EQ(page.undo().stack().top(), 1) << "only the addition";

  page.ClickPicture(slot);
  EXPECT_TRUE(tools->isEnabled());
}

// Every box that comes up while `run` runs is answered with its default
// and noted as its title and text.
QStringList BoxesDuring(const std::function<void()>& run) {
  QStringList boxes;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    const auto* box = qobject_cast<QMessageBox*>(dialog);
    boxes << dialog->windowTitle() + QLatin1Char('|') + (box ? box->text() : dialog->objectName());
    dialog->reject();
  });
  closer.start();
  run();
  return boxes;
}

TEST_F(MainWindowTest, ADownloadWaitsForTheThumbnailsAndFileBoxesAreTitledLumaset) {
  MainWindow& window = Start();
  const QString photos = test::freshFolder(QStringLiteral("window-download")) + QLatin1Char('/');
  ASSERT_TRUE(test::WritePicture(photos + QStringLiteral("a.jpg"), 64, 48));
  const QStringList boxes = BoxesDuring([&] {
    app_->thumbsIdle = false;  // as while a folder's thumbnails are made
    window.commands().Item(u"mnufileDownloadDrive")->trigger();
    QApplication::processEvents();
    app_->thumbsIdle = true;
    window.folderOpener().OpenFromTree(photos);  // a build that ends
    QApplication::processEvents();
    window.thumbnailPanel()->ThumbNailSelect(0, true);
    window.commands().Item(u"mnuFileOptionsDelete")->trigger();
  });
  ASSERT_EQ(boxes.size(), 3);
  // Without a download drive it says so and opens the preferences; the boxes
  // of the download and file commands are titled with the program's name.
  EXPECT_EQ(boxes[0], "Lumaset|Please select source drive from preferences");
  EXPECT_EQ(boxes[2], "Lumaset|Do you wish to send <a.jpg> to the recycle bin?");
  EXPECT_TRUE(QFile::exists(photos + QStringLiteral("a.jpg")));
}

// The libraries that only later commands need (music, cameras, the trash
// and the default editor) are not loaded to start: loading them and all
// they pull in would hold up every start.
TEST_F(MainWindowTest, StartsWithoutTheLibrariesOfCommandsNotYetUsed) {
  const QStringList later = {QStringLiteral("/libfluidsynth."), QStringLiteral("/libgphoto2."),
                             QStringLiteral("/libgio-2.0.")};
  for (const QString& library : later) {
    if (test::LibraryLoaded(library)) GTEST_SKIP() << "an earlier test in this process used " << library.toStdString();
  }
  Start();
  ASSERT_TRUE(test::LibraryLoaded(QStringLiteral("/libQt6Widgets.")));
  for (const QString& library : later) EXPECT_FALSE(test::LibraryLoaded(library)) << library.toStdString();
}

TEST_F(MainWindowTest, TheProgramsIconShowsOnTheWindowAndTheSplash) {
  MainWindow& window = Start();
  EXPECT_FALSE(window.windowIcon().pixmap(32).isNull());
  // The window offers the icon drawn in each size, as the SVG draws it: the
  // pictures are drawn again whenever the SVG changes.
  const QIcon drawing(QStringLiteral(LUMASET_PROGRAM_ICON_SVG));
  const QList<QSize> sizes = window.windowIcon().availableSizes();
  EXPECT_EQ(sizes.size(), 6);
  for (const QSize& size : sizes) {
    SCOPED_TRACE(size.width());
    const QImage offered = window.windowIcon().pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage drawn = drawing.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), size) << "the SVG icon engine is missing";
    ASSERT_EQ(offered.size(), size);
    int furthest = 0;
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        const QRgb a = offered.pixel(x, y);
        const QRgb b = drawn.pixel(x, y);
        furthest = std::max({furthest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                             std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
      }
    }
    EXPECT_LE(furthest, 8) << "run `ninja regenerate_program_icons`";
  }
  const QLabel* splashPicture = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->inherits("lumaset::AboutBox")) splashPicture = top->findChild<QLabel*>(QStringLiteral("Picture1"));
  ASSERT_NE(splashPicture, nullptr);
  EXPECT_FALSE(splashPicture->pixmap().isNull());
}

}  // namespace
}  // namespace lumaset
