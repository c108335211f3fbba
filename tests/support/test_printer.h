// A test printer for the scope of a test.
#pragma once

#include <string>

namespace velm::testing {

// Selects a test printer (600 dpi by default, 4800 x 6600 pixels as in the
// worked examples) writing PDFs into outputFolder, for the scope.
class TestPrinter {
public:
    explicit TestPrinter(const std::string& outputFolder, int width = 4800, int height = 6600,
                         int dpi = 600, const std::string& name = "Velm Test 600");
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

private:
    int previousIndex_;
};

} // namespace velm::testing
