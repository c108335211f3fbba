// An HTML file laid out as a browser shows it (libgumbo) and formatted by
// the print engine into stored pages for the preview (no paper), as the
// command runs a job. Every page the engine stores reads back sound; a job
// fails only with a VelmError.
#include "fuzz/fuzz_support.h"

#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/errors.h"
#include "platform/metafile/emf_reader.h"
#include "platform/metafile/logging_device.h"
#include "platform/printing/printer.h"

#include <filesystem>
#include <fstream>

using namespace velm;

namespace {

// The worked examples' printer: 600 dpi, 4800 x 6600 pixels, PDFs into the
// private folder.
void selectTestPrinter(const std::string& folder)
{
    PrinterCaps caps;
    caps.horzRes = 4800;
    caps.vertRes = 6600;
    caps.logPixelsX = caps.logPixelsY = 600;
    caps.horzSizeMm = 203;
    caps.vertSizeMm = 279;
    Printers& printers = Printers::instance();
    printers.setPrinterIndex(printers.addTestPrinter("Velm Fuzz 600", caps, folder + "/pdf"));
}

void readBackAndDelete(TPrintFile&)
{
    for (int n = 1; n <= StoredPageCount(); ++n) {
        LoggingDevice log;
        const EmfPlayResult result = EmfReader::fromFile(PageFileName(n)).play(log);
        if (!result.ok)
            fuzz::fail("stored page " + std::to_string(n) + " is damaged: " + result.problem);
    }
    DeletePageFiles();
}

const std::string& setUp()
{
    static const std::string page = [] {
        const std::string& folder = fuzz::prepare();
        selectTestPrinter(folder);
        ui().showMessage = [](const std::string&) {};
        ui().showPreview = readBackAndDelete;
        return folder + "/page.htm";
    }();
    return page;
}

// The engine stores its pages in the current folder: the private one, for
// the job only.
class InPrivateFolder {
public:
    InPrivateFolder() : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(fuzz::prepare());
    }
    ~InPrivateFolder() { std::filesystem::current_path(previous_); }
    InPrivateFolder(const InPrivateFolder&) = delete;
    InPrivateFolder& operator=(const InPrivateFolder&) = delete;

private:
    std::filesystem::path previous_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& page = setUp();
    std::ofstream(page, std::ios::binary | std::ios::trunc) << fuzz::bytesOf(data, size);
    const InPrivateFolder here;
    TPrintFile job;
    job.Input = frHTML;
    job.FullHtml = true;
    job.HtmlLinks = size % 2 == 1;
    job.HtmlTitleInHeader = true;
    job.Filename = page;
    job.OutputTo = poViewer;
    job.DateTimeStampEnabled = false;
    try {
        job.Execute();
    } catch (const VelmError&) {
        // Reported to the user by the caller.
    }
    DeletePageFiles();
    return 0;
}
