#pragma once

// The printer's modal dialogs: the print dialog, which may change the
// printer chosen, its paper and orientation, the copies and whether the job
// goes to a file; the printer dialog (Print Setup), which settles a queue,
// its paper and orientation; and the wait for the print server that the
// print dialog needs first. Tests give their own.

#include <QPointer>
#include <QWidget>

class QPrinter;

namespace lumaset {

class PrinterSetup;
class PrinterWait;

class PrinterDialogs {
 public:
  virtual ~PrinterDialogs() = default;
  // True when the dialog was closed with OK.
  virtual bool Print(QPrinter& printer) = 0;
  // True once the dialog settled a choice, the printer it needs made.
  virtual bool Choose(PrinterSetup& setup) = 0;
  // Waits while the print server is asked for the printer that the print
  // dialog opens on, until it answers or the patience runs out; false when
  // the user stopped waiting. Here without a word, the events of the
  // program running meanwhile.
  virtual bool Wait(PrinterWait& wait);
};

// Qt's print dialog and the program's printer dialog over `parent`. Qt's
// dialog asks the print server for its printers on the window's thread as
// it opens and as another printer is selected in it, so it opens only once
// the server answered the wait; the wait says nothing for a moment, then
// shows what it waits for, with Cancel.
class QtPrinterDialogs final : public PrinterDialogs {
 public:
  explicit QtPrinterDialogs(QWidget* parent = nullptr);
  bool Print(QPrinter& printer) override;
  bool Choose(PrinterSetup& setup) override;
  bool Wait(PrinterWait& wait) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace lumaset
