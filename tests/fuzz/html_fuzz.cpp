// An HTML file formatted by the print engine into stored pages for the
// preview (no paper), as the desktop and the command run a job. Every page
// the engine stores reads back sound; a job fails only with a VelmError.
#include "fuzz/fuzz_support.h"

#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/errors.h"
#include "platform/metafile/emf_reader.h"
#include "support/logging_device.h"
#include "support/test_printer.h"

#include <filesystem>
#include <fstream>

using namespace velm;

namespace {

void readBackAndDelete(TPrintFile&, TJobOutcome&)
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
        // The worked examples' printer: 600 dpi, 4800 x 6600 pixels, PDFs
        // into the private folder.
        static const testing::TestPrinter printer(folder + "/pdf", 4800, 6600, 600, "Velm Fuzz 600");
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
#ifdef VELM_FUZZ_FULL_HTML
    job.FullHtml = true;
    job.HtmlLinks = size % 2 == 1;
    job.HtmlTitleInHeader = true;
#endif
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
