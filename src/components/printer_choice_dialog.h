#pragma once

// The printer dialog: the print queues with their papers and the two
// orientations. It shows a PrinterChoiceModel and passes every change to
// it; the model holds the choice.

#include <QDialog>

class QComboBox;
class QLabel;
class QRadioButton;

namespace lumaset {

class PrinterChoiceModel;

class PrinterChoiceDialog : public QDialog {
 public:
  // `model` must outlive the dialog.
  explicit PrinterChoiceDialog(PrinterChoiceModel& model, QWidget* parent = nullptr);

  QComboBox* printers() const { return printers_; }
  QComboBox* papers() const { return papers_; }
  QRadioButton* portrait() const { return portrait_; }
  QRadioButton* landscape() const { return landscape_; }

 private:
  void ShowPapers();

  PrinterChoiceModel& model_;
  QComboBox* printers_ = nullptr;
  QComboBox* papers_ = nullptr;
  QRadioButton* portrait_ = nullptr;
  QRadioButton* landscape_ = nullptr;
};

}  // namespace lumaset
