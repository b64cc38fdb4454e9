#pragma once

// The printer dialog (Print Setup): the print queues with their papers and
// the two orientations. It shows a PrinterSetup, passes every change to its
// model, and shows the queues and the note as the print server's answers
// come; its OK waits, the dialog still live, for the printer of a queue
// chosen anew.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace lumaset {

class PrinterSetup;

class PrinterChoiceDialog : public QDialog {
 public:
  // `setup` must outlive the dialog.
  explicit PrinterChoiceDialog(PrinterSetup& setup, QWidget* parent = nullptr);
  ~PrinterChoiceDialog() override;
  PrinterChoiceDialog(const PrinterChoiceDialog&) = delete;
  PrinterChoiceDialog& operator=(const PrinterChoiceDialog&) = delete;

  QComboBox* printers() const { return printers_; }
  QComboBox* papers() const { return papers_; }
  QRadioButton* portrait() const { return portrait_; }
  QRadioButton* landscape() const { return landscape_; }
  QLabel* note() const { return note_; }
  QPushButton* ok() const { return ok_; }

 private:
  void ShowSetup();
  void ShowPapers();
  void Confirm();

  PrinterSetup& setup_;
  QComboBox* printers_ = nullptr;
  QComboBox* papers_ = nullptr;
  QRadioButton* portrait_ = nullptr;
  QRadioButton* landscape_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace lumaset
