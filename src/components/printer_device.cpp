#include "components/printer_device.h"

#include <QList>

namespace lumaset {

namespace {

// Without a default, any printer at all is better than refusing to print.
QPrinterInfo choosePrinter() {
  QPrinterInfo printer = QPrinterInfo::defaultPrinter();
  if (!printer.isNull()) return printer;
  const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
  return printers.isEmpty() ? QPrinterInfo() : printers.constFirst();
}

}  // namespace

PrinterDevice::PrinterDevice() : printer_(choosePrinter()) {}

bool PrinterDevice::PrinterReady() const { return !printer_.isNull(); }

QString PrinterDevice::DeviceName() const { return printer_.printerName(); }

}  // namespace lumaset
