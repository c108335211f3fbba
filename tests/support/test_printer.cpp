#include "support/test_printer.h"

#include "platform/core/errors.h"
#include "platform/printing/printer.h"
#include "platform/printing/printer_internal.h"

namespace velm::testing {

TestPrinter::TestPrinter(const std::string& outputFolder, int width, int height, int dpi,
                         const std::string& name)
    : previousIndex_(Printers::instance().printerIndex())
{
    if (width <= 0 || height <= 0 || dpi <= 0)
        throw PrinterError("Invalid test printer geometry");
    PrinterCaps caps;
    caps.horzRes = width;
    caps.vertRes = height;
    caps.logPixelsX = caps.logPixelsY = dpi;
    caps.horzSizeMm = static_cast<int>(width * 25.4 / dpi + 0.5);
    caps.vertSizeMm = static_cast<int>(height * 25.4 / dpi + 0.5);
    printer_ = detail::makePdfPrinter(name, caps, 0, outputFolder, nullptr);
    Printers& printers = Printers::instance();
    printers.setPrinterIndex(printers.addPrinter(printer_));
}

TestPrinter::~TestPrinter()
{
    Printers& printers = Printers::instance();
    printers.removePrinter(*printer_);
    printers.setPrinterIndex(previousIndex_ < printers.count() ? previousIndex_ : -1);
}

} // namespace velm::testing
