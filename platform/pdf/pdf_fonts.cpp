#include "platform/pdf/pdf_fonts.h"

#include "platform/core/codepage.h"
#include "platform/rendering/sfnt.h"

#include <hb-subset.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <tuple>
#include <unordered_set>

namespace velm::pdf {

void appendInt(std::string& out, long long v)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
}

void appendNumber(std::string& out, double v, int decimals)
{
    static constexpr long long kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    decimals = std::clamp(decimals, 0, 6);
    const double limit = 1e9;
    v = std::clamp(v, -limit, limit); // NaN stays NaN: callers skip it
    if (!(v == v))
        v = 0;
    const long long scale = kScale[decimals];
    const long long q = roundNearest(v * static_cast<double>(scale));
    if (q < 0)
        out += '-';
    const unsigned long long magnitude = q < 0 ? 0ULL - static_cast<unsigned long long>(q) : static_cast<unsigned long long>(q);
    appendInt(out, static_cast<long long>(magnitude / static_cast<unsigned long long>(scale)));
    unsigned long long fraction = magnitude % static_cast<unsigned long long>(scale);
    if (fraction == 0)
        return;
    int digits = decimals;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    char buffer[8];
    for (int i = digits - 1; i >= 0; --i) {
        buffer[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    out += '.';
    out.append(buffer, static_cast<std::size_t>(digits));
}

void appendHex4(std::string& out, unsigned v)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(v >> shift) & 15];
}

namespace {

using sfnt::s16;
using sfnt::u16;
using sfnt::u32;

// Families and styles name faces; the head table (checksum, dates) tells
// two files of one name apart. A face without tables (a Type 1 file, or
// Qt's stand-in when nothing has a character, which may have no family at
// all) is known by its names alone.
std::string faceKey(const QRawFont& raw)
{
    std::string key = raw.familyName().toStdString();
    key += '\0';
    key += raw.styleName().toStdString();
    key += '\0';
    key += std::to_string(raw.weight()) + (raw.style() == QFont::StyleNormal ? "n" : "i");
    const QByteArray head = raw.fontTable("head");
    key.append(head.constData(), static_cast<std::size_t>(head.size()));
    return key;
}

// OS/2 fsType: bit 1 alone among bits 1-3 is a restricted licence (no
// embedding); bit 9 allows bitmaps only.
bool embeddingAllowed(const QRawFont& raw)
{
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() < 10)
        return true;
    const unsigned fsType = u16(os2, 8);
    return (fsType & 0x000E) != 0x0002 && (fsType & 0x0200) == 0;
}

// Widths from hmtx and the outline kind from maxp. A face that cannot be
// embedded is drawn as outlines; one whose tables cannot be read at all
// takes its advances from Qt.
void readMetrics(PdfFace& face)
{
    const QRawFont& raw = face.raw;
    const QByteArray head = raw.fontTable("head"), hhea = raw.fontTable("hhea");
    const QByteArray maxp = raw.fontTable("maxp"), hmtx = raw.fontTable("hmtx");
    const unsigned unitsPerEm = u16(head, 18);
    const unsigned glyphs = u16(maxp, 4);
    const unsigned metrics = u16(hhea, 34);
    face.outlines = true;
    if (head.size() < 54 || hhea.size() < 36 || unitsPerEm == 0 || glyphs == 0 || metrics == 0 ||
        hmtx.size() < 4 * static_cast<qsizetype>(metrics)) {
        face.measured = true;
        const double em = raw.unitsPerEm();
        face.unitsPerEm = em >= 16 && em <= 16384 ? static_cast<unsigned>(std::lround(em)) : 1000;
        face.advances.assign(0x10000, PdfFace::kUnmeasured);
        return;
    }
    face.unitsPerEm = unitsPerEm;
    face.advances.resize(glyphs);
    for (unsigned g = 0; g < glyphs; ++g)
        face.advances[g] = u16(hmtx, 4 * static_cast<qsizetype>(std::min(g, metrics - 1)));
    face.cff = u32(maxp, 0) == 0x00005000;
    // Only CFF (not CFF2) and glyf outlines can be embedded.
    face.outlines = (face.cff ? raw.fontTable("CFF ").isEmpty() : raw.fontTable("loca").isEmpty()) ||
                    !embeddingAllowed(raw);
    if (face.outlines)
        face.cff = false;
}

// ---- Embedding ------------------------------------------------------------

// HarfBuzz handles, released however the scope is left (a write that throws
// while a font is embedded included).
template <auto destroy>
struct Release {
    template <typename Handle>
    void operator()(Handle* handle) const { destroy(handle); }
};
using Blob = std::unique_ptr<hb_blob_t, Release<hb_blob_destroy>>;
using Face = std::unique_ptr<hb_face_t, Release<hb_face_destroy>>;
using SubsetInput = std::unique_ptr<hb_subset_input_t, Release<hb_subset_input_destroy>>;

Blob blobOf(QByteArray bytes)
{
    auto* kept = new QByteArray(std::move(bytes));
    return Blob(hb_blob_create(kept->constData(), static_cast<unsigned>(kept->size()), HB_MEMORY_MODE_READONLY,
                               kept, [](void* p) { delete static_cast<QByteArray*>(p); }));
}

// The name table with psName as the PostScript name (ID 6) of every
// platform; the other names are kept. Empty when the table cannot be read.
QByteArray renamed(const QByteArray& name, const std::string& psName)
{
    struct Record {
        unsigned platform, encoding, language, id;
        QByteArray text;
    };
    std::vector<Record> records;
    const unsigned count = u16(name, 2), strings = u16(name, 4);
    if (name.size() < 6 || 6 + 12 * static_cast<qsizetype>(count) > name.size())
        return {};
    for (unsigned i = 0; i < count; ++i) {
        const qsizetype at = 6 + 12 * static_cast<qsizetype>(i);
        const unsigned length = u16(name, at + 8), offset = u16(name, at + 10);
        if (u16(name, at + 6) == 6 || strings + offset + length > static_cast<std::size_t>(name.size()))
            continue;
        records.push_back({u16(name, at), u16(name, at + 2), u16(name, at + 4), u16(name, at + 6),
                           name.mid(strings + offset, length)});
    }
    QByteArray wide;
    for (char c : psName)
        wide.append('\0').append(c);
    records.push_back({1, 0, 0, 6, QByteArray::fromStdString(psName)});
    records.push_back({3, 1, 0x409, 6, wide});
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return std::tie(a.platform, a.encoding, a.language, a.id) < std::tie(b.platform, b.encoding, b.language, b.id);
    });
    QByteArray out, text;
    const auto put16 = [&](unsigned v) { out.append(static_cast<char>(v >> 8)).append(static_cast<char>(v)); };
    put16(0);
    put16(static_cast<unsigned>(records.size()));
    put16(static_cast<unsigned>(6 + 12 * records.size()));
    for (const Record& r : records) {
        if (text.size() + r.text.size() > 0xFFFF)
            return {};
        for (unsigned v : {r.platform, r.encoding, r.language, r.id, static_cast<unsigned>(r.text.size()),
                           static_cast<unsigned>(text.size())})
            put16(v);
        text += r.text;
    }
    return out + text;
}

// The face rebuilt from the tables a PDF font program needs (QRawFont
// gives tables, not the file), named psName.
Blob sfntOf(const PdfFace& face, const std::string& psName)
{
    static const char* const kTrueType[] = {"head", "hhea", "hmtx", "maxp", "loca", "glyf", "cvt ",
                                            "fpgm", "prep", "cmap", "OS/2", "post", "name"};
    static const char* const kCff[] = {"CFF ", "head", "hhea", "hmtx", "maxp", "cmap", "OS/2", "post", "name"};
    const Face builder(hb_face_builder_create());
    const auto add = [&](const char* tag) {
        QByteArray table = face.raw.fontTable(tag);
        if (std::string_view(tag) == "name")
            table = renamed(table, psName);
        if (!table.isEmpty())
            hb_face_builder_add_table(builder.get(), hb_tag_from_string(tag, 4), blobOf(std::move(table)).get());
    };
    if (face.cff)
        std::for_each(std::begin(kCff), std::end(kCff), add);
    else
        std::for_each(std::begin(kTrueType), std::end(kTrueType), add);
    return Blob(hb_face_reference_blob(builder.get()));
}

// A TrueType program of one empty glyph, named psName: the program of the
// invisible text over a face drawn as outlines.
Blob glyphlessProgram(const std::string& psName)
{
    const auto table = [](std::initializer_list<std::uint32_t> fields, std::initializer_list<int> sizes) {
        QByteArray out;
        auto size = sizes.begin();
        for (const std::uint32_t v : fields) {
            for (int shift = (*size++ - 1) * 8; shift >= 0; shift -= 8)
                out.append(static_cast<char>(v >> shift));
        }
        return out;
    };
    const Face builder(hb_face_builder_create());
    const auto add = [&](const char* tag, QByteArray bytes) {
        hb_face_builder_add_table(builder.get(), hb_tag_from_string(tag, 4), blobOf(std::move(bytes)).get());
    };
    // head: version, revision, checksum adjustment, magic, flags, units per
    // em, created and modified (zero: the same bytes every time), bounds,
    // style, smallest size, direction, short loca, glyph format.
    add("head", table({0x10000, 0x10000, 0, 0x5F0F3CF5, 3, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0},
                      {4, 4, 4, 4, 2, 2, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    add("hhea", table({0x10000, 800, 0xFF38, 0, 1000, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
                      {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    add("maxp", table({0x10000, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0},
                      {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    add("hmtx", table({1000, 0}, {2, 2}));
    add("loca", table({0, 0}, {2, 2}));
    add("glyf", table({0}, {4}));
    // cmap: one format 4 subtable (Windows Unicode) with only the closing segment.
    add("cmap", table({0, 1, 3, 1, 12, 4, 24, 0, 2, 2, 0, 0, 0xFFFF, 0, 0xFFFF, 1, 0},
                      {2, 2, 2, 2, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    add("post", table({0x30000, 0, 0xFF9C, 50, 0, 0, 0, 0, 0}, {4, 4, 2, 2, 4, 4, 4, 4, 4}));
    add("name", renamed(table({0, 0, 6}, {2, 2, 2}), psName));
    return Blob(hb_face_reference_blob(builder.get()));
}

// A subset keeping glyph ids, or none when the subsetter fails.
Blob subsetOf(hb_blob_t* sfnt, const PdfFont& font)
{
    const Face source(hb_face_create(sfnt, 0));
    const SubsetInput input(hb_subset_input_create_or_fail());
    if (!input)
        return nullptr;
    hb_set_t* glyphs = hb_subset_input_glyph_set(input.get());
    hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
    hb_set_add(glyphs, 0);
    for (std::size_t g = 0; g < font.chars.size(); ++g) {
        if (font.chars[g] == PdfFont::kUnused)
            continue;
        hb_set_add(glyphs, static_cast<hb_codepoint_t>(g));
        if (font.chars[g] != PdfFont::kNoChar)
            hb_set_add(unicodes, font.chars[g]);
    }
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
    const Face subset(hb_subset_or_fail(source.get(), input.get()));
    if (!subset)
        return nullptr;
    Blob result(hb_face_reference_blob(subset.get()));
    if (hb_blob_get_length(result.get()) == 0)
        return nullptr;
    return result;
}

// The PostScript name from the name table (ID 6), else family and style.
std::string postScriptName(const QRawFont& raw)
{
    const QByteArray name = raw.fontTable("name");
    std::string found;
    const unsigned count = u16(name, 2), strings = u16(name, 4);
    for (unsigned i = 0; i < count && found.empty(); ++i) {
        const qsizetype record = 6 + 12 * static_cast<qsizetype>(i);
        const unsigned platform = u16(name, record), id = u16(name, record + 6);
        const unsigned length = u16(name, record + 8), offset = u16(name, record + 10);
        if (id != 6 || strings + offset + length > static_cast<std::size_t>(name.size()))
            continue;
        const qsizetype at = strings + offset;
        if (platform == 3 || platform == 0) {
            for (unsigned k = 0; k + 1 < length; k += 2)
                found += static_cast<char>(u16(name, at + k) < 128 ? u16(name, at + k) : '_');
        } else if (platform == 1) {
            found.assign(name.constData() + at, length);
        }
    }
    if (found.empty())
        found = (raw.familyName() + QLatin1Char('-') + raw.styleName()).toStdString();
    std::string clean;
    for (char c : found)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')
            clean += c;
    return clean.empty() ? std::string("Font") : clean;
}

// Six capitals (ISO 32000 9.6.4) from the font's number and glyphs, none
// that an earlier font of the file has.
std::string subsetTag(const PdfFont& font, std::unordered_set<std::string>& taken)
{
    std::uint64_t h = 1469598103934665603ULL ^ static_cast<std::uint64_t>(font.index);
    for (std::size_t g = 0; g < font.chars.size(); ++g)
        if (font.chars[g] != PdfFont::kUnused)
            h = (h ^ g) * 1099511628211ULL;
    for (;; h = h * 1099511628211ULL + 1) {
        std::string tag(6, 'A');
        std::uint64_t digits = h;
        for (char& c : tag) {
            c = static_cast<char>('A' + digits % 26);
            digits /= 26;
        }
        if (taken.insert(tag).second)
            return tag;
    }
}

// A face without tables, from Qt's metrics.
std::string measuredDescriptor(const PdfFace& face, const std::string& baseFont, int fileObject)
{
    const QRawFont& raw = face.raw;
    const double perPixel = raw.pixelSize() > 0 ? 1000.0 / raw.pixelSize() : 0;
    const long long ascent = roundNearest(std::clamp(raw.ascent() * perPixel, 0.0, 5000.0));
    const long long descent = roundNearest(std::clamp(raw.descent() * perPixel, 0.0, 5000.0));
    const bool italic = raw.style() != QFont::StyleNormal;
    std::string out = "<</Type/FontDescriptor/FontName/" + baseFont + "/Flags ";
    appendInt(out, 4 | (italic ? 64 : 0));
    out += "/FontBBox[0 -";
    appendInt(out, descent);
    out += " 1000 ";
    appendInt(out, ascent);
    out += "]/ItalicAngle 0/Ascent ";
    appendInt(out, ascent);
    out += "/Descent -";
    appendInt(out, descent);
    out += "/CapHeight ";
    appendInt(out, ascent);
    out += "/StemV 80/FontFile2 ";
    appendInt(out, fileObject);
    out += " 0 R>>";
    return out;
}

std::string descriptor(const PdfFace& face, const std::string& baseFont, int fileObject)
{
    if (face.measured)
        return measuredDescriptor(face, baseFont, fileObject);
    const QRawFont& raw = face.raw;
    const QByteArray head = raw.fontTable("head"), hhea = raw.fontTable("hhea");
    const QByteArray post = raw.fontTable("post"), os2 = raw.fontTable("OS/2");
    const double em = u16(head, 18);
    const auto scaled = [&](int units) { return static_cast<long long>(std::lround(units * 1000.0 / em)); };
    const double italicAngle = static_cast<std::int32_t>(u32(post, 4)) / 65536.0;
    const bool fixedPitch = u32(post, 12) != 0;
    const bool italic = italicAngle != 0 || (u16(head, 44) & 2) != 0;
    const int ascent = s16(hhea, 4), descent = s16(hhea, 6);
    const int capHeight = u16(os2, 0) >= 2 && os2.size() >= 90 ? s16(os2, 88) : ascent;
    const unsigned weight = os2.size() >= 6 ? u16(os2, 4) : 400;
    std::string out = "<</Type/FontDescriptor/FontName/" + baseFont + "/Flags ";
    appendInt(out, (fixedPitch ? 1 : 0) | 4 | (italic ? 64 : 0));
    out += "/FontBBox[";
    for (int at : {36, 38, 40, 42}) {
        appendInt(out, scaled(s16(head, at)));
        out += at == 42 ? "]" : " ";
    }
    out += "/ItalicAngle ";
    appendNumber(out, italicAngle, 2);
    out += "/Ascent ";
    appendInt(out, scaled(ascent));
    out += "/Descent ";
    appendInt(out, scaled(descent));
    out += "/CapHeight ";
    appendInt(out, scaled(capHeight));
    out += "/StemV ";
    appendInt(out, 50 + static_cast<long long>(weight * weight / 4225));
    out += face.cff ? "/FontFile3 " : "/FontFile2 ";
    appendInt(out, fileObject);
    out += " 0 R>>";
    return out;
}

// /DW is the commonest width of the glyphs drawn, rounded; /W lists the
// others: the font's advances in 1/1000 text units, to three decimals.
std::string widths(const PdfFont& font)
{
    const PdfFace& face = *font.face;
    const double size = font.rounded() ? static_cast<double>(font.sizeQ) / 1000.0 : 1000.0;
    const double perUnit = face.pixelsPerUnit(size);
    std::vector<long long> scaled(font.chars.size()); // 1/1000 of a width unit
    std::map<long long, std::size_t> counts;
    for (std::size_t g = 0; g < font.chars.size(); ++g)
        if (font.chars[g] != PdfFont::kUnused) {
            scaled[g] = roundNearest(font.pixelAdvance(static_cast<std::uint32_t>(g), perUnit) * 1e6 / size);
            ++counts[scaled[g]];
        }
    long long common = 1000000;
    std::size_t best = 0;
    for (const auto& [width, n] : counts)
        if (n > best) {
            common = width;
            best = n;
        }
    // Readers take /DW only as an integer (poppler ignores a real one).
    common = roundNearest(static_cast<double>(common) / 1000.0) * 1000;
    std::string out = "/DW ";
    appendInt(out, common / 1000);
    out += "/W[";
    std::size_t next = SIZE_MAX; // the glyph id the open group continues with
    for (std::size_t g = 0; g < font.chars.size(); ++g) {
        if (font.chars[g] == PdfFont::kUnused || scaled[g] == common)
            continue;
        if (g != next) {
            if (next != SIZE_MAX)
                out += ']';
            appendInt(out, static_cast<long long>(g));
            out += '[';
        } else {
            out += ' ';
        }
        appendNumber(out, static_cast<double>(scaled[g]) / 1000.0, 3);
        next = g + 1;
    }
    if (next != SIZE_MAX)
        out += ']';
    out += ']';
    return out;
}

std::string toUnicode(const PdfFont& font)
{
    std::string entries;
    int inBlock = 0;
    std::string out = "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
                      "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000><FFFF>\nendcodespacerange\n";
    const auto flush = [&] {
        if (inBlock == 0)
            return;
        appendInt(out, inBlock);
        out += " beginbfchar\n" + entries + "endbfchar\n";
        entries.clear();
        inBlock = 0;
    };
    const auto valid = [](char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); };
    std::u16string units;
    for (std::size_t g = 0; g < font.chars.size(); ++g) {
        const char32_t c = font.chars[g];
        if (c == PdfFont::kUnused)
            continue;
        units.clear();
        if (c != PdfFont::kNoChar) {
            if (valid(c))
                appendUtf16(units, c);
        } else if (const auto sequence = font.sequences.find(static_cast<std::uint32_t>(g));
                   sequence != font.sequences.end()) {
            for (const char32_t s : sequence->second)
                if (valid(s))
                    appendUtf16(units, s);
        }
        if (units.empty())
            continue;
        entries += '<';
        appendHex4(entries, static_cast<unsigned>(g));
        entries += "><";
        for (char16_t u : units)
            appendHex4(entries, u);
        entries += ">\n";
        if (++inBlock == 100)
            flush();
    }
    flush();
    out += "endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n";
    return out;
}

// The CIDs the invisible text of a face drawn as outlines uses (its glyph
// ids) all map to the program's one empty glyph.
std::string emptyGlyphMap(const PdfFont& font)
{
    std::size_t last = 0;
    for (std::size_t g = 0; g < font.chars.size(); ++g)
        if (font.chars[g] != PdfFont::kUnused)
            last = g;
    return std::string(2 * (last + 1), '\0');
}

void writeFont(const PdfFont& font, std::unordered_set<std::string>& tags, ObjectSink& sink)
{
    const PdfFace& face = *font.face;
    const int descriptorObject = sink.allocate(), file = sink.allocate(), cmap = sink.allocate();
    // Whole or subset, the program is this font's alone, under its own name.
    const std::string baseFont = subsetTag(font, tags) + "+" + postScriptName(face.raw);
    // Converters drop a subset tag from a program's name: the tag goes
    // after it there.
    const std::string programName = postScriptName(face.raw) + "-" + baseFont.substr(0, 6);
    int glyphMap = 0;
    if (face.outlines) {
        const Blob program = glyphlessProgram(programName);
        unsigned length = 0;
        const char* data = hb_blob_get_data(program.get(), &length);
        sink.stream(file, "/Length1 " + std::to_string(length), std::string_view(data, length), true);
        glyphMap = sink.allocate();
        sink.stream(glyphMap, "", emptyGlyphMap(font), true);
    } else {
        const Blob sfnt = sfntOf(face, programName);
        const Blob subset = subsetOf(sfnt.get(), font);
        unsigned length = 0;
        const char* data = hb_blob_get_data(subset ? subset.get() : sfnt.get(), &length);
        std::string entries = face.cff ? "/Subtype/OpenType" : "/Length1 " + std::to_string(length);
        sink.stream(file, entries, std::string_view(data, length), true);
    }

    sink.object(descriptorObject, descriptor(face, baseFont, file));
    sink.stream(cmap, "", toUnicode(font), true);
    const int cidFont = sink.allocate();
    sink.object(cidFont, std::string("<</Type/Font/Subtype/") + (face.cff ? "CIDFontType0" : "CIDFontType2") +
                             "/BaseFont/" + baseFont +
                             "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor " +
                             std::to_string(descriptorObject) + " 0 R" + widths(font) +
                             (face.cff ? ""
                              : glyphMap ? "/CIDToGIDMap " + std::to_string(glyphMap) + " 0 R"
                                         : "/CIDToGIDMap/Identity") +
                             ">>");
    sink.object(font.fontObject, "<</Type/Font/Subtype/Type0/BaseFont/" + baseFont +
                                     "/Encoding/Identity-H/DescendantFonts[" + std::to_string(cidFont) +
                                     " 0 R]/ToUnicode " + std::to_string(cmap) + " 0 R>>");
}

} // namespace

PdfFontSet::PdfFontSet() = default;
PdfFontSet::~PdfFontSet() = default;

PdfFace& PdfFontSet::lookup(const QRawFont& raw)
{
    auto it = byEngine_.find(raw);
    if (it == byEngine_.end()) {
        if (byEngine_.size() >= 4096) // a page with endless sizes: forget the sizes, not the faces
            byEngine_.clear();
        PdfFace*& face = byKey_[faceKey(raw)];
        if (!face) {
            auto made = std::make_unique<PdfFace>();
            made->index = static_cast<int>(faces_.size()) + 1;
            made->raw = raw;
            readMetrics(*made);
            faces_.push_back(std::move(made));
            face = faces_.back().get();
        }
        it = byEngine_.emplace(raw, face).first;
    }
    lastRaw_ = raw;
    last_ = it->second;
    return *last_;
}

PdfFont& PdfFontSet::addSize(PdfFace& face, long long sizeQ, ObjectSink& sink)
{
    PdfFont* font = nullptr;
    if (const auto it = face.sizeAt.find(sizeQ); it != face.sizeAt.end()) {
        font = it->second;
    } else {
        const bool full = face.sizes.size() >= PdfFont::kMaxSizes;
        const long long stated = full ? PdfFont::kAnySize : sizeQ;
        const auto any = face.sizeAt.find(PdfFont::kAnySize);
        if (full && any != face.sizeAt.end()) {
            font = any->second;
        } else {
            auto made = std::make_unique<PdfFont>();
            made->face = &face;
            made->sizeQ = stated;
            made->index = ++fontCount_;
            made->fontObject = sink.allocate();
            made->chars.assign(face.glyphCount(), PdfFont::kUnused);
            font = made.get();
            face.sizes.push_back(std::move(made));
            face.sizeAt.emplace(stated, font);
        }
    }
    lastFont_ = font;
    lastSizeQ_ = sizeQ;
    return *font;
}

void PdfFontSet::measure(PdfFace& face, std::span<const quint32> glyphs)
{
    thread_local std::vector<quint32> unknown;
    thread_local std::vector<QPointF> advances;
    unknown.clear();
    for (const quint32 g : glyphs)
        if (g < face.advances.size() && face.advances[g] == PdfFace::kUnmeasured) {
            face.advances[g] = 0; // met once in this list
            unknown.push_back(g);
        }
    if (unknown.empty())
        return;
    // At one pixel an em unit, Qt's advances are the design widths.
    QRawFont design = face.raw;
    design.setPixelSize(face.unitsPerEm);
    advances.assign(unknown.size(), QPointF());
    if (!design.advancesForGlyphIndexes(unknown.data(), advances.data(), static_cast<int>(unknown.size())))
        advances.assign(unknown.size(), QPointF());
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        const double x = advances[i].x();
        face.advances[unknown[i]] = static_cast<std::uint16_t>(x > 0 && x < 65534 ? std::lround(x) : 0);
    }
}

bool PdfFontSet::anyCff() const
{
    return std::any_of(faces_.begin(), faces_.end(), [](const auto& f) { return !f->sizes.empty() && f->cff; });
}

void PdfFontSet::appendResources(std::string& out) const
{
    for (const auto& face : faces_)
        for (const auto& font : face->sizes) {
            out += "/F";
            appendInt(out, font->index);
            out += ' ';
            appendInt(out, font->fontObject);
            out += " 0 R";
        }
}

void PdfFontSet::write(ObjectSink& sink)
{
    std::unordered_set<std::string> tags;
    for (const auto& face : faces_)
        for (const auto& font : face->sizes)
            writeFont(*font, tags, sink);
}

} // namespace velm::pdf
