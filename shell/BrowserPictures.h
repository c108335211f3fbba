// Pictures drawn for the browser's buttons and drive tabs.
#pragma once

#include "platform/system/mounts.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace velm {

// A page of columns of text lines, 35 x 20 pixels.
QPixmap ColumnsPicture(int columns);
// A floppy disk, a fixed disk or a network disk, 16 x 9 pixels.
QPixmap DrivePicture(Drive::Kind kind);
// A letter in the given style, for the rich-text bar.
QIcon TextIcon(const QString& text, bool bold, bool italic, bool underline);
// Five lines aligned left, centred or right.
QIcon AlignIcon(Qt::Alignment alignment);

} // namespace velm
