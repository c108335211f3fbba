#include "support/test_printer.h"

#include "platform/printing/printer.h"

namespace velm::testing {

TestPrinter::TestPrinter(const std::string& outputFolder, int width, int height, int dpi,
                         const std::string& name)
    : previousIndex_(Printers::instance().printerIndex())
{
    PrinterCaps caps;
    caps.horzRes = width;
    caps.vertRes = height;
    caps.logPixelsX = caps.logPixelsY = dpi;
    caps.horzSizeMm = static_cast<int>(width * 25.4 / dpi + 0.5);
    caps.vertSizeMm = static_cast<int>(height * 25.4 / dpi + 0.5);
    Printers::instance().setPrinterIndex(
        Printers::instance().addTestPrinter(name, caps, outputFolder));
}

TestPrinter::~TestPrinter()
{
    Printers::instance().removeTestPrinters();
    Printers::instance().setPrinterIndex(previousIndex_);
}

} // namespace velm::testing
