#include "layout/page_geometry.h"

#include <gtest/gtest.h>

#include "fake_drawing_host.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::DrawingRig;
using test::LetterPrinter;

TEST(PageGeometryTest, PrinterNameLosesItsServerAndLongNamesTheirStart) {
  const struct { const char *device, *shown; } cases[] = {
      {"\\\\PRINTSRV\\Laser2", "Laser2"}, {"Office_Laser", "Office_Laser"},
      {"a\\b\\", "b\\"},  // a backslash at the very end is no separator
      {"\\", "\\"}, {"", ""},
      {"ABCDEFGHIJKLMNOPQRSTUVWXY", "ABCDEFGHIJKLMNOPQRSTUVWXY"},     // 25 whole
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "...EFGHIJKLMNOPQRSTUVWXYZ"},    // 26: "..." + last 22
      {"\\\\srv\\ABCDEFGHIJKLMNOPQRSTUVWXYZ", "...EFGHIJKLMNOPQRSTUVWXYZ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortPrinterName(QString::fromLatin1(c.device)), QString::fromLatin1(c.shown)) << c.device;
  }
  EXPECT_EQ((QStringList{PrinterCaption(PrinterFacts{}), PrinterCaption(LetterPrinter())}),
            (QStringList{"No Printer", "Office"}));
}

TEST(PageGeometryTest, PresetsAndCaptionsFollowTheUnit) {
  const QStringList inches = WidthPresets(true);
  const QStringList centimetres = WidthPresets(false);
  ASSERT_EQ(std::pair(inches.size(), centimetres.size()), std::pair(qsizetype{12}, qsizetype{17}));
  EXPECT_EQ(inches.back(), QStringLiteral("10.0 in width"));
  EXPECT_EQ((QStringList{centimetres.front(), centimetres.back()}), (QStringList{"4.0 cm width", "20.0 cm width"}));
  EXPECT_EQ((QStringList{UnitCaptions(true)[0], UnitCaptions(false)[2]}),
            (QStringList{"Default Width (in)", "Layout Width (cm)"}));
  EXPECT_EQ(std::tuple(PresetIndex(inches, 3.5f), PresetIndex(inches, 3.7f), PresetIndex(centimetres, 3.5f),
                       PresetIndex(centimetres, 7.0f)),
            std::tuple(3, -1, -1, 3));
}

TEST(PageGeometryTest, PaperComesFromThePrinterOrTurnsWithThePageWithoutOne) {
  EXPECT_EQ(DefaultPaper(true, true), (Paper{8.5f, 11.0f, 0.5f, 0.5f}));
  EXPECT_EQ(DefaultPaper(false, true), (Paper{21.6f, 28.0f, 1.2f, 1.2f}));
  // Turned with the page, so that turning never distorts a picture.
  EXPECT_EQ(DefaultPaper(true, false), (Paper{11.0f, 8.5f, 0.5f, 0.5f}));
  EXPECT_EQ(DefaultPaper(false, false), (Paper{28.0f, 21.6f, 1.2f, 1.2f}));

  const PrinterFacts letter = LetterPrinter(kLandscape, 360);
  EXPECT_EQ(PaperOf(letter, true, true), (Paper{11.0f, 8.5f, 0.25f, 0.25f}));
  const Paper centimetres = PaperOf(letter, false, true);
  EXPECT_EQ(centimetres.width, static_cast<float>(15840 / 566.9394));
  EXPECT_EQ(centimetres.noPrintTop, static_cast<float>(360 / 566.9394));

  EXPECT_EQ(*PrinterResolution(PrinterFacts{}, DefaultPaper(false, true)), 300.0f);
  EXPECT_FLOAT_EQ(*PrinterResolution(LetterPrinter(), PaperOf(LetterPrinter(), true, true)), 600.0f);
  PrinterFacts noWidth = LetterPrinter();
  noWidth.noPrintLeftTwips = noWidth.pageWidthTwips / 2;
  EXPECT_FALSE(PrinterResolution(noWidth, PaperOf(noWidth, true, true)).ok());
}

TEST(PageGeometryTest, FontScaleMeasuresAcrossInPortraitAndDownInLandscape) {
  const Paper letter = DefaultPaper(true, true);
  // A page drawn 8.5 x 11 in on the screen shows one pixel per pixel of a point.
  EXPECT_FLOAT_EQ(FontScaleFor(PortraitCase(PrinterFacts{}, true), true, letter, 9180, 0, 15), 1.0f);
  EXPECT_FLOAT_EQ(FontScaleFor(PortraitCase(LetterPrinter(kLandscape), true), true, letter, 0, 5940, 15),
                  0.5f);
}

// The width field after a refresh, with the page's own numbers.
TEST(PageGeometryTest, WidthFieldIsLimitedToThePrintablePage) {
  const struct { PrinterFacts printer; bool portrait; const char *typed, *shown; } cases[] = {
      {LetterPrinter(kLandscape, 360), false, "12", "10.50"},
      {LetterPrinter(kLandscape, 360), false, "9", "9.00"},
      {PrinterFacts{}, true, "8", "7.73"},  // printable height 10 over 11/8.5
      {PrinterFacts{}, true, "5", "5.00"},
      {PrinterFacts{}, true, "none", "0.00"},
  };
  for (const auto& c : cases) {
    DrawingRig rig;
    rig.host.printer = c.printer;
    rig.model.geometry().portrait = c.portrait;
    rig.host.widthField = QString::fromLatin1(c.typed);
    rig.refresh.Run();
    EXPECT_EQ(rig.host.widthField, QString::fromLatin1(c.shown)) << c.typed;
    EXPECT_TRUE(rig.host.errors.isEmpty());
  }
}

TEST(PageGeometryTest, RefreshWritesTheGeometryOfTheUnit) {
  DrawingRig rig;
  rig.options.scaleType = QStringLiteral("centimetres, please");
  rig.options.layOutWidth = 3.5f;
  rig.refresh.Run();
  const PageGeometry& page = rig.model.geometry();
  EXPECT_FALSE(page.inches);
  EXPECT_EQ(std::tuple(page.paperWidth, page.paperHeight, page.noPrintLeft, page.printerRes),
            std::tuple(21.6f, 28.0f, 1.2f, 300.0f));
  EXPECT_EQ(std::pair(rig.host.presets.size(), rig.host.presetSelected), std::pair(qsizetype{17}, -1));
  EXPECT_EQ((QStringList{rig.host.captions[0], rig.host.printerName}),
            (QStringList{"Default Width (cm)", "No Printer"}));

  rig.options.scaleType = QStringLiteral("Inches");
  rig.host.printer = LetterPrinter();
  rig.refresh.Run();
  EXPECT_EQ(std::pair(page.paperWidth, page.noPrintTop), std::pair(8.5f, 0.25f));
  EXPECT_FLOAT_EQ(page.printerRes, 600.0f);
  EXPECT_EQ(rig.host.presetSelected, 3);
  EXPECT_EQ(rig.host.printerName, QStringLiteral("Office"));
}

TEST(PageGeometryTest, PrinterWithoutPaperStopsTheRefreshWithItsMessage) {
  DrawingRig rig;
  rig.host.printer = LetterPrinter();
  rig.host.printer.pageHeightTwips = 0;
  rig.refresh.Run();
  EXPECT_EQ(rig.host.errors, QStringList{NonStandardPrinterText()});
  EXPECT_TRUE(rig.host.pagesShown == 0) << "the page stays as it was drawn";
  EXPECT_TRUE(rig.host.toolCalls.empty()) << "the page stays as it was drawn";

  rig.host.errors.clear();
  rig.host.printer = LetterPrinter();
  rig.host.printer.noPrintLeftTwips = rig.host.printer.pageWidthTwips / 2;
  rig.refresh.Run();
  ASSERT_EQ(rig.host.errors.size(), 1);
  EXPECT_TRUE(rig.host.errors[0].startsWith(QStringLiteral("PageRefresh error: ")));
}

}  // namespace
}  // namespace lumaset
