#include "layout/printed_width.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "layout/fake_page_host.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class PrintedWidthTest : public ::testing::Test {
 protected:
  void SetUp() override { test::LetterPage(page); }

  void Centimetres() {
    PageGeometry& geometry = page.geometry();
    std::tie(geometry.inches, geometry.paperWidth, geometry.paperHeight) = std::tuple(false, 21.6f, 28.0f);
    geometry.noPrintLeft = geometry.noPrintTop = 1.2f;
  }

  // A picture selected on the page, `aspect` times as tall as wide.
  int Selected(float aspect) {
    const int slot = test::PlacePicture(page, 2000, 3000, 2000, 2000 * aspect);
    page.setPicCur(slot);
    return slot;
  }

  void Enter(const char* text) {
    host.widthText = QString::fromLatin1(text);
    width.EnterPressed();
  }

  PageModel page;
  test::FakePageHost host{page};
  PageUndo undo{page, host};
  PrintedWidth width{page, undo, host};
};

TEST(PrintedNumbersTest, TwoDecimalsRoundHalvesToEven) {
  for (auto [value, text] : {std::pair{0.125, "0.12"}, {0.375, "0.38"}, {7.5, "7.50"}, {10.0, "10.00"},
                             {0.625, "0.62"}, {static_cast<double>(2.675f), "2.67"}}) {
    EXPECT_EQ(FormatPrinted(value), QString::fromLatin1(text)) << value;
  }
}

TEST_F(PrintedWidthTest, WithoutASelectedPictureOnlyTheTextIsCleaned) {
  struct Case { bool inches; const char *typed, *shown; };
  for (const Case& c : {Case{true, "abc", "0.50"}, Case{true, "", "0.50"}, Case{true, "-2", "0.50"},
                        Case{false, "abc", "1.00"}, Case{false, "-2", "1.00"}, Case{true, "12", "7.50"}}) {
    test::LetterPage(page);
    if (!c.inches) Centimetres();
    Enter(c.typed);
    EXPECT_EQ(host.widthText, QString::fromLatin1(c.shown)) << c.typed;
    EXPECT_FALSE(width.widthTyped()) << "a typed width waits for no later change";
  }
  EXPECT_EQ(undo.stack().top(), 0);
  EXPECT_EQ(host.redraws, 0);
}

TEST_F(PrintedWidthTest, ATypedWidthIsLimitedByThePrintableArea) {
  struct Case { bool portrait; float aspect; const char *typed, *shown, *height; };
  // Letter 8.5 x 11 in, strips 0.5 in: printable 7.5 x 10 in; turned, 11 x 8.5 in.
  for (const Case& c : {Case{true, 0.5f, "12", "7.50", "3.75"}, Case{true, 2.0f, "6", "5.00", "10.00"},
                        Case{true, 1.0f, "3", "3.00", "3.00"}, Case{false, 2.0f, "6", "3.75", "7.50"}}) {
    page.Clear();
    test::LetterPage(page);
    if (!c.portrait) {
      PageGeometry& geometry = page.geometry();
      std::swap(geometry.paperWidth, geometry.paperHeight);
      std::swap(geometry.previewWidth, geometry.previewHeight);
      geometry.portrait = false;
    }
    const int slot = Selected(c.aspect);
    Enter(c.typed);
    EXPECT_EQ((QStringList{host.widthText, host.heightText}), (QStringList{c.shown, c.height})) << c.typed;
    EXPECT_TRUE(test::SameBox(page.box(slot), PicBox{2000, 3000, host.widthText.toFloat() * 1000,
                                                     host.heightText.toFloat() * 1000, true}))
        << "the top-left corner stays";
    EXPECT_EQ(host.toolSlot, slot);
  }
}

TEST_F(PrintedWidthTest, ATypedOrSteppedWidthRecordsOneStepThatUndoes) {
  const int slot = Selected(0.5f);
  const PicBox before = page.box(slot);
  Enter("4");
  EXPECT_EQ(undo.stack().top(), 1);
  EXPECT_EQ(host.undoTip, QStringLiteral("Undo last picture resize"));
  undo.UndoTool();
  EXPECT_TRUE(test::SameBox(page.box(slot), before));

  page.setPicCur(slot);
  for (auto [up, from, to] : {std::tuple{true, "3.00", "3.10"}, {false, "0.50", "0.50"}, {true, "7.50", "7.50"}}) {
    host.widthText = QString::fromLatin1(from);
    up ? width.SpinUp() : width.SpinDown();
    EXPECT_EQ(host.widthText, QString::fromLatin1(to)) << from;
  }
  EXPECT_EQ(undo.stack().top(), 3) << "one step for each";
  width.WidthChange();  // as the mouse calls it: no step of its own
  EXPECT_EQ(undo.stack().top(), 3);
  Centimetres();
  for (auto [from, to] : {std::pair{"1.00", "1.00"}, {"5.00", "4.80"}}) {
    host.widthText = QString::fromLatin1(from);
    width.SpinDown();
    EXPECT_EQ(host.widthText, QString::fromLatin1(to)) << from;
  }
}

TEST_F(PrintedWidthTest, FullSizeFillsThePrintableAreaFromItsCorner) {
  struct Case { bool portrait; float aspect; const char *shown, *height; };
  for (const Case& c : {Case{true, 0.5f, "7.50", "3.75"}, Case{true, 2.0f, "5.00", "10.00"},
                        Case{false, 0.25f, "7.50", "1.88"}}) {
    page.Clear();
    test::LetterPage(page);
    page.geometry().portrait = c.portrait;
    page.edit().layoutTitle = QStringLiteral("Album");
    const int slot = Selected(c.aspect);
    const int steps = undo.stack().top();
    width.FullSize();
    EXPECT_EQ((QStringList{host.widthText, host.heightText}), (QStringList{c.shown, c.height}));
    // A thousand preview twips to the printed inch.
    const float shownWidth = QString::fromLatin1(c.shown).toFloat(), shownHeight = QString::fromLatin1(c.height).toFloat();
    EXPECT_TRUE(test::SameBox(page.box(slot), PicBox{500, 500, shownWidth * 1000, shownHeight * 1000, true}))
        << c.aspect;
    EXPECT_EQ(undo.stack().top(), steps + 1);
    EXPECT_TRUE(host.on("mnuFileSave"));
  }
}

}  // namespace
}  // namespace lumaset
