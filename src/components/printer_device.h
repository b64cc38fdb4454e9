#pragma once

// The program's printer: which printer it prints on, whether there is one at
// all, and the page that printer has now (paper, unprintable strips, dots and
// orientation), in twips. The page facts come out as a plain PrinterFacts
// value, so that everything that lays a page out can be tried with facts
// made by hand.
//
// It also prints: its own print and printer dialogs, a job of pages (to the
// printer, or as a PDF to a file), and pictures, text and boxes placed in
// twips from the top-left corner of the paper's printable area.
//
// Without any print queue it is a PDF writer: not a printer (PrinterReady is
// false, the page keeps the paper it has without one), but every job goes
// to a PDF file, on the paper the page gives it.
//
// Making a printer object, listing the queues and handing a job over all ask
// the print server, and one that never answers keeps the asking thread for
// minutes: the device asks nothing on the thread that uses it (the
// window's). Printers are made away (print_server.h) and taken in when the
// server answers; jobs are made as PDF on that thread and handed over away.
// Only a device started on the default printer asks on its own thread.

#include <QColor>
#include <QPageLayout>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

#include "components/print_server.h"
#include "components/printer_choice.h"
#include "components/printer_dialogs.h"
#include "components/result.h"

class QImage;
class QPrinter;

namespace lumaset {

// The printer's page as it stands, lengths in twips.
struct PrinterFacts {
  bool ready = false;  // a printer is there to print on
  QString deviceName;
  int pageWidthTwips = 0;  // the paper in the current orientation
  int pageHeightTwips = 0;
  int noPrintLeftTwips = 0;  // the unprintable strip at the left (and, assumed, at the right)
  int noPrintTopTwips = 0;   // at the top (and, assumed, at the bottom)
  int printableDots = 0;     // the printable width in printer dots
  int orientation = kPortrait;

  friend bool operator==(const PrinterFacts&, const PrinterFacts&) = default;
};

// The page facts of a printer object, whatever prints it (a queue or a file).
// The hardware strips count, not the margins a program asks for. A strip is
// taken as the wider of its two opposite edges, since the page is laid out as
// if both were alike; in landscape the printer's strips turn with the paper.
PrinterFacts FactsOf(const QPrinter& printer);

class PrinterDevice {
 public:
  enum class Start { DefaultPrinter, NoPrinter };
  // Chooses the system's default printer, or the first one there is, asking
  // the print system on this thread; with none, or asked for none, it is a
  // PDF writer.
  explicit PrinterDevice(Start start = Start::DefaultPrinter);
  // Prints through `printer`, such as a PDF writer, whatever queues exist.
  explicit PrinterDevice(std::unique_ptr<QPrinter> printer);
  ~PrinterDevice();

  // Starts opening CUPS, which choosing a printer needs, on a worker thread:
  // a program that makes its window meanwhile finds it open. Once a run.
  static void OpenLibrariesAhead();
  PrinterDevice(const PrinterDevice&) = delete;
  PrinterDevice& operator=(const PrinterDevice&) = delete;

  // A printer is there to print on; false for the PDF writer.
  bool PrinterReady() const { return ready_; }

  // Takes `found` as the printer while there is none, none was chosen (the
  // PDF writer and its paper included) and no job is open; false, changing
  // nothing, otherwise. The print server is then asked for its queues, so
  // that Print Setup shows them as it opens.
  bool Adopt(FoundPrinter&& found);

  // The chosen printer's name; "" without one.
  QString DeviceName() const;

  // The page facts, asked afresh; while a job runs, the facts it started
  // with. Without a printer `ready` is false and the facts are those of the
  // PDF writer's paper.
  PrinterFacts Facts() const;
  int PageWidthTwips() const { return Facts().pageWidthTwips; }
  int PageHeightTwips() const { return Facts().pageHeightTwips; }
  int NoPrintLeftTwips() const { return Facts().noPrintLeftTwips; }
  int NoPrintTopTwips() const { return Facts().noPrintTopTwips; }
  int PrintableDots() const { return Facts().printableDots; }
  // Printer dots per twip, for pictures decoded no larger than printed.
  double DotsPerTwip() const;

  // 1 portrait, 2 landscape.
  int Orientation() const;
  // Turns the paper: kPortrait or kLandscape. Fails for any other value, or
  // when the printer refuses.
  Status SetOrientation(int orientation);

  // The paper the PDF writer prints on while there is no printer: its size
  // as the page is turned and the strips the page keeps free, in twips.
  // Does nothing to a printer.
  void SetPaperWithoutPrinter(int widthTwips, int heightTwips, int stripLeftTwips, int stripTopTwips);

  // The printer, paper and orientation as they are, and a new choice of
  // them: a queue by name (the PDF writer when the name is "" and the queue
  // printed on is gone), a paper it has and an orientation. A queue other
  // than the one printed on comes with the printer made for it
  // (MakePrinterFor, or away); without one it counts as gone. The choice
  // holds until another is made.
  PrinterChoice CurrentChoice() const;
  Status Choose(const PrinterChoice& choice, std::unique_ptr<QPrinter> made);

  // The dialogs shown by ShowDialog; Qt's own until others are given.
  void SetDialogs(std::unique_ptr<PrinterDialogs> dialogs);
  // How long the print server may keep an answer before the dialogs say
  // that it does not answer.
  void SetPatience(int ms) { patienceMs_ = ms; }
  // `ShowDialog(Mode)`: "" the print dialog, "Setup" the printer dialog,
  // whose choice (on OK) becomes the printer. The print dialog opens on a
  // printer made afresh, away, for the queue printed on (it fails, saying
  // so, when the print server does not answer in time or no longer has the
  // queue; waiting given up counts as Cancel); the printer chosen in it
  // becomes the printer, while a file chosen there only marks the next job
  // as one for a file. It opens on the paper and turn the printer has, and
  // only a change made there changes them. Copies are kept here and the
  // printer itself is set to print one, so that the caller prints each copy
  // and no queue multiplies them again; each copy has a sheet of its own,
  // also when two-sided printing was chosen. The print dialog needs a
  // printer.
  Status ShowDialog(const QString& mode);
  bool DialogOK() const { return dialogOK_; }
  int Copies() const { return copies_; }
  bool PrintToFile() const { return printToFile_; }
  // The file named in the print dialog when print to file was chosen.
  QString PrintFile() const { return printFile_; }
  // Fast bitmap printing: pictures go into the job JPEG-compressed, a
  // smaller job that loses a little detail. Off, they go in compressed
  // without loss: a larger job, each picture exactly as decoded.
  void SetFastBitmaps(bool fast) { fastBitmaps_ = fast; }
  bool FastBitmaps() const { return fastBitmaps_; }

  // A job named `docName`, to the printer, or as a PDF to `outputFile` when
  // it is not "" (without a printer it must not be ""). The PDF is made in a
  // private folder and reaches the file, or the queue, only when the job
  // ends well and the PDF is whole, so a failed job keeps any old file as it
  // was and leaves the queue nothing. A queue's job is handed over away.
  Status StartDoc(const QString& docName, const QString& outputFile);
  // Pages of the job. A page's sheet begins with the first drawing on it (or
  // its EndPage), so a job dropped before that sends the printer nothing. A
  // page that fails after it still counts: the next page has a new sheet.
  Status StartPage();
  Status EndPage();
  // Hands the job to the printer or the file; a job without a page prints
  // nothing. A queue's job is on its way when this returns: what the queue
  // said reaches the refusal handler later, when it refused it.
  Status EndDoc();
  // Whoever tells the user that a queue refused a job handed over (the
  // error's description), while it is there; none by default.
  void SetRefusals(std::function<void(const QString&)> refused) { refused_ = std::move(refused); }
  // Drops the job: nothing of it reaches the printer, and a file keeps what
  // it held before. For a page that failed half-way.
  void AbortDoc();
  bool Printing() const { return job_ != nullptr; }

  // Drawing on the page, in twips from the printable area's top-left corner.
  // Line widths are dots of a 300 dpi printer, the same on every printer.
  void SetDrawWidth(int width) { drawWidth_ = width; }
  void SetLineColor(const QColor& color) { lineColor_ = color; }
  Status DrawBox(int x1, int y1, int x2, int y2);
  // The picture stretched into the rectangle.
  Status PaintPicture(const QImage& picture, int x, int y, int width, int height);
  void SetFontName(const QString& name) { fontName_ = name; }
  void SetFontSize(double points) { fontSize_ = points; }
  void SetFontBold(bool bold) { fontBold_ = bold; }
  void SetTextColor(const QColor& color) { textColor_ = color; }
  void SetCurrentX(int x) { currentX_ = x; }
  void SetCurrentY(int y) { currentY_ = y; }
  // The text with its top-left corner at (CurrentX, CurrentY).
  Status PrintText(const QString& text);
  // The printer's text sizes go in steps of two points: 3 gives the 6-point
  // captions and 6 the 12-point heading that the page preview shows.
  static double PointSize(int size) { return 2.0 * size; }

 private:
  struct Job;
  PrinterDialogs& dialogs();
  void UsePdfWriter();
  std::unique_ptr<QPrinter> WriterLikePrinter() const;
  QPageLayout Layout() const;
  Result<std::unique_ptr<QPrinter>> PrinterForDialog();
  void TakeFromDialog(std::unique_ptr<QPrinter> shown);
  Status PageReady();
  Status FinishFile(bool printed);

  QString queue_;  // the queue printed on; "" for a printer given or the PDF writer
  std::unique_ptr<QPrinter> printer_;  // null for the PDF writer
  bool ready_ = false;
  bool chosen_ = false;  // the user chose the printer and paper (Print Setup)
  QPageLayout blank_;   // the PDF writer's paper and turn
  QPoint blankStrips_;  // the PDF writer's strips, in twips
  QString ownFile_;  // the file a device made on its own printer writes to
  std::unique_ptr<PrinterDialogs> dialogs_;
  std::unique_ptr<ThreadedPrintServer> server_;
  int patienceMs_ = kPrintServerPatienceMs;
  std::function<void(const QString&)> refused_;
  std::unique_ptr<Job> job_;
  bool dialogOK_ = false;
  int copies_ = 1;
  bool printToFile_ = false;
  QString printFile_;
  bool fastBitmaps_ = true;
  int drawWidth_ = 1;
  QColor lineColor_ = Qt::black;
  QString fontName_ = QStringLiteral("Arial");
  double fontSize_ = 12;
  bool fontBold_ = false;
  QColor textColor_ = Qt::black;
  int currentX_ = 0;
  int currentY_ = 0;
};

}  // namespace lumaset
