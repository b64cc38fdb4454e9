#include "layout/page_mouse.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>

#include <utility>
#include <vector>

#include "browser/thumb_table.h"
#include "components/imaging/imaging.h"
#include "layout/fake_page_host.h"
#include "layout/printed_width.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using Step = std::pair<QString, QString>;

// A main window that remembers what the page's mouse asked of it. Its width
// change is the page's own, with its limits.
class FakeMouseHost : public PageMouseHost {
 public:
  explicit FakeMouseHost(PageModel& page) : model(page) {}

  void ToolEnable(bool enable, int slot) override {
    log << QStringLiteral("ToolEnable(%1,%2)").arg(enable).arg(slot);
    mouse->FollowToolEnable(enable, slot);
  }
  Status UndoAdd(const QString& kind, const QString& tip) override {
    if (!undoFailure.isEmpty()) return Error{undoFailure};
    undo.emplace_back(kind, tip);
    return Status::success();
  }
  void UndoAbandon() override { undo.pop_back(); }
  void SetPicture(int, const QImage&) override {}
  void ShowError(const QString& text) override { errors << text; }
  Imaging& imaging() override { return imgx; }
  QString TempImagesFolder() const override { return folder; }
  float ImageRes() const override { return 350; }
  void PicAdd(const QString& file) override {
    const PageEditState& edit = model.edit();
    added.emplace_back(file, QRectF(edit.downX, edit.downY, edit.addWidth, edit.addHeight));
    model.edit().dragAdd = false;
    thumbs.setThumbSel(-1);
    thumbs.setThumbHover(-1);
  }
  void WidthChange() override {
    editHost.widthText = widthText;
    width.WidthChange();
    widthText = editHost.widthText;
    if (editHost.toolSlot >= 0) ToolEnable(true, editHost.toolSlot);
  }
  void SetWidthText(const QString& text) override { widthText = text; }
  void EnableSave() override { ++saveEnabled; }
  void PopupToolsMenu() override { log << QStringLiteral("ToolsMenu"); }
  void PopupPasteMenu() override { log << QStringLiteral("PasteMenu"); }
  void ShowPreview(const QString&, float) override {}
  void ShowFrame(const SelectionFrame&) override {}
  void ShowPictures() override {}
  void SetPicturePointer(int, PointerShape) override {}
  void SetPictureTip(int, const QString& text) override { pictureTip = text; }
  void SetPagePointer(PointerShape) override {}
  void SetPageTip(const QString& text) override { pageTip = text; }
  void ShowCropMode(bool on) override { cropShown = on; }
  void PlayToolSound() override { ++toolSounds; }
  void RequestAbort() override {}
  ThumbTable& Thumbs() override { return thumbs; }
  bool GenClick() const override { return genClick; }
  QString PresetWidthText() const override { return preset; }

  PageModel& model;
  test::FakePageHost editHost{model};
  PageUndo undoStack{model, editHost};
  PrintedWidth width{model, undoStack, editHost};
  PageMouse* mouse = nullptr;
  Imaging imgx;
  ThumbTable thumbs;
  QString folder;
  QString undoFailure;
  bool genClick = false;
  QString preset = QStringLiteral("3.5 in width");

  QStringList log, errors;
  std::vector<Step> undo;
  std::vector<std::pair<QString, QRectF>> added;
  QString widthText, pictureTip, pageTip;
  int saveEnabled = 0, toolSounds = 0;
  bool cropShown = false;
};

// The page's values are 32-bit floats: compared within a hundredth of a twip.
void ExpectNear(const FrameRect& actual, const FrameRect& expected, const char* what = "") {
  for (const auto& [a, e] : {std::pair{actual.left, expected.left}, {actual.top, expected.top},
                             {actual.width, expected.width}, {actual.height, expected.height}})
    EXPECT_NEAR(a, e, 0.01) << what;
}

// Letter paper in portrait, 1440 preview twips to the printed inch, and one
// picture of 2 x 1.5 in at (1 in, 1 in).
class PageMouseTest : public ::testing::Test {
 protected:
  PageMouseTest() {
    host.mouse = &mouse;
    model.geometry().previewWidth = 12240;
    model.geometry().previewHeight = 15840;
    host.thumbs.start({QStringLiteral("/photos/a.jpg"), QStringLiteral("/photos/b.jpg")});
    host.thumbs.setFacts(0, ThumbFacts{1600, 1200, 24, 0, false});
    host.thumbs.setFacts(1, ThumbFacts{1200, 1600, 24, 0, false});
    test::ShowPicture(model, 0, kStart, QStringLiteral("/photos/placed.jpg"));
  }

  // A gesture in page points: hover, press, moves with the button held, release.
  void Drag(QPointF from, const std::vector<QPointF>& path, int button = kLeftButton, int slot = 0) {
    mouse.MoveAt(from, 0, slot);
    mouse.PressAt(from, button, button, slot);
    for (const QPointF& point : path) mouse.MoveAt(point, button, -1);
    mouse.ReleaseAt(path.empty() ? from : path.back(), button, 0, -1);
  }
  void Select() {
    Drag(kCentre, {});
    host.undo.clear();
  }

  static constexpr PicBox kStart{1440, 1440, 2880, 2160, true};
  static constexpr QPointF kCentre{2880, 2520};
  PageModel model;
  FakeMouseHost host{model};
  PageMouse mouse{model, host};
};

TEST_F(PageMouseTest, ClickSelectsAndMoveCommitsOnlyBeyondTenTwips) {
  struct Case { float dx; QString title; bool committed; };
  const Case cases[] = {
      {0, {}, false}, {10, {}, false}, {-10, {}, false}, {11, {}, true}, {11, QStringLiteral("Trip"), true}};
  for (const Case& c : cases) {
    model.box(0) = kStart;
    model.edit().layoutTitle = c.title;
    host.undo.clear();
    host.saveEnabled = 0;
    Drag(kCentre, {QPointF(2000, 2000), QPointF(kCentre.x() + c.dx, kCentre.y())});
    EXPECT_EQ(model.picCur(), 0);
    EXPECT_EQ(model.box(0), (PicBox{1440 + (c.committed ? c.dx : 0), 1440, 2880, 2160, true})) << c.dx;
    ASSERT_EQ(host.undo.size(), c.committed ? 1u : 0u) << c.dx;
    if (c.committed) {
      EXPECT_EQ(host.undo[0], Step(QStringLiteral("Move"), QStringLiteral("Undo last picture move")));
      EXPECT_FLOAT_EQ(model.pic(0).leftFrac, (1440 + c.dx) / 12240);
    }
    EXPECT_EQ(host.saveEnabled, c.committed && !c.title.isEmpty() ? 1 : 0) << c.dx;
    EXPECT_EQ(host.widthText, QStringLiteral("2.00"));
    EXPECT_TRUE(mouse.frame().visible);
    EXPECT_TRUE(!model.edit().moving);
    EXPECT_EQ(mouse.frame().rect, BoxRect(model.box(0))) << "the frame lies on the picture again";
  }
  EXPECT_EQ(mouse.frame().handles[3], QPointF(1451 + 2880 - 50, 1440 + 2160 - 50));
  EXPECT_EQ(host.pictureTip, QStringLiteral("Image 1 (2.00 x 1.50 in)"));
}

TEST_F(PageMouseTest, LongDiagonalDragFollowsThePointerOnlyWithTheLeftButton) {
  Select();
  // Up and to the left from the centre, across where the corner zones of the
  // unmoved picture lie, and off the page.
  std::vector<QPointF> path;
  for (int step = 1; step <= 20; ++step) path.emplace_back(2880 - step * 200, 2520 - step * 200);
  Drag(kCentre, path);
  EXPECT_EQ(model.box(0), (PicBox{1440 - 4000, 1440 - 4000, 2880, 2160, true}));
  EXPECT_LT(model.pic(0).leftFrac, 0);
  EXPECT_EQ(host.undo.size(), 1u);

  const float left = model.box(0).left;
  mouse.imPreview_MouseDown(0, kLeftButton, 100, 100);
  for (int buttons : {0, kRightButton}) {
    mouse.imPreview_MouseMove(0, buttons, 600, 600);
    EXPECT_EQ(mouse.frame().rect.left, left) << buttons;
  }
  mouse.imPreview_MouseMove(0, kLeftButton, 600, 600);
  EXPECT_EQ(mouse.frame().rect.left, left + 500);
}

TEST_F(PageMouseTest, CornerZonesOnlyInsideThePictureBetweenGestures) {
  Select();
  struct Case { float x, y; PointerShape shape; };
  const Case cases[] = {{10, 10, PointerShape::SizeNwSe},   {2870, 10, PointerShape::SizeNeSw},
                        {10, 2150, PointerShape::SizeNeSw}, {2870, 2150, PointerShape::SizeNwSe},
                        {105, 105, PointerShape::SizeNwSe}, {106, 1000, PointerShape::Custom},
                        {-50, -50, PointerShape::Custom},   {2900, 2200, PointerShape::Custom}};
  for (const Case& c : cases) {
    mouse.imPreview_MouseMove(0, 0, c.x, c.y);
    EXPECT_EQ(mouse.picturePointer(0), c.shape) << c.x << "," << c.y;
  }
  mouse.imPreview_MouseDown(0, kLeftButton, 1000, 1000);
  mouse.imPreview_MouseMove(0, kLeftButton, 10, 10);
  EXPECT_EQ(mouse.picturePointer(0), PointerShape::Custom) << "no corner during a move";
  EXPECT_TRUE(model.edit().moving);
}

TEST_F(PageMouseTest, SizingFromEachCornerKeepsCentreAndAspect) {
  struct Case { const char* corner; QPointF grab; float dragX; FrameRect frame; };  // grab, dragX: from the picture
  const FrameRect larger{720, 900, 4320, 3240};
  const Case cases[] = {{"bottom right", {2870, 2150}, 4320, larger},
                        {"top right", {2870, 10}, 4320, larger},
                        {"top left", {10, 10}, -1440, larger},
                        {"bottom left", {10, 2150}, -1440, larger},
                        {"to the middle", {2870, 2150}, 1440, {2160, 1980, 1440, 1080}}};
  for (const Case& c : cases) {
    model.box(0) = kStart;
    Select();
    const QPointF grab(1440 + c.grab.x(), 1440 + c.grab.y());
    mouse.MoveAt(grab, 0, 0);
    mouse.PressAt(grab, kLeftButton, kLeftButton, 0);
    ASSERT_TRUE(model.edit().sizing) << c.corner;
    mouse.MoveAt(QPointF(grab.x(), grab.y() + 3000), kLeftButton, -1);
    EXPECT_NEAR(mouse.frame().rect.width, 2880, 10) << "the pointer's height counts for nothing";
    mouse.MoveAt(QPointF(1440 + c.dragX, 9000), kLeftButton, -1);
    ExpectNear(mouse.frame().rect, c.frame, c.corner);
    mouse.ReleaseAt(QPointF(1440 + c.dragX, 9000), kLeftButton, 0, -1);

    ASSERT_EQ(host.undo.size(), 1u) << c.corner;
    EXPECT_EQ(host.undo[0], Step(QStringLiteral("Size"), QStringLiteral("Undo last picture resize")));
    ExpectNear(BoxRect(model.box(0)), c.frame, c.corner);
    EXPECT_TRUE(!model.edit().sizing);
    EXPECT_TRUE(mouse.picturePointer(0) == PointerShape::Custom);
  }
}

TEST_F(PageMouseTest, SizingBeyondThePrintableWidthStopsAtIt) {
  Select();
  const QPointF grab(1440 + 2870, 1440 + 2150);
  mouse.MoveAt(grab, 0, 0);
  mouse.PressAt(grab, kLeftButton, kLeftButton, 0);
  mouse.MoveAt(QPointF(20000, 9000), kLeftButton, -1);
  mouse.ReleaseAt(QPointF(20000, 9000), kLeftButton, 0, -1);
  EXPECT_EQ(host.widthText, QStringLiteral("7.50")) << "letter paper less two half-inch strips";
  EXPECT_NEAR(model.box(0).width, 7.5 * 1440, 0.5);
  EXPECT_NEAR(model.box(0).height, 5.62 * 1440, 0.5) << "from the height as shown, 5.625 to 5.62";
}

TEST_F(PageMouseTest, LeavingCropModeLetsACornerDragSizeAgain) {
  Select();
  mouse.mnuToolCrop_Click();
  Drag(kCentre, {});  // a click on the picture while crop mode waits
  mouse.mnuToolCrop_Click();
  EXPECT_FALSE(model.edit().moving);
  EXPECT_FALSE(model.edit().sizing);
  const QPointF corner(1440 + 2870, 1440 + 2150);
  mouse.MoveAt(corner, 0, 0);
  EXPECT_EQ(mouse.picturePointer(0), PointerShape::SizeNwSe);
  mouse.PressAt(corner, kLeftButton, kLeftButton, 0);
  EXPECT_TRUE(model.edit().sizing);
  EXPECT_FALSE(model.edit().moving);
}

TEST_F(PageMouseTest, RightButtonOpensTheToolsMenuSizesFromACornerOrPastes) {
  Drag(QPointF(9000, 9000), {}, kRightButton, -1);
  EXPECT_TRUE(host.log.isEmpty()) << "a right press does nothing; nothing to paste";
  model.edit().clipFile = QStringLiteral("/photos/a.jpg");
  mouse.ReleaseAt(QPointF(9000, 9500), kRightButton, 0, -1);
  EXPECT_EQ(host.log, QStringList{QStringLiteral("PasteMenu")});
  EXPECT_EQ(model.edit().downY, 9500) << "the paste point";

  host.log.clear();
  Drag(QPointF(2000, 2000), {}, kRightButton);
  EXPECT_EQ(model.picCur(), 0);
  EXPECT_TRUE(host.log.contains(QStringLiteral("ToolsMenu")));
  EXPECT_FALSE(model.edit().moving);

  host.log.clear();
  mouse.MoveAt(QPointF(1450, 1450), 0, 0);
  mouse.PressAt(QPointF(1450, 1450), kRightButton, kRightButton, 0);
  EXPECT_TRUE(model.edit().sizing);
  EXPECT_FALSE(host.log.contains(QStringLiteral("ToolsMenu")));
}

TEST_F(PageMouseTest, FailedUndoPushLeavesThePictureSelectedWhereItWas) {
  Select();
  host.undoFailure = QStringLiteral("No room.");
  Drag(kCentre, {QPointF(3880, 2520)});
  EXPECT_EQ(host.errors, QStringList{QStringLiteral("Error moving/sizing image: No room.")});
  EXPECT_EQ(model.box(0), kStart);
  EXPECT_TRUE(mouse.frame().visible);
  EXPECT_TRUE(mouse.frame().rect == BoxRect(kStart));
}

TEST_F(PageMouseTest, ClickToAddOnThePageAndOnAPicture) {
  host.thumbs.setThumbSel(1);
  Select();
  Drag(QPointF(8000, 9000), {}, kLeftButton, -1);
  EXPECT_TRUE(host.added.empty()) << "without the option a click only deselects";
  EXPECT_FALSE(mouse.frame().visible);

  host.genClick = true;
  model.edit().addWidth = 500;
  model.edit().addHeight = 400;
  Drag(QPointF(8000, 9000), {QPointF(8100, 9100)}, kLeftButton, -1);
  Drag(QPointF(8000, 9000), {}, kLeftButton, -1);
  ASSERT_EQ(host.added.size(), 1u) << "the selection went with the first addition";
  EXPECT_EQ(host.added[0], std::make_pair(QStringLiteral("/photos/b.jpg"), QRectF(8100, 9100, 500, 400)));

  // On a placed picture the press does not select it; the release adds.
  host.thumbs.setThumbSel(0);
  model.setPicCur(-1);
  Drag(QPointF(2000, 2000), {QPointF(2100, 2200)});
  EXPECT_EQ(model.picCur(), -1);
  ASSERT_EQ(host.added.size(), 2u);
  EXPECT_EQ(host.added[1].second.topLeft(), QPointF(2100, 2200));
  EXPECT_FALSE(model.edit().dragAdd);
}

// A picture the program selects (one just turned, its pointer left on a
// corner by the user's last hover) is only selected: no size is started
// from the old frame, and an armed click-to-add stays the user's.
TEST_F(PageMouseTest, ASelectionTheProgramMakesStartsNothing) {
  Select();
  mouse.imPreview_MouseMove(0, 0, 10, 10);
  ASSERT_EQ(mouse.picturePointer(0), PointerShape::SizeNwSe);
  std::swap(model.box(0).width, model.box(0).height);
  const PicBox turned = model.box(0);
  host.genClick = true;
  host.thumbs.setThumbSel(1);
  model.edit().dragAdd = true;
  mouse.SelectAsClicked(0);
  EXPECT_EQ(model.box(0), turned);
  EXPECT_TRUE(host.undo.empty());
  EXPECT_EQ(mouse.frame().rect, BoxRect(turned)) << "the frame lies on the turned picture";
  EXPECT_TRUE(host.added.empty());
  EXPECT_TRUE(model.edit().dragAdd) << "the user's press still adds on its release";
}

TEST_F(PageMouseTest, DropFrameTakesThePresetWidthAndThePictureAspect) {
  host.thumbs.setThumbHover(0);
  mouse.DragOverAt(QPointF(6000, 8000), true, -1);
  ExpectNear(mouse.frame().rect, FrameRect{6000 - 2520, 8000 - 1890, 5040, 3780});
  EXPECT_TRUE(model.edit().dragAdd);

  // Metric paper, a tall thumbnail, dropped over a placed picture.
  model.geometry().inches = false;
  model.geometry().paperWidth = 21.6f;
  model.geometry().paperHeight = 28.0f;
  host.preset = QStringLiteral("4.0 cm width");
  host.thumbs.setThumbHover(1);
  mouse.DragOverAt(QPointF(2000, 2000), true, 0);
  EXPECT_NEAR(mouse.frame().rect.width, 4 / 21.6 * 12240, 0.01);
  EXPECT_NEAR(mouse.frame().rect.height, 4.0 * 4 / 3 / 28 * 15840, 0.01);
  mouse.DropAt(QPointF(2000, 2000), 0);
  ASSERT_EQ(host.added.size(), 1u);
  EXPECT_EQ(host.added[0].first, QStringLiteral("/photos/b.jpg"));
  EXPECT_EQ(host.added[0].second.topLeft(), QPointF(2000, 2000));

  host.log.clear();
  mouse.DropAt(QPointF(2000, 2000), -1);
  EXPECT_EQ(host.log, QStringList{QStringLiteral("ToolEnable(0,-1)")}) << "nothing hovered: only deselects";
  host.thumbs.setThumbHover(0);
  mouse.DragOverAt(QPointF(100, 100), false, -1);
  EXPECT_FALSE(model.edit().dragAdd) << "a drag from elsewhere places nothing";

  mouse.imPreview_MouseMove(0, 0, 5, 5);
  EXPECT_EQ(host.pictureTip, QStringLiteral("Image 1 (5.08 x 3.82 cm)"));
  mouse.picPreview_MouseMove(6120, 7920);
  EXPECT_EQ(host.pageTip, QStringLiteral("10.80 -- 14.00 cm"));
}

TEST_F(PageMouseTest, CropGestureCutsTheDraggedEdgeAndArmsAgain) {
  host.folder = test::freshFolder(QStringLiteral("mouse-crop")) + QStringLiteral("/");
  model.pic(0).file = host.folder + QStringLiteral("photo.png");
  ASSERT_TRUE(test::WritePicture(model.pic(0).file, 400, 300));
  Select();
  mouse.mnuToolCrop_Click();
  EXPECT_TRUE(host.cropShown);
  mouse.MoveAt(QPointF(1440 - 200, 2000), 0, -1);
  EXPECT_EQ(mouse.pagePointer(), PointerShape::Cross);
  mouse.MoveAt(QPointF(1440 - 199, 2000), 0, -1);
  EXPECT_EQ(host.pageTip, QStringLiteral("Cropping"));

  // Press 100 twips left of the picture and drag its left edge an inch in.
  Drag(QPointF(1340, 2000), {QPointF(2880, 2100)}, kLeftButton, -1);
  EXPECT_EQ(model.pic(0).file, host.folder + QStringLiteral("0-01.jpg"));
  EXPECT_EQ(QImage(model.pic(0).file).size(), QSize(200, 300));
  EXPECT_EQ(model.box(0), (PicBox{2880, 1440, 1440, 2160, true}));
  EXPECT_EQ(host.undo,
            std::vector<Step>{Step(QStringLiteral("Crop"), QStringLiteral("Undo last picture crop"))});
  EXPECT_EQ(host.widthText, QStringLiteral("1.00"));
  EXPECT_TRUE(model.edit().cropArmed) << "armed again";
  EXPECT_TRUE(mouse.cropChecked()) << "armed again";
  EXPECT_TRUE(host.cropShown) << "armed again";
  EXPECT_EQ(host.toolSounds, 2);

  // A middle-button gesture crops nothing and leaves the item checked.
  Drag(QPointF(2780, 2000), {QPointF(3500, 2000)}, kMiddleButton, -1);
  EXPECT_EQ(host.undo.size(), 1u);
  EXPECT_TRUE(!model.edit().cropArmed);
  EXPECT_TRUE(mouse.cropChecked());

  // A crop that fails keeps the picture, selected, with crop mode armed.
  model.pic(0).file = host.folder + QStringLiteral("gone.jpg");
  mouse.mnuToolCrop_Click();
  mouse.mnuToolCrop_Click();
  Drag(QPointF(2780, 2000), {QPointF(3500, 2000)}, kLeftButton, -1);
  ASSERT_EQ(host.errors.size(), 1);
  EXPECT_TRUE(host.errors[0].startsWith(QStringLiteral("Error editing image: ")));
  EXPECT_EQ(host.undo.size(), 1u) << "the failed crop's step was taken back";
  EXPECT_EQ(model.box(0), (PicBox{2880, 1440, 1440, 2160, true}));
  EXPECT_TRUE(mouse.frame().visible);
  EXPECT_TRUE(model.edit().cropArmed);
}

}  // namespace
}  // namespace lumaset
