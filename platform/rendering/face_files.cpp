#include "platform/rendering/face_files.h"

#include "platform/rendering/fontconfig_handles.h"
#include "platform/core/errors.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velm {
namespace {

using fc::Pattern;
using fc::stringOf;

bool hasTables(FcPattern* font)
{
    const QString format = stringOf(font, FC_FONTFORMAT);
    return format == QLatin1String("TrueType") || format == QLatin1String("CFF");
}

FaceFile faceOf(FcPattern* font)
{
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    return {stringOf(font, FC_FAMILY), stringOf(font, FC_FILE).toUtf8(), index};
}

// The same family, weight and slant as font in a file with sfnt tables
// (the formats of one face may report different widths); font itself
// when there is none.
FaceFile twinWithTables(FcPattern* font)
{
    Pattern wanted(FcPatternCreate());
    for (const char* object : {FC_FAMILY, FC_WEIGHT, FC_SLANT}) {
        FcValue value;
        if (FcPatternGet(font, object, 0, &value) == FcResultMatch)
            FcPatternAdd(wanted.get(), object, value, FcFalse);
    }
    fc::ObjectSet objects(
        FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_FONTFORMAT, nullptr));
    fc::FontSet listed(FcFontList(nullptr, wanted.get(), objects.get()));
    for (int i = 0; listed && i < listed->nfont; ++i)
        if (hasTables(listed->fonts[i]))
            return faceOf(listed->fonts[i]);
    return faceOf(font);
}

FaceFile match(const QString& family, int weight, bool italic)
{
    Pattern pattern(FcPatternCreate());
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    // Advances must scale linearly with the size: outline faces only.
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern found(FcFontMatch(nullptr, pattern.get(), &result));
    if (!found)
        return {family, {}, 0};
    return hasTables(found.get()) ? faceOf(found.get()) : twinWithTables(found.get());
}

// A file's bytes, mapped once and kept for the process: Qt's faces read
// them for as long as any font made from them lives.
QByteArray fileBytes(const QByteArray& path)
{
    static std::mutex mutex;
    static std::map<QByteArray, QByteArray> mapped;
    std::lock_guard lock(mutex);
    if (const auto it = mapped.find(path); it != mapped.end())
        return it->second;
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_size > 0) {
        void* data = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data != MAP_FAILED)
            bytes = QByteArray::fromRawData(static_cast<const char*>(data), static_cast<qsizetype>(info.st_size));
    }
    if (fd >= 0)
        ::close(fd);
    mapped.emplace(path, bytes); // a file that cannot be read is not tried again
    return bytes;
}

// TrueType or OpenType outlines, as the file's first four bytes tell.
bool isSfnt(const QByteArray& bytes)
{
    static constexpr std::array<const char*, 3> kTags = {"\x00\x01\x00\x00", "OTTO", "true"};
    return bytes.size() >= 4 &&
           std::any_of(kTags.begin(), kTags.end(), [&](const char* tag) { return std::memcmp(bytes.constData(), tag, 4) == 0; });
}

} // namespace

FaceFile matchFace(const QString& family, int weight, bool italic)
{
    static std::mutex mutex;
    static std::map<std::tuple<QString, int, bool>, FaceFile> matched;
    std::lock_guard lock(mutex);
    auto [it, added] = matched.try_emplace({family, weight, italic});
    if (added)
        it->second = match(family, weight, italic);
    return it->second;
}

QRawFont loadFace(const FaceFile& face, double pixelSize)
{
    // Qt reads the first face of the bytes it is given, and no named instance.
    if (face.path.isEmpty() || face.index != 0)
        return {};
    const QByteArray bytes = fileBytes(face.path);
    if (bytes.isEmpty())
        return {};
    QRawFont raw(bytes, pixelSize, QFont::PreferNoHinting);
    if (!raw.isValid() && isSfnt(bytes))
        throw VelmError("No font can be made from the font file " + face.path.toStdString() + " on Qt's \"" +
                        QGuiApplication::platformName().toStdString() + "\" platform (QT_QPA_PLATFORM)");
    return raw;
}

} // namespace velm
