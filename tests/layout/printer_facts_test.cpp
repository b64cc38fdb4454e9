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

  const auto facts = [](const PrinterFacts& f) {
    return QList<int>{f.ready,           f.pageWidthTwips, f.pageHeightTwips, f.noPrintLeftTwips,
                      f.noPrintTopTwips, f.printableDots,  f.orientation};
  };
  EXPECT_EQ(facts(FactsOf(printer)), (QList<int>{true, 12240, 15840, 360, 720, 8 * 600, kPortrait}));
  printer.setPageOrientation(QPageLayout::Landscape);
  EXPECT_EQ(facts(FactsOf(printer)), (QList<int>{true, 15840, 12240, 720, 360, 10 * 600, kLandscape}))
      << "the strips turn with the paper";
}

TEST(PrinterFactsTest, WithoutAPrinterItIsAPdfWriterOnThePagesPaper) {
  // An unreachable print server: the start-up path of a machine without printers.
  qputenv("CUPS_SERVER", QFile::encodeName(test::freshFolder("cups") + "/none.sock"));
  PrinterDevice device;
  ASSERT_FALSE(device.PrinterReady());
  EXPECT_EQ(device.DeviceName(), QString());
  const auto facts = [&device] {
    const PrinterFacts f = device.Facts();
    return QList<int>{f.ready, f.pageWidthTwips, f.pageHeightTwips, f.noPrintLeftTwips, f.noPrintTopTwips,
                      f.orientation};
  };
  EXPECT_EQ(facts(), (QList<int>{false, 12240, 15840, 720, 720, kPortrait}));
  device.SetPaperWithoutPrinter(15874, 12246, 680, 680);  // 28.0 x 21.6 cm, turned
  EXPECT_EQ(facts(), (QList<int>{false, 15874, 12246, 680, 680, kLandscape}));
  EXPECT_TRUE(device.SetOrientation(kPortrait).ok());
  EXPECT_EQ(device.Orientation(), kPortrait);
  EXPECT_FALSE(device.StartDoc(QStringLiteral("Lumaset Page"), QString()).ok()) << "a PDF needs a file";
}

}  // namespace
}  // namespace lumaset
