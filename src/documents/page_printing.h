#pragma once

// Printing the layout page: the Print command (one job of as many pages as
// copies were chosen, to the printer or as a PDF to a file; without a
// printer always to a PDF file the user names; a page that fails drops the
// whole job), Print Setup, the printer
// button, and `PagePrint`, which puts the page on one sheet. Each picture is
// read again from its file, decoded (side by side on the cores) no larger
// than the print needs, and stretched to its fractions of the paper; the
// printer's origin is the printable area's corner, so the strips are taken
// off. Afterwards the page follows the printer: its name, orientation and
// paper. The window's side of it goes through PrintHost.

#include <QSize>
#include <QSizeF>
#include <QString>

#include <vector>

#include "components/result.h"
#include "frame/sounds.h"
#include "layout/page_model.h"

namespace lumaset {

class PrinterDevice;
class SettingsStore;
struct Options;

// What printing asks of the main window.
class PrintHost {
 public:
  virtual ~PrintHost() = default;

  virtual void PlaySound(Sound sound, Wait wait) = 0;
  // A message box with the exclamation icon and the application's title.
  virtual void ShowError(const QString& text) = 0;
  // The save dialog with a title, a file name in the folder it opens in,
  // and a name filter such as "Printer Files (*.prn)"; the chosen full
  // path, or "" when cancelled.
  virtual QString AskSaveFile(const QString& title, const QString& fileName,
                              const QString& filter) = 0;
  // Where the layouts are kept: a file printed to opens there at first.
  virtual QString LayoutFolder() const { return QString(); }

  // Busy: the wait pointer on the window, the thumbnail panel, the printer
  // panel, the page panel and the page, the last four disabled. Not busy:
  // the default pointer back, the cross on the page, all four enabled.
  virtual void SetPageBusy(bool busy) = 0;
  // Lets pending window events run once.
  virtual void ProcessEvents() = 0;
  // The first panel of the status bar.
  virtual QString StatusText() = 0;
  virtual void SetStatusText(const QString& text) = 0;

  // The printer panel's caption.
  virtual void ShowPrinterName(const QString& caption) = 0;
  // The orientation options: whether "Portrait" is selected, and their
  // commands, each of which turns the page and redraws it.
  virtual bool PortraitSelected() = 0;
  virtual void optPort_Click() = 0;
  virtual void optLand_Click() = 0;
  // `PageRefresh`: the page recomputed for the printer and redrawn.
  virtual void PageRefresh() = 0;
  // `ToolEnable(False, -1)` and `ToolEnable(True, slot)`.
  virtual void ToolEnable(bool enable, int slot) = 0;
  // The page shows a contact sheet (`ThumbSheet`): captions are printed.
  virtual bool ThumbSheet() = 0;
  // The box of `slot` is a contact sheet's cell left empty because its file
  // could not be read when the sheet was made: its caption prints alone.
  virtual bool UnreadSheetCell(int /*slot*/) { return false; }
};

// The name every job carries.
QString PrintDocumentName();

// A printer coordinate: the nearest whole number, halves to the even one.
// A value beyond the 32-bit range, or no number at all (a page without
// size), fails.
Result<int> PrinterCoordinate(double value);

// Where a picture lands, in twips from the printable area's corner.
struct PrintedPlace {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const PrintedPlace&, const PrintedPlace&) = default;
};

// The picture's fractions of a paper of `paperWidth` x `paperHeight` twips,
// less the strips of `geometry`.
Result<PrintedPlace> PlaceOnPaper(const PagePic& pic, const PageGeometry& geometry,
                                  int paperWidth, int paperHeight);

// The longer side to decode a picture of `picture` pixels to, when it is
// stretched over `printed` printer dots: enough for the printer in both
// directions, never more than the picture has.
int NeededLongSide(QSize picture, QSizeF printed);


class PagePrinting {
 public:
  // Everything given must outlive this object. The setting "FastPrint" is
  // read from `settings` at every print.
  // A queue that refuses a job handed over says so later, through `host`,
  // while this object is there.
  PagePrinting(const PageModel& page, PrinterDevice& printer, const SettingsStore& settings,
               const Options& options, PrintHost& host);
  ~PagePrinting();
  PagePrinting(const PagePrinting&) = delete;
  PagePrinting& operator=(const PagePrinting&) = delete;

  // `mnuFilePrint_Click`: the print dialog, then one job of one page per
  // copy, to the printer or, asked for a file name, as a PDF to a file.
  // Without a printer: a PDF file the user names, of one page.
  void mnuFilePrint_Click();
  // `mnuFilePrintSetup_Click`: the printer dialog, whose choice becomes the
  // page's printer; nothing printed.
  void mnuFilePrintSetup_Click();
  // `cmdPrinter_Click`: the page's picture unselected, then Print Setup.
  void cmdPrinter_Click();

  // `PagePrint`: one page of the open job. A failure ends the page at once
  // and is reported here; false then, and the caller drops the job.
  bool PagePrint();

 private:
  struct Prepared;
  void ShowPrinter();
  void PrintToPdf();
  void PaperFromPage();
  void PrintJobTo(const QString& outputFile, int copies);
  Status PrintJob(const QString& outputFile, int copies);
  Status PrintPage();
  Status PrintMarginBox();
  Result<std::vector<Prepared>> ReadPictures() const;
  Status PrintPicture(Prepared& prepared);
  Status PrintCaption(const Prepared& prepared);
  Status PrintText(const QString& text, int x, int y, int size);

  const PageModel& page_;
  PrinterDevice& printer_;
  const SettingsStore& settings_;
  const Options& options_;
  PrintHost& host_;
  QString printFolder_;  // the folder last printed to, "" before any
};

}  // namespace lumaset
