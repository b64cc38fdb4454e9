#include "components/printer_choice_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "components/option_focus.h"
#include "components/printer_choice.h"
#include "components/printer_setup.h"

namespace lumaset {

namespace {

// A control named for screen readers by the label that stands before it.
template <typename Control>
Control* Labelled(QFormLayout* form, const QString& caption, Control* control) {
  auto* label = new QLabel(caption);
  label->setBuddy(control);
  // The label is read as it shows; the control by the label's words.
  control->setAccessibleName(QString(caption).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
  form->addRow(label, control);
  return control;
}

}  // namespace

PrinterChoiceDialog::PrinterChoiceDialog(PrinterSetup& setup, QWidget* parent) : QDialog(parent), setup_(setup) {
  setWindowTitle(QStringLiteral("Print Setup"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  printers_ = Labelled(form, QStringLiteral("&Printer:"), new QComboBox);
  papers_ = Labelled(form, QStringLiteral("P&aper:"), new QComboBox);
  note_ = new QLabel;
  note_->setWordWrap(true);
  layout->addWidget(note_);

  auto* turn = new QGroupBox(QStringLiteral("Orientation"));
  turn->setAccessibleName(turn->title());
  auto* turnLayout = new QHBoxLayout(turn);
  portrait_ = new QRadioButton(QStringLiteral("P&ortrait"));
  landscape_ = new QRadioButton(QStringLiteral("&Landscape"));
  for (QRadioButton* option : {portrait_, landscape_}) {
    option->setAccessibleName(option->text().remove(QLatin1Char('&')));
    turnLayout->addWidget(option);
  }
  (setup_.Model().Orientation() == kLandscape ? landscape_ : portrait_)->setChecked(true);
  KeepTabOnChoice({portrait_, landscape_});
  layout->addWidget(turn);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  for (QAbstractButton* button : buttons->buttons()) button->setAccessibleName(button->text().remove(QLatin1Char('&')));
  ok_ = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  ShowSetup();

  connect(printers_, &QComboBox::currentIndexChanged, this, [this](int row) {
    if (setup_.Model().NoQueue()) return;
    setup_.Model().SelectPrinter(row);
    setup_.PrinterSelected();
  });
  connect(papers_, &QComboBox::currentIndexChanged, this, [this](int row) { setup_.Model().SelectPaper(row); });
  connect(portrait_, &QRadioButton::toggled, this, [this](bool on) {
    setup_.Model().SetOrientation(on ? kPortrait : kLandscape);
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &PrinterChoiceDialog::Confirm);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setup_.SetChanged([this] { ShowSetup(); });
}

// A late answer finds nobody to show it to.
PrinterChoiceDialog::~PrinterChoiceDialog() { setup_.Closed(); }

// The queues and papers as the setup knows them now, and what it says.
void PrinterChoiceDialog::ShowSetup() {
  const PrinterChoiceModel& model = setup_.Model();
  {
    const QSignalBlocker quiet(printers_);
    printers_->clear();
    if (model.NoQueue()) {
      printers_->addItem(QStringLiteral("No Printer"));
    } else {
      printers_->addItems(model.PrinterRows());
      printers_->setCurrentIndex(model.PrinterIndex());
    }
    printers_->setEnabled(!model.NoQueue());
  }
  ShowPapers();
  const QString note = setup_.Note();
  note_->setText(note);
  note_->setAccessibleName(note);
  note_->setVisible(!note.isEmpty());
  ok_->setEnabled(!setup_.SettingUp());
}

void PrinterChoiceDialog::ShowPapers() {
  const QSignalBlocker quiet(papers_);
  papers_->clear();
  papers_->addItems(setup_.Model().PaperRows());
  papers_->setCurrentIndex(setup_.Model().PaperIndex());
}

void PrinterChoiceDialog::Confirm() {
  setup_.Confirm([this](bool taken) {
    if (taken) accept();
  });
}

}  // namespace lumaset
