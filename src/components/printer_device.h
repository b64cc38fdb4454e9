#pragma once

// The program's printer: which printer it prints on, whether there is one at
// all, and the page that printer has now (paper, unprintable strips, dots and
// orientation), in twips. The page facts come out as a plain PrinterFacts
// value, so that everything that lays a page out can be tried with facts
// made by hand.

#include <QPrinterInfo>
#include <QString>

#include <memory>

#include "components/result.h"

class QPrinter;

namespace lumaset {

// Orientation values as the printer takes and gives them.
inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;

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
  // Chooses the system's default printer, or the first one there is.
  PrinterDevice();
  ~PrinterDevice();
  PrinterDevice(const PrinterDevice&) = delete;
  PrinterDevice& operator=(const PrinterDevice&) = delete;

  // A printer is there to print on.
  bool PrinterReady() const;

  // The chosen printer's name; "" without one.
  QString DeviceName() const;

  // The page facts, asked afresh; without a printer only `ready` false.
  PrinterFacts Facts() const;
  int PageWidthTwips() const { return Facts().pageWidthTwips; }
  int PageHeightTwips() const { return Facts().pageHeightTwips; }
  int NoPrintLeftTwips() const { return Facts().noPrintLeftTwips; }
  int NoPrintTopTwips() const { return Facts().noPrintTopTwips; }
  int PrintableDots() const { return Facts().printableDots; }

  // 1 portrait, 2 landscape.
  int Orientation() const;
  // Turns the paper: kPortrait or kLandscape. Fails without a printer, for
  // any other value, or when the printer refuses.
  Status SetOrientation(int orientation);

  // The printer object that prints; nullptr without a printer.
  QPrinter* printer() { return printer_.get(); }

 private:
  QPrinterInfo info_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace lumaset
