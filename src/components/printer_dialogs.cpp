#include "components/printer_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "components/print_server.h"
#include "components/printer_choice.h"
#include "components/printer_choice_dialog.h"
#include "components/printer_setup.h"

namespace lumaset {

namespace {

// A print server that answers at all mostly does so within this: until
// then the wait shows nothing.
constexpr int kQuietWaitMs = 300;

// The papers that a page settings panel of Qt's print dialog lists.
QList<QPageSize> PapersListed(const QComboBox& papers) {
  QList<QPageSize> rows;
  for (int row = 0; row < papers.count(); ++row) rows.append(papers.itemData(row).value<QPageSize>());
  return rows;
}

// Qt 6.4's print dialog makes its page settings (behind Properties) from
// the queue's default paper, not from the printer it is handed, and makes
// them when Properties is first pressed or else when the dialog is
// accepted, which then puts that paper on the printer. Shown, the settings
// start here on the page's paper; never shown, the page's paper and turn
// are put back afterwards, since nobody changed them.
class PrintDialogPaper final : public QObject {
 public:
  PrintDialogPaper(QDialog& dialog, QPrinter& printer)
      : dialog_(dialog), printer_(printer), kept_(printer.pageLayout()), queue_(printer.printerName()) {
    dialog_.installEventFilter(this);
  }
  ~PrintDialogPaper() override { dialog_.removeEventFilter(this); }
  PrintDialogPaper(const PrintDialogPaper&) = delete;
  PrintDialogPaper& operator=(const PrintDialogPaper&) = delete;

  // After the dialog was accepted.
  void Settle() {
    if (settings_) return;  // the user saw the paper and chose it
    if (printer_.outputFormat() == QPrinter::PdfFormat || printer_.printerName() == queue_) {
      printer_.setPageLayout(kept_);
      return;
    }
    // Another queue: the page's paper where that queue has it, as the
    // settings made for it on accepting list its papers (asking the print
    // server for them would hold the window).
    for (const QComboBox* papers : dialog_.findChildren<QComboBox*>(QStringLiteral("pageSizeCombo"))) {
      const QList<QPageSize> rows = PapersListed(*papers);
      const qsizetype same = PaperIndex(rows, kept_.pageSize());
      if (same >= 0) printer_.setPageSize(rows[same]);
    }
    printer_.setPageOrientation(kept_.orientation());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dialog_ && event->type() == QEvent::ChildAdded) {
      QObject* child = static_cast<QChildEvent*>(event)->child();
      if (child->isWidgetType()) child->installEventFilter(this);
    } else if (watched != &dialog_ && event->type() == QEvent::Show && watched != settings_) {
      auto* papers = watched->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
      if (papers) {
        settings_ = static_cast<QWidget*>(watched);
        const qsizetype same = PaperIndex(PapersListed(*papers), kept_.pageSize());
        if (same >= 0) papers->setCurrentIndex(static_cast<int>(same));
      }
    }
    return false;
  }

 private:
  QDialog& dialog_;
  QPrinter& printer_;
  const QPageLayout kept_;
  const QString queue_;
  QPointer<QWidget> settings_;  // the page settings, once shown
};

// What Print waits for, and Cancel; it closes itself once the print server
// answered or kept its answer too long.
class PrinterWaitBox final : public QDialog {
 public:
  PrinterWaitBox(PrinterWait& wait, QWidget* parent) : QDialog(parent), wait_(wait) {
    setWindowTitle(QStringLiteral("Print"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Asking the print server for %1...").arg(wait.Queue()));
    text->setWordWrap(true);
    text->setAccessibleName(text->text());
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    wait_.SetChanged([this] {
      if (wait_.state() != PrinterWait::State::Asking) accept();
    });
  }
  ~PrinterWaitBox() override { wait_.SetChanged(nullptr); }
  PrinterWaitBox(const PrinterWaitBox&) = delete;
  PrinterWaitBox& operator=(const PrinterWaitBox&) = delete;

 private:
  PrinterWait& wait_;
};

// Runs the events of the program, as `flags` allow, until `wait` has its
// answer or `ms` (when not negative) have passed.
void WaitFor(PrinterWait& wait, QEventLoop::ProcessEventsFlags flags, int ms) {
  if (wait.state() != PrinterWait::State::Asking) return;
  QEventLoop loop;
  wait.SetChanged([&wait, &loop] {
    if (wait.state() != PrinterWait::State::Asking) loop.quit();
  });
  if (ms >= 0) QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec(flags);
  wait.SetChanged(nullptr);
}

}  // namespace

bool PrinterDialogs::Wait(PrinterWait& wait) {
  WaitFor(wait, QEventLoop::AllEvents, -1);
  return true;
}

QtPrinterDialogs::QtPrinterDialogs(QWidget* parent) : parent_(parent) {}

bool QtPrinterDialogs::Print(QPrinter& printer) {
  QPrintDialog dialog(&printer, parent_);
  PrintDialogPaper paper(dialog, printer);
  if (dialog.exec() != QDialog::Accepted) return false;
  paper.Settle();
  return true;
}

bool QtPrinterDialogs::Choose(PrinterSetup& setup) {
  PrinterChoiceDialog dialog(setup, parent_);
  return dialog.exec() == QDialog::Accepted;
}

// The window paints meanwhile; a click or key pressed in the quiet moment
// is taken once the wait is over.
bool QtPrinterDialogs::Wait(PrinterWait& wait) {
  WaitFor(wait, QEventLoop::ExcludeUserInputEvents, kQuietWaitMs);
  if (wait.state() != PrinterWait::State::Asking) return true;
  PrinterWaitBox box(wait, parent_);
  return box.exec() == QDialog::Accepted;
}

}  // namespace lumaset
