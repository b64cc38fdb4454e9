#include <gtest/gtest.h>

#include <QLabel>
#include <QScopeGuard>

#include "app/main_window.h"
#include "components/printer_device.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"
#include "support/held_print_server.h"
#include "support/print_scheduler_fixture.h"
#include "support/program_fixture.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using PrinterAtStartTest = test::ProgramTest;

// The print server takes the questions and answers none until told to: the
// window is made and shown meanwhile, laid out for No Printer, and the
// default printer arrives with the answer.
TEST_F(PrinterAtStartTest, TheWindowComesBeforeThePrintServersAnswerAndThePrinterWithIt) {
  NEED_SCHEDULER(cups);
  const QByteArray scheduler = qgetenv("CUPS_SERVER");
  const QString socket = test::SchedulerState().root->filePath(QStringLiteral("held.sock"));
  test::HeldPrintServer server(socket, QString::fromLocal8Bit(scheduler), 15);
  ASSERT_TRUE(server.Listening());
  qputenv("CUPS_SERVER", server.Path());
  const auto back = qScopeGuard([&scheduler] { qputenv("CUPS_SERVER", scheduler); });

  MainWindow& window = Start();
  EXPECT_FALSE(server.AnsweredByItself()) << "the window was made only once the print server answered";
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "No Printer");
  EXPECT_FALSE(app_->printer().PrinterReady());
  EXPECT_TRUE(test::RunUntil([&] { return server.Asked(); })) << "nobody asked the print server within 10 s";
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "No Printer") << "while the server holds its answer";

  server.Answer();
  ASSERT_TRUE(test::RunUntil([&] { return app_->printer().PrinterReady(); }))
      << "the default printer did not reach the window within 10 s of the server's answer";
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "Capture");
  const PageGeometry& page = window.layoutPage().model().geometry();
  EXPECT_EQ((std::vector<float>{page.paperWidth, page.paperHeight, page.noPrintLeft, page.noPrintTop}),
            (std::vector<float>{8.5f, 11.0f, 0.25f, 0.5f}))
      << "the page is laid out for the queue's paper and strips";
}

// The queues belong to whoever runs the tests: root's run checks an
// ordinary user's as well.
TEST(PrinterAtStartOrdinaryUserTest, AnOrdinaryUserGetsItsPrinterAfterTheWindowToo) {
  if (!test::PrivatePrintScheduler::Installed()) GTEST_SKIP() << "CUPS is not installed here";
  const test::ProgramRun run = test::RunAsOrdinaryUser(
      QStringLiteral("PrinterAtStartTest.TheWindowComesBeforeThePrintServersAnswerAndThePrinterWithIt"), 28);
  ASSERT_TRUE(run.ended) << (run.errors.isEmpty() ? QByteArray("the start-up test did not end within 28 s") : run.errors).toStdString();
  EXPECT_EQ(run.exitCode, 0) << run.output.toStdString() << run.errors.toStdString();
  EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test.")) << run.output.toStdString();
}

}  // namespace
}  // namespace lumaset
