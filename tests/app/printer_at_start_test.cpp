#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <tuple>

#include "app/commands.h"
#include "app/main_window.h"
#include "components/printer_choice_dialog.h"
#include "components/printer_device.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"
#include "layout/orientation.h"
#include "support/held_print_server.h"
#include "support/print_scheduler_fixture.h"
#include "support/program_fixture.h"
#include "support/slow_reader.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using PrinterAtStartTest = test::ProgramTest;

// The print server takes the questions and answers none until told to: the
// window is made and shown meanwhile, laid out for No Printer, and the
// default printer arrives with the answer.
TEST_F(PrinterAtStartTest, TheWindowComesBeforeThePrintServersAnswerAndThePrinterWithIt) {
  NEED_SCHEDULER(cups);
  test::HeldInFront server(test::SchedulerState().root->filePath(QStringLiteral("held.sock")), 15);
  ASSERT_TRUE(server.Listening());

  MainWindow& window = Start();
  EXPECT_FALSE(server.AnsweredByItself()) << "the window was made only once the print server answered";
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "No Printer");
  EXPECT_FALSE(app_->printer().PrinterReady());
  EXPECT_TRUE(test::RunUntil([&] { return server.Asked(); })) << "nobody asked the print server within 20 s";
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "No Printer") << "while the server holds its answer";

  server.Answer();
  ASSERT_TRUE(test::RunUntil([&] { return app_->printer().PrinterReady(); }))
      << "the default printer did not reach the window within 20 s of the server's answer";
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "Capture");
  const PageGeometry& page = window.layoutPage().model().geometry();
  EXPECT_EQ((std::vector<float>{page.paperWidth, page.paperHeight, page.noPrintLeft, page.noPrintTop}),
            (std::vector<float>{8.5f, 11.0f, 0.25f, 0.5f}))
      << "the page is laid out for the queue's paper and strips";
}

// Each test's print server, in front of the private scheduler: it holds
// its answers until told to answer, and CUPS is pointed at it until the
// test ends.
struct HeldServerTest : test::ProgramTest {
  std::unique_ptr<test::HeldInFront> server;
  void SetUp() override {
    test::ProgramTest::SetUp();
    if (!test::PrivatePrintScheduler::Installed()) GTEST_SKIP() << "CUPS is not installed here";
    ASSERT_NE(test::RunningPrintScheduler(), nullptr)
        << "the private print scheduler did not start: " << test::SchedulerState().problem.toStdString();
    const QString socket = test::SchedulerState().root->filePath(QStringLiteral("held.sock"));
    server = std::make_unique<test::HeldInFront>(socket, 15);
    ASSERT_TRUE(server->Listening());
  }
};

// Counts the paint events a widget gets.
struct Paints : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Print Setup opens at once while the print server keeps its answer: the
// window paints meanwhile, the dialog takes input, says that the server
// does not answer, and shows its queues once it does; OK then waits for the
// printer of the queue chosen.
TEST_F(HeldServerTest, PrintSetupOpensWhileThePrintServerHoldsItsAnswerAndTakesItWhenItComes) {
  MainWindow& window = Start();
  app_->printer().SetPatience(300);
  Paints paints;
  window.installEventFilter(&paints);
  QString held, answered;
  QStringList rows;
  bool painted = false, closed = false;
  QTimer::singleShot(0, &window, [&] {
    auto* dialog = dynamic_cast<PrinterChoiceDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    const QString silent = QStringLiteral("The print server does not answer: Print writes a PDF file until it does.");
    if (test::RunUntil([&] { return dialog->note()->text() == silent; })) held = dialog->note()->text();
    const int before = paints.count;
    window.update();
    painted = test::RunUntil([&] { return paints.count > before; });
    dialog->landscape()->click();
    server->Answer();
    if (test::RunUntil([&] { return dialog->printers()->count() == 3; })) {
      for (int row = 0; row < 3; ++row) rows << dialog->printers()->itemText(row);
    }
    answered = dialog->note()->isVisible() ? dialog->note()->text() : QString();
    dialog->printers()->setCurrentIndex(dialog->printers()->findText(QStringLiteral("Second")));
    dialog->ok()->click();
    closed = test::RunUntil([&] { return !dialog->isVisible(); });
    if (!closed) dialog->reject();
  });
  window.commands().Item(u"mnuFilePrintSetup")->trigger();
  EXPECT_FALSE(server->AnsweredByItself()) << "Print Setup waited for the print server";
  EXPECT_FALSE(held.isEmpty()) << "no note within 20 s that the print server does not answer";
  EXPECT_TRUE(painted) << "the window did not paint within 20 s while Print Setup was open";
  EXPECT_EQ(rows, (QStringList{"Capture", "Papers", "Second"})) << "the queues within 20 s of the server's answer";
  EXPECT_EQ(answered, QString());
  EXPECT_TRUE(closed) << "OK did not close Print Setup within 20 s with the printer made for Second";
  EXPECT_EQ(window.layoutPage().adjustPanel()->printerName()->text(), "Second");
  const PageGeometry& page = window.layoutPage().model().geometry();
  EXPECT_FALSE(page.portrait);
  EXPECT_NEAR(page.paperWidth, 842 / 72.f, 0.01f) << "A4 turned";
}

// A printer found late is turned as the page is, and waits for the pictures
// still being added, which land on the page as it was when they were asked for.
TEST_F(HeldServerTest, APrinterFoundLateWaitsForPicturesBeingAddedAndTakesThePagesTurn) {
  MainWindow& window = Start();
  LayoutPage& page = window.layoutPage();
  page.orientation().OptionClicked(false);  // the Landscape option clicked
  test::SlowReader gate;
  page.setReader(gate.reader());
  const QString photo = test::freshFolder(QStringLiteral("found-late")) + QStringLiteral("/photo.png");
  ASSERT_TRUE(test::WritePicture(photo, 64, 48));
  PageEditState& edit = page.model().edit();
  std::tie(edit.downX, edit.downY, edit.addWidth, edit.addHeight) = std::tuple(3000.f, 3000.f, 2880.f, 1440.f);
  page.PicAdd(photo);
  ASSERT_TRUE(test::RunUntil([&gate] { return gate.reading(); })) << "the picture's read at the gate";

  server->Answer();
  // The search ends, and closes its connection, after it handed its printer on.
  ASSERT_TRUE(test::RunUntil([&] { return server->Taken() > 0 && server->Open() == 0; }))
      << "the search for the default printer did not end within 20 s of the server's answer";
  QCoreApplication::processEvents();
  EXPECT_FALSE(app_->printer().PrinterReady()) << "the printer was taken while a picture was being added";
  gate.open();
  ASSERT_TRUE(test::RunUntil([&] { return app_->printer().PrinterReady(); }))
      << "the printer did not come within 20 s of the picture";
  EXPECT_EQ(page.model().picCount(), 1);
  EXPECT_EQ(app_->printer().Orientation(), kLandscape);
  const PageGeometry& geometry = page.model().geometry();
  EXPECT_EQ((std::vector<float>{geometry.paperWidth, geometry.paperHeight}), (std::vector<float>{11.0f, 8.5f}))
      << "Letter turned";
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
