// An enhanced metafile (a stored page) played onto the PDF canvas, and the
// document finished, fonts and all. Playback never throws and frames a
// sound header's page with begin and end.
#include "fuzz/fuzz_support.h"

#include "platform/metafile/emf_reader.h"
#include "platform/pdf/pdf_canvas.h"
#include "platform/rendering/gdi_device.h"
#include "support/logging_device.h"

#include <fcntl.h>
#include <unistd.h>

using namespace velm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepare();
    const EmfReader reader(std::vector<std::uint8_t>(data, data + size));
    LoggingDevice log;
    const EmfPlayResult result = reader.play(log);
    if (reader.isValid() && (log.calls().empty() || log.calls().back().kind != "end"))
        fuzz::fail("a page was not ended");
    if (!reader.isValid() && (result.ok || !log.calls().empty()))
        fuzz::fail("an invalid file played");

    static const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    PdfCanvas canvas(sink, "fuzz", "Velm");
    canvas.startSheet({595, 842, 0, 0, 0.12, 0.12});
    {
        GdiDevice device(canvas);
        reader.play(device);
    }
    canvas.finish();
    return 0;
}
