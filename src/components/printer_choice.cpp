#include "components/printer_choice.h"

#include <QPrinterInfo>

#include <utility>

namespace lumaset {

// Asked once: each queue's own isDefault() asks the print server again.
QList<PrinterQueue> AvailableQueues() {
  const QString byDefault = QPrinterInfo::defaultPrinterName();
  QList<PrinterQueue> queues;
  for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
    queues.append(PrinterQueue{info.printerName(), info.description(), info.printerName() == byDefault,
                               info.supportedPageSizes(), info.defaultPageSize()});
  }
  return queues;
}

qsizetype PaperIndex(const QList<QPageSize>& papers, const QPageSize& paper) {
  if (!paper.isValid()) return -1;
  for (qsizetype row = 0; row < papers.size(); ++row) {
    if (papers[row].key() == paper.key()) return row;
  }
  for (qsizetype row = 0; row < papers.size(); ++row) {
    if (papers[row].isEquivalentTo(paper)) return row;
  }
  return -1;
}

PrinterChoiceModel::PrinterChoiceModel(QList<PrinterQueue> queues, PrinterChoice current)
    : queues_(std::move(queues)), pageOnly_(current.paper) {
  SetOrientation(current.orientation);
  for (int row = 0; row < queues_.size() && printer_ < 0; ++row) {
    if (queues_[row].name == current.printerName) printer_ = row;
  }
  for (int row = 0; row < queues_.size() && printer_ < 0; ++row) {
    if (queues_[row].isDefault) printer_ = row;
  }
  if (printer_ < 0 && !queues_.isEmpty()) printer_ = 0;

  paper_ = PaperRowOf(current.paper);
  if (paper_ < 0 && printer_ >= 0) paper_ = PaperRowOf(queues_[printer_].defaultPaper);
  if (paper_ < 0 && !Papers().isEmpty()) paper_ = 0;
}

void PrinterChoiceModel::SetQueues(QList<PrinterQueue> queues) {
  *this = PrinterChoiceModel(std::move(queues), Choice());
}

QStringList PrinterChoiceModel::PrinterRows() const {
  QStringList rows;
  for (const PrinterQueue& queue : queues_) {
    const bool described = !queue.description.isEmpty() && queue.description != queue.name;
    rows << (described ? queue.name + QStringLiteral(" - ") + queue.description : queue.name);
  }
  return rows;
}

void PrinterChoiceModel::SelectPrinter(int index) {
  if (index < 0 || index >= queues_.size() || index == printer_) return;
  const QPageSize kept = Choice().paper;
  printer_ = index;
  paper_ = PaperRowOf(kept);
  if (paper_ < 0) paper_ = PaperRowOf(queues_[printer_].defaultPaper);
  if (paper_ < 0 && !Papers().isEmpty()) paper_ = 0;
}

// A queue that names no papers still prints on its default one, or on the
// page's.
QList<QPageSize> PrinterChoiceModel::Papers() const {
  if (printer_ < 0) return pageOnly_.isValid() ? QList<QPageSize>{pageOnly_} : QList<QPageSize>{};
  const PrinterQueue& queue = queues_[printer_];
  if (!queue.papers.isEmpty()) return queue.papers;
  if (queue.defaultPaper.isValid()) return {queue.defaultPaper};
  return pageOnly_.isValid() ? QList<QPageSize>{pageOnly_} : QList<QPageSize>{};
}

int PrinterChoiceModel::PaperRowOf(const QPageSize& paper) const {
  return static_cast<int>(lumaset::PaperIndex(Papers(), paper));
}

QStringList PrinterChoiceModel::PaperRows() const {
  QStringList rows;
  for (const QPageSize& paper : Papers()) rows << paper.name();
  return rows;
}

void PrinterChoiceModel::SelectPaper(int index) {
  if (index >= 0 && index < Papers().size()) paper_ = index;
}

void PrinterChoiceModel::SetOrientation(int orientation) {
  if (orientation == kPortrait || orientation == kLandscape) orientation_ = orientation;
}

PrinterChoice PrinterChoiceModel::Choice() const {
  PrinterChoice choice;
  if (printer_ >= 0) choice.printerName = queues_[printer_].name;
  const QList<QPageSize> papers = Papers();
  if (paper_ >= 0 && paper_ < papers.size()) choice.paper = papers[paper_];
  choice.orientation = orientation_;
  return choice;
}

}  // namespace lumaset
