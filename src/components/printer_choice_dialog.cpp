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

PrinterChoiceDialog::PrinterChoiceDialog(PrinterChoiceModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Print Setup"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  printers_ = Labelled(form, QStringLiteral("&Printer:"), new QComboBox);
  if (model_.NoQueue()) {
    printers_->addItem(QStringLiteral("No Printer"));
    printers_->setEnabled(false);
    auto* note = new QLabel(QStringLiteral("No printer is installed: Print writes a PDF file."));
    note->setAccessibleName(note->text());
    note->setWordWrap(true);
    layout->addWidget(note);
  } else {
    printers_->addItems(model_.PrinterRows());
    printers_->setCurrentIndex(model_.PrinterIndex());
  }
  papers_ = Labelled(form, QStringLiteral("P&aper:"), new QComboBox);
  ShowPapers();

  auto* turn = new QGroupBox(QStringLiteral("Orientation"));
  turn->setAccessibleName(turn->title());
  auto* turnLayout = new QHBoxLayout(turn);
  portrait_ = new QRadioButton(QStringLiteral("P&ortrait"));
  landscape_ = new QRadioButton(QStringLiteral("&Landscape"));
  for (QRadioButton* option : {portrait_, landscape_}) {
    option->setAccessibleName(option->text().remove(QLatin1Char('&')));
    turnLayout->addWidget(option);
  }
  (model_.Orientation() == kLandscape ? landscape_ : portrait_)->setChecked(true);
  KeepTabOnChoice({portrait_, landscape_});
  layout->addWidget(turn);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  for (QAbstractButton* button : buttons->buttons()) button->setAccessibleName(button->text().remove(QLatin1Char('&')));
  layout->addWidget(buttons);

  connect(printers_, &QComboBox::currentIndexChanged, this, [this](int row) {
    if (model_.NoQueue()) return;
    model_.SelectPrinter(row);
    ShowPapers();
  });
  connect(papers_, &QComboBox::currentIndexChanged, this, [this](int row) { model_.SelectPaper(row); });
  connect(portrait_, &QRadioButton::toggled, this, [this](bool on) {
    model_.SetOrientation(on ? kPortrait : kLandscape);
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PrinterChoiceDialog::ShowPapers() {
  const QSignalBlocker quiet(papers_);
  papers_->clear();
  papers_->addItems(model_.PaperRows());
  papers_->setCurrentIndex(model_.PaperIndex());
}

}  // namespace lumaset
