// The main window around the documents: layout files (New, Open, Save,
// Save As), printing and Print Setup, and the thumbnail contact sheets.
// DocumentsHost carries out for them what touches the window.

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <utility>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/main_window_documents.h"
#include "browser/thumbnail_area.h"
#include "components/printer_device.h"
#include "documents/contact_sheet.h"
#include "documents/layout_document.h"
#include "documents/page_printing.h"
#include "frame/app_state.h"
#include "frame/sounds.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"
#include "layout/orientation.h"
#include "layout/page_area.h"
#include "layout/page_refresh.h"

namespace lumaset {

void MainWindow::ConnectDocuments() {
  documentsHost_ = std::make_unique<DocumentsHost>(*this);
  app_.printer().SetDialogs(std::make_unique<QtPrinterDialogs>(this));
  documents_ = std::make_unique<LayoutDocument>(layout_->model(), *documentsHost_);
  printing_ = std::make_unique<PagePrinting>(layout_->model(), app_.printer(), app_.settings(),
                                             app_.options, *documentsHost_);
  sheet_ = std::make_unique<ContactSheet>(layout_->model(), picPan_->table(), app_.options, app_.label,
                                          app_.abortRequested, *documentsHost_);

  commands_->Wire(u"mnuFileNew", [this] { documents_->mnuFileNew_Click(); });
  commands_->Wire(u"mnuFileOpenPage", [this] { documents_->mnuFileOpenPage_Click(); });
  commands_->Wire(u"mnuFileSave", [this] { documents_->mnuFileSave_Click(); });
  commands_->Wire(u"mnuFileSaveAs", [this] { documents_->mnuFileSaveAs_Click(); });
  commands_->Wire(u"mnuFilePrint", [this] { printing_->mnuFilePrint_Click(); });
  commands_->Wire(u"mnuFilePrintSetup", [this] { printing_->mnuFilePrintSetup_Click(); });
  commands_->Wire(u"mnuViewThumb", [this] { sheet_->mnuViewThumb_Click(); });

  // The page starts with No Printer; the printer comes when the print
  // system answers, which a print server gone from the network never does.
  FindPrinterAway(this, [this](const std::shared_ptr<FoundPrinter>& found) { TakePrinter(found); });

  PageAdjustPanel* panel = layout_->adjustPanel();
  panel->cmdPrinter()->setEnabled(true);  // printing never waits for a printer
  // Both act on the page as it is once the pictures asked for are on it.
  connect(panel->cmdPrinter(), &QPushButton::clicked, this,
          [this] { layout_->AfterAdding([this] { printing_->cmdPrinter_Click(); }); });
  connect(panel->cmdThumb(), &QPushButton::clicked, this,
          [this] { layout_->AfterAdding([this] { sheet_->cmdThumb_Click(); }); });
  connect(picPan_, &ThumbnailPanel::cleared, this, [this] { sheet_->Reset(); });
}

// A printer found after the window was made becomes the page's printer,
// turned as the page is, unless one was chosen meanwhile. A command, a
// dialog, the default editor, a drag on the page or pictures still being
// added (placed on the page as it was when they were asked for) is left to
// end first.
void MainWindow::TakePrinter(const std::shared_ptr<FoundPrinter>& found) {
  PrinterDevice& printer = app_.printer();
  if (QApplication::activeModalWidget() || QApplication::mouseButtons() != Qt::NoButton || commands_->busy() ||
      editorOpen_ || printer.Printing() || layout_->adding() || layout_->commandsWaiting()) {
    QTimer::singleShot(250, this, [this, found] { TakePrinter(found); });
    return;
  }
  if (!printer.Adopt(std::move(*found))) return;
  (void)printer.SetOrientation(layout_->model().geometry().portrait ? kPortrait : kLandscape);
  layout_->PageRefresh();
}

// Long page work: the page and its panels wait with the hourglass; menus
// and toolbar stay live.
void MainWindow::SetPageBusy(bool busy) {
  commands_->SetBusy(busy);
  const auto cursor = busy ? Qt::WaitCursor : Qt::ArrowCursor;
  setCursor(cursor);
  picPan_->setCursor(cursor);
  for (QWidget* pane : {static_cast<QWidget*>(panAdjust_), static_cast<QWidget*>(panPrev_),
                        static_cast<QWidget*>(panPrev_->page())}) {
    pane->setCursor(cursor);
    pane->setEnabled(!busy);
  }
  picPan_->setEnabled(!busy);
  if (!busy) {
    unsetCursor();
    panPrev_->page()->setCursor(Qt::CrossCursor);
    // An Exit asked for during the work closes the window now that it ended.
    if (std::exchange(closeWhenIdle_, false)) QTimer::singleShot(0, this, [this] { close(); });
  }
}

}  // namespace lumaset
