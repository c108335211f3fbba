// A PDF that cannot be written whole: the user is told why, in the
// document's own message, and nothing of it stays on disk.
#include "platform/core/errors.h"
#include "platform/metafile/emf_reader.h"
#include "platform/metafile/emf_recorder.h"
#include "platform/printing/printer.h"

#include "support/testing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace velm {
namespace {

using testing::TempDir;

// A page of hatch fills in every style, as a metafile.
EmfReader hatchedPage(const PrinterCaps& caps)
{
    EmfRecorder recorder({caps.horzRes, caps.vertRes, caps.logPixelsX, caps.logPixelsY});
    for (int row = 0; row < 40; ++row)
        for (int hatch : {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS}) {
            const GdiHandle brush = recorder.createBrush({BS_HATCHED, rgb(row * 6, 0, 200), hatch});
            recorder.fillRect({100 * hatch + row, 100 * row, 100 * hatch + 90, 100 * row + 90}, brush);
            recorder.deleteObject(brush);
        }
    return EmfReader(recorder.finish());
}

TEST(PdfWriteFailure, HatchedPagesOnAFullDiskReportTheReasonAndLeaveTheOldFile)
{
    TempDir dir;
    const std::string target = dir.file("report.pdf");
    dir.write("report.pdf", "old content");
    Printers& printers = Printers::instance();
    Printer& pdf = printers.at(0);
    const EmfReader page = hatchedPage(pdf.caps());
    printers.setPdfOutputFile(target);
    std::string message;
    {
        testing::FileSizeLimit limit(2000);
        std::unique_ptr<PrintDocument> document = pdf.beginDocument("hatches");
        try {
            for (int sheet = 0; sheet < 3; ++sheet) {
                if (sheet > 0)
                    document->newPage();
                EXPECT_TRUE(page.play(document->device()).ok);
            }
            document->end();
        } catch (const VelmError& e) {
            message = e.what();
        }
        EXPECT_FALSE(document->isOpen());
    }
    EXPECT_EQ(message, "Cannot write PDF file " + target + ": " + std::strerror(EFBIG));
    EXPECT_EQ(testing::readFile(target), "old content");
    EXPECT_EQ(testing::filesIn(dir.path()), std::vector<std::string>{"report.pdf"}); // no partial file
}

} // namespace
} // namespace velm
