// A test printer for the scope of a test.
#pragma once

#include <memory>
#include <string>

namespace velm {
class Printer;
}

namespace velm::testing {

// Selects a test printer (600 dpi by default, 4800 x 6600 pixels as in the
// worked examples) writing PDFs into outputFolder, for the scope; then the
// selection is what it was. Throws PrinterError for a geometry without
// pixels.
class TestPrinter {
public:
    explicit TestPrinter(const std::string& outputFolder, int width = 4800, int height = 6600,
                         int dpi = 600, const std::string& name = "Velm Test 600");
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

private:
    std::shared_ptr<Printer> printer_;
    int previousIndex_;
};

} // namespace velm::testing
