#pragma once

// Choosing the printer: the print queues there are, and the rules of the
// printer dialog (which queue, which of its papers, which way up) as a plain
// model, so that a test drives every choice without a window. The dialog
// itself (PrinterChoiceDialog) only shows the model and passes clicks on.

#include <QList>
#include <QPageSize>
#include <QString>
#include <QStringList>

namespace lumaset {

// Orientation values as the printer takes and gives them.
inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;

// One print queue as the print system lists it.
struct PrinterQueue {
  QString name;
  QString description;  // the queue's own wording, often a location or model; may be ""
  bool isDefault = false;
  QList<QPageSize> papers;  // what it can print on; may be empty
  QPageSize defaultPaper;   // invalid when it names none

  friend bool operator==(const PrinterQueue&, const PrinterQueue&) = default;
};

// The print system's queues, asked afresh on the calling thread, which a
// print server that does not answer keeps for minutes.
QList<PrinterQueue> AvailableQueues();

// Where `paper` itself is among `papers`: the one of its own key, since a
// printer may offer twins of one size (a paper and its borderless self),
// else the first of its size; -1 for none.
qsizetype PaperIndex(const QList<QPageSize>& papers, const QPageSize& paper);

// What the dialog settles: a queue, its paper and the orientation. A choice
// without a queue name stands for printing to a PDF file.
struct PrinterChoice {
  QString printerName;
  QPageSize paper;
  int orientation = kPortrait;

  friend bool operator==(const PrinterChoice&, const PrinterChoice&) = default;
};

class PrinterChoiceModel {
 public:
  // Starts at the queue of `current` when it is listed, else at the default
  // queue, else at the first; with the paper of `current` when that queue
  // offers it, else the queue's own default paper.
  PrinterChoiceModel(QList<PrinterQueue> queues, PrinterChoice current);

  // The queues as the print server named them later: the choice so far is
  // kept as far as they allow, as a model made with them would start.
  void SetQueues(QList<PrinterQueue> queues);

  // No queue to choose: printing writes a PDF file.
  bool NoQueue() const { return queues_.isEmpty(); }

  // The rows of the printer list: each queue's name, and its description
  // after a dash when it has one.
  QStringList PrinterRows() const;
  int PrinterIndex() const { return printer_; }
  // Another queue: its papers are offered, the paper chosen so far kept
  // when the queue has it too. An index out of range changes nothing.
  void SelectPrinter(int index);

  // The rows of the paper list: the papers' names. Without a queue, only
  // the paper the page has.
  QStringList PaperRows() const;
  int PaperIndex() const { return paper_; }
  void SelectPaper(int index);

  int Orientation() const { return orientation_; }
  // kPortrait or kLandscape; anything else changes nothing.
  void SetOrientation(int orientation);

  PrinterChoice Choice() const;

 private:
  QList<QPageSize> Papers() const;
  int PaperRowOf(const QPageSize& paper) const;

  QList<PrinterQueue> queues_;
  QPageSize pageOnly_;  // the paper when there is no queue
  int printer_ = -1;
  int paper_ = -1;
  int orientation_ = kPortrait;
};

}  // namespace lumaset
