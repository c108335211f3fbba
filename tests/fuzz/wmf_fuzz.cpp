// A Windows metafile played on the logging player and, scaled down, on the
// QPainter player that shows pictures.
#include "fuzz/fuzz_support.h"

#include "platform/metafile/wmf_reader.h"
#include "platform/rendering/painter_device.h"
#include "support/logging_device.h"

#include <QImage>
#include <QPainter>

using namespace velm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepare();
    const WmfReader reader(fuzz::bytesOf(data, size));
    LoggingDevice log;
    const WmfPlayResult result = reader.play(log);
    if (!reader.isValid()) {
        if (result.ok || !log.calls().empty())
            fuzz::fail("an invalid file played");
        return 0;
    }
    if (log.calls().empty() || log.calls().back().kind != "end")
        fuzz::fail("a picture was not ended");
    if (reader.width() < 1 || reader.height() < 1)
        fuzz::fail("a picture without area");

    static QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(64.0 / reader.width(), 64.0 / reader.height());
    PainterDevice device(painter);
    reader.play(device);
    return 0;
}
