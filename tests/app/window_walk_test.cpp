// Opens every window and dialog of the program and checks each for what a
// keyboard or screen-reader user and a large desktop font need: texts that
// fit their controls, no controls on top of one another, outside their
// window or pushed away from their neighbours, every input
// reachable by Tab, and every checkable control acting on a toggle from code
// as on a click. Run by ctest at scale 1 and with QT_SCALE_FACTOR 1.5, each
// at a desktop font of 11 and of 13 points (WALK_FONT_POINTS). A window must
// also fit its screen, even where it shows a path hundreds of characters
// long: the walk runs in a home folder that deep, with a picture and a
// folder whose names are long, wherever the temporary folder lies.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QScopedValueRollback>
#include <QTimer>

#include <functional>

#include "app/commands.h"
#include "acquire/scan_window.h"
#include "components/printer_choice.h"
#include "components/printer_choice_dialog.h"
#include "components/printer_dialogs.h"
#include "components/printer_setup.h"
#include "browser/thumbnail_area.h"
#include "browser/folder_open.h"
#include "frame/progress_window.h"
#include "support/accessibility.h"
#include "support/fake_print_server.h"
#include "support/sane_test_backend.h"
#include "support/window_check.h"
#include "support/program_fixture.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// A window larger than its screen's free area has parts the user cannot reach.
QStringList ScreenProblems(const QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen || window->isMaximized() || window->isFullScreen()) return {};
  const QSize area = screen->availableGeometry().size();
  const QSize frame = window->frameGeometry().size().expandedTo(window->size());
  if (frame.width() <= area.width() && frame.height() <= area.height()) return {};
  return {QStringLiteral("%1 x %2 pixels do not fit the screen's %3 x %4")
              .arg(frame.width())
              .arg(frame.height())
              .arg(area.width())
              .arg(area.height())};
}

// A label that leaves out part of its text must still give a screen reader
// all of it: each piece it shows stands, in order, in its description.
QStringList ShortenedProblems(const QWidget* window) {
  QStringList problems;
  for (const QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(window) || !label->text().contains(QChar(0x2026))) continue;
    const QString whole = label->accessibleDescription();
    qsizetype at = 0;
    for (const QString& piece : label->text().split(QChar(0x2026))) {
      at = whole.indexOf(piece, at);
      if (at < 0) break;
      at += piece.size();
    }
    if (at < 0 || whole.size() <= label->text().size())
      problems << QStringLiteral("label \"%1\" hides part of its text from a screen reader").arg(label->text());
  }
  return problems;
}

// Whether a screen reader can read `text` whole somewhere in the window:
// as a control's name, value or description, or an entry of a list.
bool Reads(QAccessibleInterface* face, const QString& text, int depth = 0) {
  if (!face) return false;
  for (const QAccessible::Text kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description})
    if (face->text(kind).contains(text)) return true;
  if (depth > 8) return false;
  for (int i = 0; i < face->childCount(); ++i)
    if (Reads(face->child(i), text, depth + 1)) return true;
  return false;
}

QStringList Unread(QWidget* window, const QString& text) {
  if (Reads(QAccessible::queryAccessibleInterface(window), text)) return {};
  return {window->windowTitle() + QStringLiteral(": a screen reader cannot read \"%1\" whole").arg(text)};
}

// Every check of the shared helper, on each page of the window's tabs.
QStringList Problems(QWidget* window, const std::function<QStringList()>& state = {}) {
  QStringList problems = ScreenProblems(window) + ShortenedProblems(window);
  const auto checkPage = [&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    problems << test::FitProblems(window) << test::FocusProblems(window) << test::AccessibilityProblems(window)
             << test::ToggleProblems(window, state);
  };
  const QList<QTabWidget*> tabs = window->findChildren<QTabWidget*>();
  if (tabs.isEmpty()) checkPage();
  for (QTabWidget* tab : tabs) {
    for (int page = 0; page < tab->count(); ++page) {
      tab->setCurrentIndex(page);
      checkPage();
    }
  }
  const QString title = window->windowTitle();
  for (QString& problem : problems) problem = title + QStringLiteral(": ") + problem;
  return problems;
}

void Close(QWidget* window) {
  if (auto* dialog = qobject_cast<QDialog*>(window)) {
    dialog->reject();
    if (dialog->isVisible()) dialog->done(QDialog::Rejected);
  } else {
    window->close();
  }
}

// Runs `open`, which shows a modal window over whatever is modal now; checks
// that window, lets `within` open what it opens in turn, and closes it. A
// command that asks again after the first window (a message, then a
// picker) has each of its windows checked and closed the same way.
QStringList VisitModal(const std::function<void()>& open,
                       const std::function<void(QWidget*, QStringList&)>& within = {}) {
  QStringList problems;
  QWidget* const outer = QApplication::activeModalWidget();
  bool seen = false;
  bool handling = false;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (handling || !modal || modal == outer) return;
    const QScopedValueRollback busy(handling, true);
    problems << Problems(modal);
    if (within && !seen) within(modal, problems);
    seen = true;
    Close(modal);
  });
  poll.start();
  open();
  poll.stop();
  if (!seen) problems << QStringLiteral("no window opened");
  return problems;
}

// Runs `open`, which shows windows that do not hold the program up; checks
// each and closes it.
QStringList VisitShown(const std::function<void()>& open) {
  QWidgetList before;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible()) before << window;
  open();
  QStringList problems;
  int shown = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || before.contains(window)) continue;
    ++shown;
    problems << Problems(window);
    window->close();
  }
  if (shown == 0) problems << QStringLiteral("no window opened");
  return problems;
}

// Presses the button `name` of `window`, which opens a modal window; lets
// `within` look at that window.
std::function<void(QWidget*, QStringList&)> Pressing(const QString& name,
                                                     const std::function<void(QWidget*, QStringList&)>& within = {}) {
  return [name, within](QWidget* window, QStringList& problems) {
    auto* button = window->findChild<QPushButton*>(name);
    if (!button) {
      problems << QStringLiteral("no button ") + name;
      return;
    }
    for (const QString& problem : VisitModal([button] { button->click(); }, within))
      problems << name + QStringLiteral(" opens: ") + problem;
  };
}

// One fault a line, so that a failure says every window's faults at once.
#define EXPECT_NONE(problems)                                  \
  do {                                                         \
    const QStringList found = (problems);                      \
    EXPECT_TRUE(found.isEmpty()) << found.join(QLatin1Char('\n')).toStdString(); \
  } while (false)

class WindowWalk : public test::ProgramTest {
 protected:
  static void SetUpTestSuite() {
    // A desktop's usual font, larger than Qt's own default, or the size asked for.
    const int points = qEnvironmentVariableIntValue("WALK_FONT_POINTS");
    QFont font = QApplication::font();
    font.setPointSize(points > 0 ? points : 11);
    QApplication::setFont(font);
  }

  void SetUp() override {
    ProgramTest::SetUp();
    // A home folder several hundred characters deep, made here, so that the
    // verdict does not depend on where the temporary folder lies.
    home_ = QDir::homePath();
    QString deep = home_;
    for (int level = 1; level <= 4; ++level)
      deep += QStringLiteral("/Folder %1 of a home that lies deep").arg(level).leftJustified(150, u'x');
    ASSERT_TRUE(QDir().mkpath(deep));
    qputenv("HOME", deep.toUtf8());
    photos_ = OpenAtStart(qPrintable(kLongFolder),
                          {kLongPicture, "beach.jpg", "garden.png", "portrait.jpeg", "scan.tiff"});
    test::UseSaneTestBackend();  // the scanner library starts with the main window
    Start().show();
    ASSERT_EQ(main_->thumbnailPanel()->table().ThumbCount(), 5);
  }

  void TearDown() override { qputenv("HOME", home_.toUtf8()); }

  // Names long enough that no window shows them whole: the first
  // thumbnail's picture, and the folder it lies in.
  static constexpr const char* kLongPicture =
      "A picture whose name goes on and on and on, as a phone or a camera never names one, "
      "but a user might after a long day of sorting the holiday photos by hand.jpg";
  inline static const QString kLongFolder =
      QStringLiteral("Walk photos in a folder whose name is as long as a folder's name may be")
          .leftJustified(200, u'-');

  // A thumbnail's picture on the page, selected there.
  void PictureOnPage() { DropOnPage(main_->thumbnailPanel()->table().ThumbFiles(1), 2160); }

  QStringList Command(const char* name, const std::function<void(QWidget*, QStringList&)>& within = {}) {
    QAction* item = main_->commands().Item(QString::fromLatin1(name));
    return VisitModal([item] { item->trigger(); }, within);
  }

  QString home_;
  QString photos_;
};

TEST_F(WindowWalk, MainWindow) {
  PictureOnPage();
  EXPECT_NONE(Problems(&*main_, [this] {
              return QStringList{QStringLiteral("reduce=%1").arg(int(app_->options.genReduce))};
            }));
}

// The data-folder window and Delete Saved Layout list the deep home folder
// among their drives.
TEST_F(WindowWalk, PreferencesAndWhatTheyOpen) {
  const QString home = QDir::homePath() + QLatin1Char('/');
  const auto readsHome = [&](QWidget* window, QStringList& problems) { problems << Unread(window, home); };
  EXPECT_NONE(Command("mnuFilePrefs", [&](QWidget* options, QStringList& problems) {
    for (const char* button : {"cmdLayOut", "cmdClean"}) Pressing(QLatin1String(button), readsHome)(options, problems);
    Pressing(QStringLiteral("cmdVol"))(options, problems);
  }));
}

// Each look of the folder picker shows the deep home folder as a drive, and
// the photo look the long folder's name above its pictures, the second time
// as the first.
TEST_F(WindowWalk, FolderPickerInEachLook) {
  const QString home = QDir::homePath() + QLatin1Char('/');
  for (const FolderPickMode mode : {FolderPickMode::Photo, FolderPickMode::CopyTo, FolderPickMode::Midi,
                                    FolderPickMode::Scan, FolderPickMode::DownloadTarget, FolderPickMode::Photo}) {
    app_->folders.copyMove = app_->folders.scan = app_->folders.midi = photos_;
    EXPECT_NONE(VisitModal([&] { main_->PickFolder(mode); }, [&](QWidget* picker, QStringList& problems) {
      problems << Unread(picker, home);
      if (mode == FolderPickMode::Photo)
        problems << Unread(picker, QDir(photos_).dirName() + QStringLiteral(" Photos"));
    }));
  }
}

TEST_F(WindowWalk, AboutBoxAndItsNotice) {
  EXPECT_NONE(Command("mnuHelpAbout", Pressing(QStringLiteral("cmdSoft"))));
}

// The about box and its notice at a desktop font of 16 points: at scale 1.5
// the screen is 720 pixels high.
TEST_F(WindowWalk, AboutBoxAtALargeFont) {
  const QFont kept = QApplication::font();
  QFont large = kept;
  large.setPointSize(16);
  QApplication::setFont(large);
  EXPECT_NONE(Command("mnuHelpAbout", Pressing(QStringLiteral("cmdSoft"))));
  QApplication::setFont(kept);
}

TEST_F(WindowWalk, PictureWindows) {
  main_->thumbnailPanel()->ThumbNailSelect(0, true);
  EXPECT_NONE(Command("mnuFileOptionsView"));
  EXPECT_NONE(Command("mnuFileOptionsProperties", [](QWidget* properties, QStringList& problems) {
    problems << Unread(properties, QLatin1String(kLongPicture));
  }));
  EXPECT_NONE(VisitShown([this] { main_->commands().Item(u"mnuViewSlide")->trigger(); }));
}

// Each names the long picture or shows the deep folder it lies in.
TEST_F(WindowWalk, FileCommandDialogs) {
  main_->thumbnailPanel()->ThumbNailSelect(0, true);
  for (const char* command : {"mnuFileOptionsRename", "mnuFileOptionsDelete"}) {
    EXPECT_NONE(Command(command, [](QWidget* box, QStringList& problems) {
      problems << Unread(box, QLatin1String(kLongPicture));
    }));
  }
  EXPECT_NONE(Command("mnuFileOptionsCopy"));
}

TEST_F(WindowWalk, PageLabel) {
  PictureOnPage();
  QPushButton* label = nullptr;
  for (QPushButton* button : main_->findChildren<QPushButton*>())
    if (button->text() == QLatin1String("Label...")) label = button;
  ASSERT_NE(label, nullptr);
  EXPECT_NONE(VisitModal([label] { label->click(); }));
}

TEST_F(WindowWalk, EffectDialogsAndPrompts) {
  for (const char* command : {"mnuToolEffectsBC", "mnuToolEffectsColorAdjust", "mnuToolEffectsColorColorize",
                              "mnuToolEffectsColorReplace", "mnuToolEffectsEmboss", "mnuToolEffectsMosaic"}) {
    PictureOnPage();
    EXPECT_NONE(Command(command));
  }
}

// Print Setup as it shows two queues (the private printing tests start a
// scheduler; the walk does not need one), and again while the print server
// keeps its answer; the download's first question.
TEST_F(WindowWalk, PrintSetupAndDownload) {
  const QPageSize letter(QPageSize::Letter);
  test::FakePrintServer server({PrinterQueue{"Office", "Second floor", true, {letter, QPageSize(QPageSize::A4)}, letter},
                                PrinterQueue{"Hall", "Hall", false, {letter}, letter}});
  {
    PrinterSetup queues(server, {"Office", letter, kPortrait});
    ASSERT_TRUE(test::RunUntil([&queues] { return queues.Answered(); })) << "the queues named";
    PrinterChoiceDialog setup(queues, &*main_);
    EXPECT_NONE(VisitModal([&] { setup.exec(); }));
  }
  test::FakePrintServer silent({}, false);
  PrinterSetup held(silent, {"Office", letter, kPortrait}, 0);
  ASSERT_TRUE(test::RunUntil([&held] { return !held.Note().isEmpty() && !held.Note().startsWith("Asking"); }))
      << "the note that the print server does not answer";
  PrinterChoiceDialog waiting(held, &*main_);
  EXPECT_NONE(VisitModal([&] { waiting.exec(); }));
  // Print's wait for the printer of its dialog, shown after a quiet moment.
  PrinterWait wait(silent, QStringLiteral("Accounting Floor Two Printer A"), 60000);
  QtPrinterDialogs dialogs(&*main_);
  EXPECT_NONE(VisitModal([&] { dialogs.Wait(wait); }));
  EXPECT_NONE(Command("mnufileDownloadDrive"));
}

// The scan window as it opens, and again with a scan in it.
TEST_F(WindowWalk, ScanWindow) {
  EXPECT_NONE(Command("mnuFileScan", [](QWidget* window, QStringList& problems) {
    auto* scan = qobject_cast<ScanWindow*>(window);
    if (!scan) return void(problems << QStringLiteral("not the scan window"));
    if (!test::RunUntil([scan] { return scan->optionsLabel()->text().startsWith(QLatin1String("Resolution")); }))
      return void(problems << QStringLiteral("the scanner did not open"));
    scan->scanButton()->click();
    if (!test::RunUntil([scan] { return scan->saveButton()->isEnabled(); }))
      return void(problems << QStringLiteral("the scan did not arrive"));
    problems << Problems(window);
  }));
}

// Windows that do not hold the program up: help and the progress window.
TEST_F(WindowWalk, HelpAndProgress) {
  EXPECT_NONE(VisitShown([this] { main_->commands().Item(u"mnuHelpContents")->trigger(); }));
  ProgressWindow& progress = main_->progressWindow();
  progress.show();
  EXPECT_NONE(Problems(&progress));
  progress.hide();
}

// A contact sheet of more pictures than a page holds shows "Next Page".
TEST_F(WindowWalk, ContactSheet) {
  for (int i = 0; i < 60; ++i)
    ASSERT_TRUE(test::WritePicture(photos_ + QStringLiteral("sheet%1.png").arg(i, 2, 10, QLatin1Char('0')), 16, 12));
  main_->folderOpener().OpenFromTree(photos_);
  main_->commands().Item(u"mnuViewThumb")->trigger();
  bool nextPage = false;
  for (const QPushButton* button : main_->findChildren<QPushButton*>())
    nextPage |= button->text() == QLatin1String("Next Page") && button->isVisible();
  EXPECT_TRUE(nextPage);
  EXPECT_NONE(Problems(&*main_));
}

}  // namespace
}  // namespace lumaset
