#include "layout/layout_page.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "browser/thumb_table.h"
#include "frame/app_state.h"
#include "frame/number_from_setting.h"
#include "layout/adjust_panel.h"
#include "layout/page_area.h"
#include "support/accessibility.h"
#include "support/slow_reader.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// The main window as far as the page reaches it, remembering what it was asked.
class FakeWindow : public LayoutPageWindow {
 public:
  void ToolEnable(const std::optional<PicturePlace>& place) override { tools = lumaset::ToolEnable(place); }
  void SetCommandEnabled(QStringView name, bool on) override { enabled[name.toString()] = on; }
  void SetCropChecked(bool on) override { cropChecked = on; }
  void SetUndoTip(const QString& tip) override { undoTip = tip; }
  void SetStatusText(const QString& text) override { status = text; }
  void PopupToolsMenu() override { ++toolsMenus; }
  // Chooses the menu's first entry, as a user picking Paste would.
  void PopupMenu(QMenu& menu) override { menu.actions().constFirst()->trigger(); }
  void ShowPreview(const QString& file, float) override { previews << file; }
  ThumbTable& Thumbs() override { return thumbs; }
  void DropSelection() override {
    thumbs.setThumbSel(-1);
    thumbs.setThumbHover(-1);
  }
  void ShowError(const QString& text) override { errors << text; }
  void ShowInformation(const QString& text) override { errors << text; }
  void PlaySound(Sound, Wait) override {}
  void FileNew() override { page->ClearPreview(); }
  bool ThumbSheet() override { return false; }
  Imaging::ProgressHandler ImagingProgress() override {
    return [this](int percent, bool&) { progress.push_back(percent); };
  }

  LayoutPage* page = nullptr;
  ThumbTable thumbs;
  ToolState tools;
  std::map<QString, bool> enabled;
  bool cropChecked = false;
  QString undoTip, status;
  int toolsMenus = 0;
  QStringList previews, errors;
  std::vector<int> progress;
};

ProgramFolders PrivateFolders() {
  ProgramFolders folders;
  folders.tempImages = test::freshFolder(QStringLiteral("temp")) + QLatin1Char('/');
  return folders;
}

QString Photo(const QString& folder, const char* name, int width, int height, Qt::GlobalColor color) {
  const QString path = folder + QLatin1Char('/') + QLatin1String(name);
  EXPECT_TRUE(test::WritePicture(path, width, height, "JPEG", color));
  return path;
}

// The page inside a window of its own: an 800 x 800 pixel page panel, no
// printer asked for, the program's default settings.
class LayoutPageTest : public ::testing::Test {
 protected:
  LayoutPageTest() : app(PrivateFolders()) {
    panPrev = new PagePanel(&frame);
    panAdjust = new QWidget(&frame);
    panPrev->resize(800, 800);
    page.emplace(app, window, panPrev, panAdjust);
    window.page = &*page;
    page->ClearPreview();
    const QString photos = test::freshFolder(QStringLiteral("photos"));
    wide = Photo(photos, "wide.jpg", 1600, 1200, Qt::red);
    tall = Photo(photos, "tall.jpg", 1200, 1600, Qt::blue);
  }

  PageModel& model() { return page->model(); }
  PageView* view() { return panPrev->page(); }

  void Add(const QString& file, QPointF centre, float width, float height) {
    PageEditState& edit = model().edit();
    edit.downX = static_cast<float>(centre.x());
    edit.downY = static_cast<float>(centre.y());
    edit.addWidth = width;
    edit.addHeight = height;
    page->PicAdd(file);
    page->FinishAdding();
  }
  void AddTwo() {
    Add(wide, {2500, 2500}, 2000, 1500);
    Add(tall, {6000, 7000}, 2000, 2667);
  }

  void Mouse(QEvent::Type type, QPointF twips, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF pixels = twips / view()->twipsPerPixel();
    QMouseEvent event(type, pixels, view()->mapToGlobal(pixels), button, held, Qt::NoModifier);
    QApplication::sendEvent(view(), &event);
  }
  // Hover, press, one move with the button held, release.
  void Drag(QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, from, button, button);
    Mouse(QEvent::MouseMove, to, Qt::NoButton, button);
    Mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
  }
  void Click(QPointF at, Qt::MouseButton button = Qt::LeftButton) { Drag(at, at, button); }
  QPointF Centre(int slot) {
    const PicBox& box = model().box(slot);
    return {box.left + box.width / 2, box.top + box.height / 2};
  }
  // A thumbnail of `wide`, under the pointer, dragged over the page.
  bool EnterWithThumbnail(QPoint at) {
    window.thumbs.start({wide});
    window.thumbs.setFacts(0, ThumbFacts{1600, 1200, 24, 0, false});
    window.thumbs.setThumbHover(0);
    carried.setData(ThumbnailPanel::kMimeType, wide.toUtf8());
    QDragEnterEvent enter(at, Qt::CopyAction, &carried, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view(), &enter);
    return enter.isAccepted();
  }
  // A picture's printed size in the page's unit.
  QSizeF Printed(int slot) {
    const PagePic& pic = model().pic(slot);
    return {pic.widthFrac * model().geometry().paperWidth, pic.heightFrac * model().geometry().paperHeight};
  }

  AppState app;
  FakeWindow window;
  QWidget frame;
  PagePanel* panPrev = nullptr;
  QWidget* panAdjust = nullptr;
  std::optional<LayoutPage> page;
  QString wide, tall;
  QMimeData carried;
};

TEST_F(LayoutPageTest, AddedPicturesAreSelectedAndStackedWithTheirToolsFollowing) {
  AddTwo();
  EXPECT_EQ(model().picCount(), 2);
  EXPECT_EQ(page->picCur(), 1);
  EXPECT_TRUE(page->shSelVisible());
  EXPECT_EQ(window.status, QStringLiteral("Layout contains 2 picture(s)"));
  EXPECT_FALSE(view()->picture(1).isNull());
  EXPECT_EQ(StackingOrder(model()), (std::vector<int>{0, 1}));
  const auto backAndFront = [this] { return std::pair(window.tools.back, window.tools.front); };
  EXPECT_EQ(backAndFront(), std::pair(true, false)) << "the newest picture is in front";
  Click(Centre(0));
  EXPECT_EQ(page->picCur(), 0);
  EXPECT_EQ(backAndFront(), std::pair(false, true));
  page->mnuToolPlaceFront_Click();
  EXPECT_EQ(StackingOrder(model()), (std::vector<int>{1, 0}));
  EXPECT_EQ(view()->SlotAt(Centre(0)), 0);
  EXPECT_EQ(backAndFront(), std::pair(true, false));
  EXPECT_EQ(window.undoTip, QStringLiteral("Undo last picture placement"));
}

TEST_F(LayoutPageTest, ThePageDrawsAndTakesClicksInTheModelsStackingOrderAsItIsNow) {
  Add(wide, {4000, 4000}, 3000, 2000);  // red
  Add(tall, {5000, 5000}, 3000, 4000);  // blue, in front
  const QPointF overlap(4500, 4500);
  const auto drawn = [this, overlap] {
    return view()->grab().toImage().pixelColor((overlap / view()->twipsPerPixel()).toPoint());
  };
  ASSERT_EQ(view()->SlotAt(overlap), 1);
  EXPECT_GT(drawn().blue(), 200);

  // A change of ranks that reaches the page without a new scene, as an undo
  // or a command elsewhere may make it; then two pictures sharing a rank,
  // drawn as they print: the later slot behind.
  for (const auto change : {+[](PageModel& m) { RankToFront(m, 0); },
                            +[](PageModel& m) { m.pic(1).zRank = m.pic(0).zRank; }}) {
    change(model());
    EXPECT_EQ(view()->SlotAt(overlap), 0);
    const QColor colour = drawn();
    EXPECT_TRUE(colour.red() > 200 && colour.blue() < 80) << colour.name().toStdString();
  }
  EXPECT_EQ(StackingOrder(model()), (std::vector<int>{1, 0}));
  page->mnuViewRefresh_Click();
  EXPECT_TRUE(drawn().red() > 200) << "a refresh draws the same";
}

TEST_F(LayoutPageTest, MouseMovesAndDeletionsAreUndoneStepByStep) {
  AddTwo();
  ASSERT_TRUE(page->picCur() == 1);
  ASSERT_TRUE(page->shSelVisible());
  page->mnuToolDelete_Click();
  EXPECT_EQ(model().picCount(), 1);
  EXPECT_EQ(view()->SlotAt(Centre(1)), -1) << "a deleted picture takes no clicks";
  EXPECT_EQ(window.status, QStringLiteral("Layout contains 1 picture(s)"));
  EXPECT_FALSE(window.tools.tools);

  const PicBox before = model().box(0);
  Drag(Centre(0), Centre(0) + QPointF(1000, 500));
  EXPECT_NEAR(model().box(0).left, before.left + 1000, 1);
  EXPECT_NEAR(model().box(0).top, before.top + 500, 1);
  EXPECT_EQ(window.undoTip, QStringLiteral("Undo last picture move"));

  page->mnuToolUndo_Click();
  EXPECT_NEAR(model().box(0).left, before.left, 1);
  EXPECT_NEAR(model().box(0).top, before.top, 1);
  EXPECT_FALSE(page->shSelVisible()) << "an undo leaves nothing selected";
  page->mnuToolUndo_Click();
  EXPECT_EQ(model().picCount(), 2);
  EXPECT_EQ(view()->SlotAt(Centre(1)), 1);
}

// Crop mode cuts the picture into a new temporary file; clearing the page
// removes those files with everything else the page held.
TEST_F(LayoutPageTest, CropAndClearPreview) {
  AddTwo();
  Click(Centre(0));
  page->mnuToolCrop_Click();
  EXPECT_TRUE(window.cropChecked);
  const PicBox before = model().box(0);
  const QPointF outside(before.left - 100, before.top + before.height / 2);
  Drag(outside, QPointF(before.left + 1000, outside.y()));

  const QString cropped = app.programFolders.tempImages + QStringLiteral("0-01.jpg");
  EXPECT_EQ(model().pic(0).file, cropped);
  EXPECT_NEAR(model().box(0).width, before.width - 1000, 1);
  EXPECT_NEAR(QImage(cropped).width(), 1600.0 * (before.width - 1000) / before.width, 2);
  EXPECT_EQ(window.undoTip, QStringLiteral("Undo last picture crop"));
  EXPECT_TRUE(window.cropChecked) << "crop mode is armed again for the next cut";
  EXPECT_TRUE(window.errors.isEmpty()) << window.errors.join(QLatin1Char('\n')).toStdString();
  page->mnuToolUndo_Click();
  EXPECT_EQ(model().pic(0).file, wide);
  EXPECT_NEAR(model().box(0).width, before.width, 1);

  page->mnuToolCopy_Click();
  ASSERT_FALSE(QDir(app.programFolders.tempImages).entryList({QStringLiteral("*.jpg")}).isEmpty());
  page->ClearPreview();
  EXPECT_TRUE(QDir(app.programFolders.tempImages).entryList({QStringLiteral("*.jpg")}).isEmpty());
  EXPECT_EQ(model().picLast(), -1);
  EXPECT_EQ(page->picCur(), -1);
  EXPECT_EQ(page->undo().stack().top(), 0);
  EXPECT_TRUE(model().edit().clipFile.isEmpty());
  EXPECT_TRUE(view()->picture(0).isNull());
  EXPECT_TRUE(view()->scene().drawOrder.empty());
  EXPECT_FALSE(page->shSelVisible());
  EXPECT_FALSE(window.cropChecked);
  EXPECT_FALSE(window.enabled[QStringLiteral("Undo")]);
  EXPECT_EQ(window.status, QStringLiteral("Undefined layout"));
  EXPECT_EQ(page->pagePanel()->caption(), QStringLiteral("Layout Preview: ")) << "the caption names no layout";
}

TEST_F(LayoutPageTest, TurningThePageKeepsEveryPrintedSize) {
  AddTwo();
  const QSizeF first = Printed(1);
  page->adjustPanel()->optLand()->click();
  EXPECT_GT(model().geometry().previewWidth, model().geometry().previewHeight);
  EXPECT_NEAR(Printed(1).width(), first.width(), 0.01);
  EXPECT_NEAR(Printed(1).height(), first.height(), 0.01);
  page->adjustPanel()->optPort()->click();
  EXPECT_TRUE(model().geometry().portrait);
}

TEST_F(LayoutPageTest, OnlyAThumbnailDroppedOnThePageIsAddedAtTheDropFrame) {
  QMimeData other;
  other.setText(wide);
  QDragEnterEvent foreign(QPoint(100, 100), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view(), &foreign);
  EXPECT_FALSE(foreign.isAccepted()) << "only thumbnails are taken";

  // A default width between the presets leaves the list without a row; the
  // default itself sizes the picture then.
  for (const float width : {3.5f, 5.5f}) {
    app.options.layOutWidth = width;
    page->ClearPreview();
    page->PageRefresh();
    EXPECT_NEAR(NumberFromSetting(page->Readings().presetWidthText), width, 0.001);
    const QPointF drop(4000, 5000);
    const QPointF pixels = drop / view()->twipsPerPixel();
    EXPECT_TRUE(EnterWithThumbnail(pixels.toPoint()));
    QDropEvent dropped(pixels, Qt::CopyAction, &carried, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view(), &dropped);
    page->FinishAdding();
    ASSERT_EQ(model().picCount(), 1) << width;
    EXPECT_EQ(model().pic(0).file, wide);
    EXPECT_NEAR(model().box(0).width, width / 8.5 * model().geometry().previewWidth, 1) << width;
    const PageGeometry& paper = model().geometry();
    EXPECT_NEAR(model().box(0).height / paper.previewHeight * paper.paperHeight,
                0.75 * model().box(0).width / paper.previewWidth * paper.paperWidth, 0.01) << width;
    EXPECT_NEAR(Centre(0).x(), drop.x(), 1);
    EXPECT_EQ(window.thumbs.ThumbHover(), -1);
  }
}

TEST_F(LayoutPageTest, ThumbnailTakenAwayAgainLeavesTheNextClickAlone) {
  AddTwo();
  const PicBox selected = model().box(1);
  EnterWithThumbnail(QPoint(100, 100));
  QDragLeaveEvent leave;
  QApplication::sendEvent(view(), &leave);
  Click(Centre(0));
  EXPECT_EQ(page->picCur(), 0);
  EXPECT_EQ(model().box(1), selected) << "the picture selected before the drag keeps its size";
  EXPECT_EQ(model().picCount(), 2);
}

// With click-to-add on, a click takes the selected thumbnail at once: a
// second click on the page, or one on a placed picture, while its picture
// is still read adds nothing more. The click on the picture, and the width
// typed after it, wait for the new picture and then act as asked.
TEST_F(LayoutPageTest, AClickAddsTheSelectedThumbnailOnceWhileItsPictureIsRead) {
  Add(wide, {2500, 2500}, 2000, 1500);
  const float added = model().box(0).width;
  app.options.genClick = true;
  window.thumbs.start({tall});
  window.thumbs.setThumbSel(0);
  std::tie(model().edit().addWidth, model().edit().addHeight) = std::pair(2000.f, 2667.f);
  test::SlowReader gate;
  page->setReader(gate.reader());
  Click({6000, 7000});
  ASSERT_TRUE(test::RunUntil([&] { return gate.reading(); })) << "the thumbnail's read at the gate";
  Click({6500, 7500});
  Click(Centre(0));
  page->adjustPanel()->txtWidth()->setText(QStringLiteral("1"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(page->adjustPanel()->txtWidth(), &enter);
  EXPECT_EQ(model().box(0).width, added) << "the width waits for the picture being added";
  // The thumbnail selected again is taken by the next click at once, and
  // its picture comes after what waited before it.
  window.thumbs.setThumbSel(0);
  Click({3000, 9000});
  EXPECT_EQ(window.thumbs.ThumbSel(), -1);
  gate.open();
  page->FinishAdding();
  EXPECT_EQ(model().picLast(), 2);
  EXPECT_EQ(std::pair(model().pic(1).file, model().pic(2).file), std::pair(tall, tall));
  EXPECT_NEAR(model().box(0).width, model().geometry().previewWidth / 8.5, 1) << "one inch wide";
  EXPECT_NEAR(model().box(1).width, 2000, 5);
  EXPECT_NEAR(Centre(2).y(), 9000, view()->twipsPerPixel()) << "where the click was";
  EXPECT_EQ(page->undo().stack().entry(3).kind, UndoKind::Size) << "the width, then the last addition";
  EXPECT_EQ(page->picCur(), 2);
}

// With click-to-add, a picture that lands while the next thumbnail is
// already selected, or already pressed onto the page, is only selected:
// that thumbnail comes once, where its own click puts it.
TEST_F(LayoutPageTest, APictureLandingMeanwhileLeavesTheNextThumbnailToItsOwnClick) {
  app.options.genClick = true;
  std::tie(model().edit().addWidth, model().edit().addHeight) = std::pair(2000.f, 1500.f);
  window.thumbs.start({wide, tall});
  const auto landing = [this](QPointF at, const std::function<void()>& meanwhile) {
    test::SlowReader gate;
    page->setReader(gate.reader());
    window.thumbs.setThumbSel(0);
    Click(at);
    ASSERT_TRUE(test::RunUntil([&] { return gate.reading(); })) << "the first picture's read at the gate";
    window.thumbs.setThumbSel(1);
    meanwhile();
    gate.open();
    page->FinishAdding();
  };
  landing({2000, 2000}, [] {});
  EXPECT_EQ(std::pair(model().picCount(), window.thumbs.ThumbSel()), std::pair(1, 1)) << "nothing added of its own";
  Click({6000, 8000});
  const QPointF pressed(2500, 9000);
  landing({5000, 2000}, [&] { Mouse(QEvent::MouseButtonPress, pressed, Qt::LeftButton, Qt::LeftButton); });
  EXPECT_EQ(page->picCur(), 2) << "the landed picture is selected";
  Mouse(QEvent::MouseButtonRelease, pressed, Qt::LeftButton, Qt::NoButton);
  page->FinishAdding();

  ASSERT_EQ(model().picCount(), 4);
  const std::vector<QPointF> asked{{2000, 2000}, {6000, 8000}, {5000, 2000}, pressed};
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(model().pic(slot).file, slot % 2 == 0 ? wide : tall) << slot;
    EXPECT_NEAR(Centre(slot).x(), asked[slot].x(), view()->twipsPerPixel()) << slot;
    EXPECT_NEAR(Centre(slot).y(), asked[slot].y(), view()->twipsPerPixel()) << slot;
  }
}

TEST_F(LayoutPageTest, WidthBoxSpinnerAndLabelButtonWorkThroughThePanel) {
  PageAdjustPanel& panel = *page->adjustPanel();
  EXPECT_EQ(test::AccessibilityProblems(&panel), QStringList());
  EXPECT_FALSE(panel.cmdPrinter()->isEnabled());
  EXPECT_EQ(panel.PresetWidthText(), QStringLiteral("3.5 in width"));

  AddTwo();
  panel.txtWidth()->setText(QStringLiteral("3"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(panel.txtWidth(), &enter);
  const PageGeometry& geometry = model().geometry();
  EXPECT_NEAR(model().box(1).width, 3 / 8.5 * geometry.previewWidth, 0.5);
  EXPECT_EQ(panel.labHeight()->text(), QStringLiteral("4.00"));
  EXPECT_EQ(window.undoTip, QStringLiteral("Undo last picture resize"));
  emit panel.upDown1()->upClicked();
  EXPECT_EQ(panel.WidthText(), QStringLiteral("3.10"));
  EXPECT_NEAR(model().box(1).width, 3.1 / 8.5 * geometry.previewWidth, 0.5);

  // The dialog is answered as soon as it is up.
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<LabelDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->text1()->setText(QStringLiteral("Summer"));
    dialog->cmdOK_Click();
  });
  panel.cmdLabel()->click();
  EXPECT_EQ(model().edit().labelText, QStringLiteral("Summer"));
  ASSERT_TRUE(view()->scene().label.has_value());
  EXPECT_EQ(view()->scene().label->text, QStringLiteral("Summer"));
}

TEST_F(LayoutPageTest, PopupsDoubleClickAndEscapeReachTheWindow) {
  AddTwo();
  Click(Centre(1), Qt::RightButton);
  EXPECT_EQ(window.toolsMenus, 1);
  EXPECT_EQ(page->picCur(), 1);
  page->mnuToolCopy_Click();
  const QSizeF copied(model().box(1).width, model().box(1).height);

  Click(QPointF(7000, 2000), Qt::RightButton);  // Paste, chosen from the page's popup
  page->FinishAdding();
  ASSERT_EQ(model().picCount(), 3);
  EXPECT_NEAR(Centre(2).x(), 7000, 1);
  EXPECT_NEAR(model().box(2).width, copied.width(), 15);
  EXPECT_EQ(model().pic(2).file, tall);

  const QPointF pixels = Centre(0) / view()->twipsPerPixel();
  QMouseEvent twice(QEvent::MouseButtonDblClick, pixels, view()->mapToGlobal(pixels), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view(), &twice);
  EXPECT_EQ(window.previews, QStringList{wide});

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(view(), &escape);
  EXPECT_TRUE(app.abortRequested);

  app.imaging().setProgressEnabled(true);
  ASSERT_TRUE(app.imaging().LoadFile(wide).ok());
  EXPECT_EQ(window.progress.front(), 0);
  EXPECT_EQ(window.progress.back(), 100);
}

}  // namespace
}  // namespace lumaset
