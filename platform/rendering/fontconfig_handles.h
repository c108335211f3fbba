// fontconfig's objects owned the C++ way, and the one reader of their
// strings, for the files that ask fontconfig for faces.
#pragma once

#include <QString>

#include <fontconfig/fontconfig.h>

#include <memory>

namespace velm::fc {

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct CharSetDeleter {
    void operator()(FcCharSet* s) const { FcCharSetDestroy(s); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSet = std::unique_ptr<FcFontSet, FontSetDeleter>;
using CharSet = std::unique_ptr<FcCharSet, CharSetDeleter>;
using ObjectSet = std::unique_ptr<FcObjectSet, ObjectSetDeleter>;

// The first value of a string property (FC_FAMILY, FC_FILE, ...), or empty.
inline QString stringOf(FcPattern* font, const char* object)
{
    FcChar8* value = nullptr;
    return FcPatternGetString(font, object, 0, &value) == FcResultMatch
               ? QString::fromUtf8(reinterpret_cast<const char*>(value))
               : QString();
}

} // namespace velm::fc
