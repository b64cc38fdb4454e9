#pragma once

// The program's printer: which printer it prints on and whether there is one
// at all. Start-up only asks those two questions; printing itself builds on
// this class.

#include <QPrinterInfo>
#include <QString>

namespace lumaset {

class PrinterDevice {
 public:
  // Chooses the system's default printer, or the first one there is.
  PrinterDevice();

  // A printer is there to print on.
  bool PrinterReady() const;

  // The chosen printer's name; "" without one.
  QString DeviceName() const;

 private:
  QPrinterInfo printer_;
};

}  // namespace lumaset
