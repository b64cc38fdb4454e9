#include "frame/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QToolBar>
#include <QAction>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include "browser/folder_tree.h"

#include "browser/thumbnail_area.h"
#include "frame/app_state.h"
#include "frame/commands.h"
#include "frame/help_window.h"
#include "layout/page_area.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// Each test starts the program afresh on its own settings file and folders.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(SettingsStore(QStringLiteral("Lumaset")).filePath());
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/Lumaset"))
        .removeRecursively();
  }

  static void Store(const QString& key, const QString& text) {
    SettingsStore store(QStringLiteral("Lumaset"));
    store.writeSetting(key, text);
    ASSERT_TRUE(store.sync().ok());
  }

  static QString Stored(const QString& key) {
    return SettingsStore(QStringLiteral("Lumaset")).readSetting(key, QString());
  }

  static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

TEST_F(MainWindowTest, FirstStartFitsTheScreenAndKeepsThePreviewSquare) {
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();

  EXPECT_TRUE(app.formReady);
  EXPECT_TRUE(app.thumbsIdle);
  EXPECT_TRUE(Screen().contains(window.frameGeometry())) << "a first window never passes the screen";
  const QRect preview = window.pagePanel()->geometry();
  EXPECT_NEAR(preview.width(), preview.height(), 1);
  // Width minus height of a normal window is the tree's width plus 1800 twips.
  const int rule = 2160 + 1800;
  EXPECT_NEAR(window.OuterWidthTwips() - window.OuterHeightTwips(), rule, 2 * window.twipsPerPixel());
  EXPECT_EQ(window.pagePanel()->caption(), QStringLiteral("Layout Preview: Undefined layout"));
  EXPECT_TRUE(QFileInfo(app.folders.layouts + QStringLiteral("Sample.lsf")).isFile());
  EXPECT_TRUE(QFileInfo(app.programFolders.tempImages).isDir());
}

TEST_F(MainWindowTest, CorruptStoredPlacementIsClampedToTheScreen) {
  Store(QStringLiteral("MainLeft"), QStringLiteral("-5000"));
  Store(QStringLiteral("MainTop"), QStringLiteral("nonsense"));
  Store(QStringLiteral("MainWidth"), QStringLiteral("1e9"));
  Store(QStringLiteral("MainHeight"), QStringLiteral("-20"));
  Store(QStringLiteral("DirTreeWidth"), QStringLiteral("99999"));

  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  EXPECT_TRUE(Screen().contains(window.frameGeometry()));
  EXPECT_LT(window.dirTree()->width() * window.twipsPerPixel(), 4000);
}

TEST_F(MainWindowTest, ShutDownSavesThePlacementAndRemovesTemporaryPictures) {
  int treeWidth = 0;
  QString tempImages;
  {
    AppState app(LocateProgramFolders());
    MainWindow window(app);
    window.FormLoad();
    tempImages = app.programFolders.tempImages;
    QFile picture(tempImages + QStringLiteral("3-07.jpg"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.close();
    window.help().show(HelpCommand::Contents, 0);
    ASSERT_NE(window.help().window(), nullptr);

    ASSERT_TRUE(window.close());
    treeWidth = window.dirTree()->width();
    EXPECT_FALSE(window.help().window() && window.help().window()->isVisible());
  }
  EXPECT_FALSE(QFileInfo::exists(tempImages)) << "the temporary pictures and their folder go";
  EXPECT_FALSE(Stored(QStringLiteral("MainWidth")).isEmpty());
  EXPECT_FALSE(Stored(QStringLiteral("MainLeft")).isEmpty());
  EXPECT_NEAR(Stored(QStringLiteral("DirTreeWidth")).toDouble(), 2160, 1);
  EXPECT_GT(treeWidth, 0);

  // The next start comes back where the last one ended.
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  EXPECT_NEAR(window.OuterWidthTwips(), Stored(QStringLiteral("MainWidth")).toDouble(),
              2 * window.twipsPerPixel());
}

TEST_F(MainWindowTest, CloseIsRefusedWhileThumbnailsAreBeingMade) {
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  app.thumbsIdle = false;
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());

  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(app.abortRequested);
  app.thumbsIdle = true;
  EXPECT_TRUE(window.close());
}

TEST_F(MainWindowTest, SplitterDragWidensTheTreeWithinItsBounds) {
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  QWidget* bar = window.splitterBar();
  const int before = window.dirTree()->width();

  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(41, 10), bar->mapToGlobal(QPointF(41, 10)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &move);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(41, 10));
  EXPECT_NEAR(window.dirTree()->width(), before + 40, 2);
  EXPECT_FALSE(window.splitter().dragging());

  // A drag past the upper bound leaves the tree where it was.
  const int widened = window.dirTree()->width();
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2000, 10));
  EXPECT_NEAR(window.dirTree()->width(), widened, 1);
}

TEST_F(MainWindowTest, StartWithOpenFolderOnMakesTheLastFoldersThumbnails) {
  const QString photos = test::freshFolder(QStringLiteral("photos")) + QLatin1Char('/');
  for (const char* name : {"b.jpg", "A.jpg", "c.png"}) {
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(photos + QLatin1String(name)));
  }
  Store(QStringLiteral("GenOpen"), QStringLiteral("True"));
  Store(QStringLiteral("Folder"), photos);

  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  const ThumbTable& table = window.thumbnailPanel()->table();
  ASSERT_EQ(table.ThumbCount(), 3);
  EXPECT_TRUE(table.ThumbFiles(0).endsWith(QStringLiteral("A.jpg"))) << "sorted without regard to case";
  EXPECT_TRUE(app.thumbsIdle);
  EXPECT_TRUE(window.dirTree()->isEnabled());
  EXPECT_TRUE(window.pagePanel()->isEnabled());

  // Another folder opened from the tree becomes the stored folder.
  const QString empty = test::freshFolder(QStringLiteral("empty")) + QLatin1Char('/');
  window.folderOpener().OpenFromTree(empty);
  EXPECT_EQ(window.thumbnailPanel()->table().ThumbCount(), 0);
  EXPECT_EQ(app.folders.current, empty);
  EXPECT_EQ(Stored(QStringLiteral("Folder")), empty);
  EXPECT_TRUE(window.close());
}

TEST_F(MainWindowTest, ViewMenuHidesAndShowsTheToolbarAndTheStatusBar) {
  AppState app(LocateProgramFolders());
  MainWindow window(app);
  window.FormLoad();
  QAction* toolbar = window.commands().Item(u"mnuViewToolbar");
  toolbar->trigger();
  EXPECT_FALSE(window.commands().toolBar()->isVisible());
  EXPECT_FALSE(toolbar->isChecked());
  toolbar->trigger();
  EXPECT_TRUE(window.commands().toolBar()->isVisible());
  EXPECT_TRUE(toolbar->isChecked());
}

}  // namespace
}  // namespace lumaset
