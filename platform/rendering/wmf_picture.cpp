#include "platform/rendering/wmf_picture.h"

#include "platform/core/errors.h"
#include "platform/metafile/wmf_reader.h"
#include "platform/rendering/painter_device.h"

#include <QImage>
#include <QPainter>

namespace velm {

QImage renderWmfPicture(const std::string& bytes)
{
    const WmfReader reader(bytes);
    if (!reader.isValid())
        throw FileError("Cannot show the picture: " + reader.problem());
    QImage image(reader.width(), reader.height(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    PainterDevice device(painter);
    reader.play(device);
    return image;
}

} // namespace velm
