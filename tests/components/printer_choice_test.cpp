#include "components/printer_choice.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

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
