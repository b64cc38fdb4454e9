#include "components/printer_choice.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <optional>

#include "components/printer_choice_dialog.h"
#include "components/printer_setup.h"
#include "support/fake_print_server.h"
#include "support/test_support.h"
#include "support/accessibility.h"

namespace lumaset {
namespace {

const QPageSize kLetter(QPageSize::Letter);
const QPageSize kA4(QPageSize::A4);
const QPageSize kA5(QPageSize::A5);

// Office and Hall (the default queue) offer two papers each, Attic names none.
QList<PrinterQueue> Queues() {
  return {PrinterQueue{"Office", "Second floor", false, {kLetter, kA4}, kLetter},
          PrinterQueue{"Hall", "Hall", true, {kA5, kA4}, kA5},
          PrinterQueue{"Attic", "", false, {}, QPageSize()}};
}

TEST(PrinterChoiceTest, StartsAtTheCurrentOrDefaultQueueAndKeepsThePaperWhereItCan) {
  struct Case {
    PrinterChoice current;
    PrinterChoice start;
  };
  for (const auto& [current, start] : std::vector<Case>{
           {{"Office", kA4, kLandscape}, {"Office", kA4, kLandscape}},
           {{"Gone", kLetter, kPortrait}, {"Hall", kA5, kPortrait}},  // Hall has no Letter: its own paper
           {{"Attic", kA5, 7}, {"Attic", kA5, kPortrait}},            // no papers named: the page's
       }) {
    EXPECT_EQ(PrinterChoiceModel(Queues(), current).Choice(), start) << current.printerName.toStdString();
  }
  QList<PrinterQueue> noDefault = Queues();
  noDefault[1].isDefault = false;
  for (const QString& current : {QString(), QStringLiteral("Gone")}) {
    EXPECT_EQ(PrinterChoiceModel(noDefault, {current, kA5, kPortrait}).Choice(),
              (PrinterChoice{"Office", kLetter, kPortrait}))
        << "without a default queue the first, on a paper of its own";
  }

  PrinterChoiceModel model(Queues(), {"Office", kA4, kPortrait});
  EXPECT_EQ(model.PrinterRows(), (QStringList{"Office - Second floor", "Hall", "Attic"}));
  EXPECT_EQ(model.PaperRows(), (QStringList{"Letter / ANSI A", "A4"}));
  model.SelectPrinter(1);
  EXPECT_EQ(model.Choice(), (PrinterChoice{"Hall", kA4, kPortrait})) << "A4 kept";
  model.SelectPrinter(0);
  model.SelectPaper(0);
  model.SelectPrinter(1);
  EXPECT_EQ(model.Choice().paper, kA5) << "Letter is not Hall's: its default instead";
  model.SelectPaper(1);
  for (const int bad : {-1, 3}) model.SelectPrinter(bad), model.SelectPaper(bad);
  model.SetOrientation(0);
  EXPECT_EQ(model.Choice(), (PrinterChoice{"Hall", kA4, kPortrait}));

  PrinterChoiceModel none({}, {"", kLetter, kLandscape});
  EXPECT_TRUE(none.NoQueue());
  EXPECT_EQ(none.PaperRows(), QStringList{"Letter / ANSI A"});
  EXPECT_EQ(none.Choice(), (PrinterChoice{"", kLetter, kLandscape}));
}

// Print Setup before and after the print server names its queues: what it
// shows meanwhile, and what it says.
TEST(PrinterSetupTest, ShowsWhatIsKnownUntilThePrintServerAnswersAndSaysWhenItDoesNot) {
  const QString silentNoPrinter = "The print server does not answer: Print writes a PDF file until it does.";
  const QString silentKnown = "The print server does not answer: the printers shown are those known so far.";
  {
    test::FakePrintServer server(Queues(), false);
    PrinterSetup setup(server, {"Office", kA4, kLandscape}, 50);
    EXPECT_EQ(setup.Model().PrinterRows(), QStringList{"Office"}) << "the queue printed on, before any answer";
    EXPECT_EQ(setup.Model().PaperRows(), QStringList{"A4"});
    EXPECT_EQ(setup.Note(), "Asking the print server for its printers...");
    ASSERT_TRUE(test::RunUntil([&setup] { return !setup.Note().startsWith("Asking"); })) << "the patience's end";
    EXPECT_EQ(setup.Note(), silentKnown);
    server.Answer();
    ASSERT_TRUE(test::RunUntil([&setup] { return setup.Answered(); })) << "the late answer";
    EXPECT_EQ(setup.Model().PrinterRows(), (QStringList{"Office - Second floor", "Hall", "Attic"}));
    EXPECT_EQ(setup.Choice(), (PrinterChoice{"Office", kA4, kLandscape}));
    EXPECT_EQ(setup.Note(), QString());
  }
  {
    test::FakePrintServer server(Queues(), false);
    PrinterSetup setup(server, {"", kLetter, kPortrait}, 50);
    ASSERT_TRUE(test::RunUntil([&setup] { return !setup.Note().startsWith("Asking"); })) << "the patience's end";
    EXPECT_TRUE(setup.Model().NoQueue());
    EXPECT_EQ(setup.Note(), silentNoPrinter);
  }
  // Named before, the queues show at once, without a word while asked again.
  test::FakePrintServer server(Queues());
  PrinterSetup first(server, {"", kLetter, kPortrait});
  ASSERT_TRUE(test::RunUntil([&first] { return first.Answered(); })) << "the first answer";
  PrinterSetup again(server, {"", kLetter, kPortrait});
  EXPECT_EQ(again.Model().PrinterRows().size(), 3);
  EXPECT_EQ(again.Note(), QString());
}

// OK takes a queue chosen anew only with its printer, made away: it waits
// for it, says why not when it cannot be had, and a queue printed on already
// needs none.
TEST(PrinterSetupTest, OkWaitsForThePrinterOfAQueueChosenAnew) {
  test::FakePrintServer server(Queues());
  const auto confirm = [](PrinterSetup& setup) {
    std::optional<bool> taken;
    setup.Confirm([&taken](bool ok) { taken = ok; });
    EXPECT_TRUE(test::RunUntil([&taken] { return taken.has_value(); })) << "OK's answer";
    return taken.value_or(false);
  };
  PrinterSetup same(server, {"Office", kA4, kPortrait});
  EXPECT_TRUE(confirm(same));
  EXPECT_EQ(server.asked, QStringList()) << "the queue printed on needs no new printer";

  // Hall's printer is made as soon as Hall is selected: OK takes it at once.
  PrinterSetup setup(server, {"Office", kA4, kPortrait});
  ASSERT_TRUE(test::RunUntil([&setup] { return setup.Answered(); })) << "the queues named";
  setup.Model().SelectPrinter(1);
  setup.PrinterSelected();
  ASSERT_TRUE(test::RunUntil([&server] { return server.asked.size() == 1; })) << "Hall's printer asked for";
  QCoreApplication::processEvents();
  std::optional<bool> atOnce;
  setup.Confirm([&atOnce](bool ok) { atOnce = ok; });
  EXPECT_EQ(atOnce, true);
  EXPECT_EQ(server.asked, QStringList{"Hall"}) << "asked once";
  server.makePrinter = [](const QString&) { return nullptr; };  // gone meanwhile
  setup.Model().SelectPrinter(2);
  setup.PrinterSelected();
  EXPECT_FALSE(confirm(setup));
  EXPECT_EQ(setup.Note(), "The printer Attic is no longer there.");

  test::FakePrintServer held(Queues());
  PrinterSetup waiting(held, {"Office", kA4, kPortrait}, 50);
  ASSERT_TRUE(test::RunUntil([&waiting] { return waiting.Answered(); })) << "the queues named";
  held.Hold();
  waiting.Model().SelectPrinter(1);
  waiting.PrinterSelected();
  std::optional<bool> taken;
  waiting.Confirm([&taken](bool ok) { taken = ok; });
  EXPECT_TRUE(waiting.SettingUp());
  EXPECT_EQ(waiting.Note(), "Setting up Hall...");
  ASSERT_TRUE(test::RunUntil([&taken] { return taken.has_value(); })) << "the patience's end";
  EXPECT_FALSE(*taken);
  EXPECT_FALSE(waiting.SettingUp());
  EXPECT_EQ(waiting.Note(), "The print server does not answer: Hall cannot be set up now.");
  // Another queue selected while OK waits drops that OK.
  taken.reset();
  waiting.Confirm([&taken](bool ok) { taken = ok; });
  waiting.Model().SelectPrinter(2);
  waiting.PrinterSelected();
  EXPECT_EQ(taken, false);
  held.Answer();
  EXPECT_TRUE(confirm(waiting));
  EXPECT_NE(waiting.TakePrinter(), nullptr);
  EXPECT_EQ(waiting.Choice().printerName, "Attic");
  EXPECT_EQ(held.asked, (QStringList{"Hall", "Hall", "Attic"})) << "Hall asked again on OK after no answer";
}

TEST(PrinterChoiceDialogTest, EveryControlIsNamedAndTheChoiceReachesTheModel) {
  test::FakePrintServer server(Queues());
  PrinterSetup setup(server, {"Office", kLetter, kPortrait});
  ASSERT_TRUE(test::RunUntil([&setup] { return setup.Answered(); })) << "the queues named";
  PrinterChoiceDialog dialog(setup);
  EXPECT_EQ(test::AccessibilityProblems(&dialog), QStringList());
  for (QWidget* control : dialog.findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || !control->isEnabled()) continue;
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
  }
  EXPECT_EQ(dialog.printers()->accessibleName(), "Printer");
  EXPECT_EQ(dialog.papers()->accessibleName(), "Paper");

  dialog.printers()->setCurrentIndex(1);
  EXPECT_EQ(dialog.papers()->currentText(), "A5") << "Hall's papers shown";
  dialog.landscape()->click();
  dialog.ok()->click();
  ASSERT_TRUE(test::RunUntil([&dialog] { return dialog.result() == QDialog::Accepted; })) << "OK with Hall's printer";
  EXPECT_EQ(setup.Choice(), (PrinterChoice{"Hall", kA5, kLandscape}));
  EXPECT_NE(setup.TakePrinter(), nullptr);

  test::FakePrintServer none({});
  PrinterSetup nothing(none, {"", kLetter, kPortrait});
  ASSERT_TRUE(test::RunUntil([&nothing] { return nothing.Answered(); })) << "no queue named";
  PrinterChoiceDialog empty(nothing);
  EXPECT_EQ(empty.printers()->currentText(), "No Printer");
  EXPECT_FALSE(empty.printers()->isEnabled());
  EXPECT_EQ(empty.note()->text(), "No printer is installed: Print writes a PDF file.");
}

}  // namespace
}  // namespace lumaset
