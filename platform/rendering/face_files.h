// Faces found by fontconfig and read from their files, without Qt's font
// database: listing every installed face costs a command-line job more than
// formatting its page does.
#pragma once

#include <QByteArray>
#include <QRawFont>
#include <QString>

namespace velm {

// An installed face: its file and the face's index within it.
struct FaceFile {
    QString family; // as fontconfig names it (the name its fallback orders know)
    QByteArray path;
    int index = 0;
};

// fontconfig's best outline face for a family, weight (100-1000, as
// OpenType counts it) and style. A face without sfnt tables (a Type 1
// file) gives way to the same family, weight and style in a file that has
// them, since only those embed in a PDF as fonts. Empty path: no match.
// Safe from any thread; each answer is computed once.
FaceFile matchFace(const QString& family, int weight, bool italic);

// The face at an em of pixelSize, unhinted, read from its file (mapped
// once per process). Invalid when Qt cannot read the face that way (a face
// beyond the first of a collection, a named instance of a variable font):
// the caller falls back to Qt's own matching. Throws VelmError when the
// file is TrueType or OpenType and still no font comes of it: Qt's
// platform then makes no fonts from files at all (QT_QPA_PLATFORM=minimal),
// and its stand-in would print nothing.
QRawFont loadFace(const FaceFile& face, double pixelSize);

} // namespace velm
