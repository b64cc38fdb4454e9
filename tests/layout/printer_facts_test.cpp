#include "components/printer_device.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPageLayout>
#include <QPrinter>

#include "support/test_support.h"

namespace lumaset {
namespace {

// A printer object printing to a file stands for a queue: its page layout
// carries the strips a queue's driver would report.
TEST(PrinterFactsTest, PageFactsInTwipsTurnWithTheOrientation) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setResolution(600);
  // Strips of a quarter inch at the sides and half an inch at top and bottom.
  const QMarginsF strips(18, 36, 18, 36);
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, strips,
                                    QPageLayout::Point, strips));

  const PrinterFacts upright = FactsOf(printer);
  EXPECT_TRUE(upright.ready);
  EXPECT_EQ(upright.pageWidthTwips, 12240);
  EXPECT_EQ(upright.pageHeightTwips, 15840);
  EXPECT_EQ(upright.noPrintLeftTwips, 360);
  EXPECT_EQ(upright.noPrintTopTwips, 720);
  EXPECT_EQ(upright.printableDots, 8 * 600);
  EXPECT_EQ(upright.orientation, kPortrait);

  printer.setPageOrientation(QPageLayout::Landscape);
  const PrinterFacts turned = FactsOf(printer);
  EXPECT_EQ(turned.pageWidthTwips, 15840);
  EXPECT_EQ(turned.pageHeightTwips, 12240);
  EXPECT_EQ(turned.noPrintLeftTwips, 720) << "the strips turn with the paper";
  EXPECT_EQ(turned.noPrintTopTwips, 360);
  EXPECT_EQ(turned.printableDots, 10 * 600);
  EXPECT_EQ(turned.orientation, kLandscape);
}

TEST(PrinterFactsTest, NoPrinterHasNoFactsAndCannotTurn) {
  qputenv("CUPS_SERVER", QFile::encodeName(test::freshFolder(QStringLiteral("cups")) +
                                           QStringLiteral("/none.sock")));
  PrinterDevice device;
  ASSERT_FALSE(device.PrinterReady());
  EXPECT_EQ(device.Facts(), PrinterFacts{});
  EXPECT_EQ(device.Orientation(), kPortrait);
  EXPECT_FALSE(device.SetOrientation(kLandscape).ok());
}

}  // namespace
}  // namespace lumaset
