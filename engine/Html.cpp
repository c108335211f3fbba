// The HTML runs of TPrintFile: a source line is split into printable text,
// tags that change the surface's font or the line flow, and character
// entities. The interpreter knows a fixed handful of tags and no attributes;
// anything it does not know is dropped and the text around it printed.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "platform/core/convert.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace velm {
namespace {

// No lookup walks further than this many rows, whatever a table holds.
constexpr std::size_t kMaxRows = 100;

enum TTagCode : int {
    tcNone = 0,
    tcHTML, tcTITLE, tcBR, tcP, tcTR, tcH1, tcH2, tcH3, tcH4, tcH5, tcH6, tcB, tcI, tcU,
    tcCENTER, tcSTRONG, tcLI, tcEM, tcHR, tcAnchor, tcOPTION, tcCharRef, tcComment, tcTD,
    tcEND = 99
};

struct TTagRow {
    std::string_view Name;
    TTagCode Code;
};

// Row n carries code n; the anchor row is never compared (every tag that
// begins with "A" is an anchor), and "&#" and "!--" match nothing a reader
// can deliver whole, so they only keep their places.
constexpr std::array<TTagRow, 25> TagTable{{
    {"HTML", tcHTML}, {"TITLE", tcTITLE}, {"BR", tcBR}, {"P", tcP}, {"TR", tcTR},
    {"H1", tcH1}, {"H2", tcH2}, {"H3", tcH3}, {"H4", tcH4}, {"H5", tcH5}, {"H6", tcH6},
    {"B", tcB}, {"I", tcI}, {"U", tcU}, {"CENTER", tcCENTER}, {"STRONG", tcSTRONG},
    {"LI", tcLI}, {"EM", tcEM}, {"HR", tcHR}, {"A ", tcAnchor}, {"OPTION", tcOPTION},
    {"&#", tcCharRef}, {"!--", tcComment}, {"TD", tcTD}, {"END", tcEND},
}};

constexpr bool CodesArePositions()
{
    for (std::size_t i = 0; i + 1 < TagTable.size(); ++i)
        if (TagTable[i].Code != static_cast<int>(i + 1))
            return false;
    return TagTable.back().Name == "END";
}
static_assert(CodesArePositions(), "a tag row's code must be its position");

struct TEntityRow {
    std::string_view Name;
    std::string_view Replacement; // bytes of Windows-1252
};

// The named rows, then "LT" rows up to the sentinel.
constexpr std::array<TEntityRow, kMaxRows> MakeEntityTable()
{
    constexpr TEntityRow named[] = {
        {"reg", "\xAE"}, {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""},
        {"copy", "\xA9"}, {"Agrave", "\xC0"}, {"Aacute", "\xC1"}, {"Acirc", "\xC2"},
        {"Atilde", "\xC3"}, {"Auml", "\xC4"}, {"Aring", "\xC5"},
    };
    std::array<TEntityRow, kMaxRows> table{};
    std::size_t i = 0;
    for (const TEntityRow& row : named)
        table[i++] = row;
    while (i + 1 < table.size())
        table[i++] = {"LT", "<"};
    table[i] = {"END", ""};
    return table;
}
constexpr std::array<TEntityRow, kMaxRows> EntityTable = MakeEntityTable();

template <typename Row, std::size_t N>
const Row* FindRow(const std::array<Row, N>& table, std::string_view name)
{
    for (std::size_t i = 0; i < N && i < kMaxRows && table[i].Name != "END"; ++i)
        if (table[i].Name == name)
            return &table[i];
    return nullptr;
}

// ASCII letters only, so that the bytes of UTF-8 characters stay intact.
void UpperCase(std::string& s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

// A hexadecimal reference ("x60" or "X60", every digit counts), wrapped
// into one byte; nothing when the text is not one.
std::optional<int> HexadecimalCode(std::string_view digits)
{
    if (digits.size() < 2 || (digits[0] != 'x' && digits[0] != 'X'))
        return std::nullopt;
    int code = 0;
    for (char c : digits.substr(1)) {
        const char lower = static_cast<char>(c | 0x20);
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (lower >= 'a' && lower <= 'f')
            value = lower - 'a' + 10;
        if (value < 0)
            return std::nullopt;
        code = (code * 16 + value) % 256;
    }
    return code;
}

// The character of a numeric reference: a hexadecimal one, else the number
// in at most three characters, as the platform reads integers (a bad one
// throws), wrapped into one byte. Negative numbers wrap the same way (-5
// gives 251). A control code prints as its control picture, as in text.
std::string CharacterReference(std::string_view digits)
{
    const std::optional<int> hexadecimal = HexadecimalCode(digits);
    const int code = hexadecimal ? *hexadecimal : ((strToInt(digits.substr(0, 3)) % 256) + 256) % 256;
    return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

} // namespace

void TPrintFile::NextSegment(std::string& Line, std::string& Segment)
{
    if (FStyler) {
        NextStyledRun(Line, Segment);
        return;
    }
    if (FStruck) {
        NextStruckRun(Line, Segment);
        return;
    }
    if (Input != frHTML) {
        Segment = std::move(Line);
        Line.clear();
        return;
    }
    for (;;) {
        StripLeadingSpaces(Line);
        if (Line.empty()) {
            Segment.clear();
            return;
        }
        if (Line[0] != '<' && Line[0] != '&') {
            TextUpToMarkup(Line, Segment);
            return;
        }
        FIsEntity = false;
        std::string Tag;
        ParseMarkup(Line, Tag); // always consumes at least the "<" or "&"
        if (FIsEntity) {
            Segment = std::move(Tag);
            return;
        }
        std::string Output;
        ApplyTag(std::move(Tag), Output);
        if (!Output.empty()) {
            Segment = std::move(Output);
            return;
        }
    }
}

void TPrintFile::TextUpToMarkup(std::string& Line, std::string& Segment)
{
    const std::size_t p = Line.find_first_of("<&");
    if (p == std::string::npos) {
        Segment = std::move(Line);
        Line.clear();
        return;
    }
    Segment = Line.substr(0, p);
    Line.erase(0, p);
}

void TPrintFile::ParseMarkup(std::string& Line, std::string& Tag)
{
    Tag.clear();
    if (Line.empty())
        return;
    const char c = Line[0];
    Line.erase(0, 1);
    if (c == '<') {
        // Without its ">" the "<" alone is dropped and the rest prints.
        const std::size_t p = Line.find('>');
        if (p != std::string::npos) {
            Tag = Line.substr(0, p);
            Line.erase(0, p + 1);
        }
    } else if (c == '&') {
        FIsEntity = true;
        std::string Name;
        const std::size_t p = Line.find(';');
        if (p != std::string::npos) {
            Name = Line.substr(0, std::min<std::size_t>(p, 255));
            Line.erase(0, p + 1);
        }
        DecodeEntity(Name);
        Tag = std::move(Name);
    }
}

void TPrintFile::DecodeEntity(std::string& Text)
{
    if (Text.empty())
        return;
    if (Text[0] == '#') {
        Text = CharacterReference(std::string_view(Text).substr(1));
        return;
    }
    if (const TEntityRow* row = FindRow(EntityTable, Text))
        Text = row->Replacement;
}

void TPrintFile::ApplyTag(std::string Tag, std::string& Output)
{
    Output.clear();
    // The HTML tag hides only text that stands right after it: any other
    // tag begins the text of another element, which always prints.
    FSkipNextText = false;
    bool Open = true;
    // A slash anywhere closes, so an anchor whose address holds one ends
    // the underline instead of starting it.
    if (const std::size_t slash = Tag.find('/'); slash != std::string::npos) {
        Tag.erase(slash, 1);
        Open = false;
    }
    if (Tag.empty())
        return;
    UpperCase(Tag);
    if (Tag[0] == '#') {
        Output = Tag.substr(1);
        return;
    }
    TGdi& Surface = *Gdi();
    if (Tag[0] == 'A') {
        Surface.SetUnderline(Open);
        return;
    }
    const TTagRow* row = FindRow(TagTable, Tag);
    if (!row)
        return;
    auto NewLineNow = [this, &Surface] {
        NewLine();
        Surface.CarriageReturn();
    };
    auto Heading = [this, &Surface, Open](int Points) {
        ChangeFontSize(Open, Points);
        Surface.SetBold(Open);
        FPendingBreak = true;
    };
    switch (row->Code) {
    case tcHTML: FSkipNextText = true; break;
    case tcTITLE:
    case tcH4:
    case tcH5:
    case tcH6:
        Surface.SetBold(Open);
        FPendingBreak = true;
        break;
    case tcBR:
    case tcP: NewLineNow(); break;
    case tcH1: Heading(4); break;
    case tcH2: Heading(2); break;
    case tcH3: Heading(1); break;
    case tcB:
    case tcSTRONG:
    case tcOPTION: Surface.SetBold(Open); break;
    case tcI:
    case tcEM: Surface.SetItalic(Open); break;
    case tcU: Surface.SetUnderline(Open); break;
    case tcCENTER: Surface.SetCentred(Open); break;
    case tcLI:
        // The closing tag records the same state as the opening one.
        Surface.SetListItem(true);
        FPendingBreak = true;
        break;
    case tcHR:
        NewLineNow();
        Surface.DrawRule(FY);
        NewLineNow();
        break;
    case tcNone:
    case tcTR:
    case tcAnchor:
    case tcCharRef:
    case tcComment:
    case tcTD:
    case tcEND: break;
    }
}

void TPrintFile::ChangeFontSize(bool Open, int Points)
{
    // A copy keeps the contents font exactly as it is (a point size does not
    // round-trip through every pixel height). A positive height is a cell
    // height, for which the font's size counts negative: enlarging it moves
    // the size away from zero either way.
    TFont Font = ContentsFont;
    if (Open) {
        const int Size = Font.Size();
        Font.SetSize(Size < 0 ? Size - Points : Size + Points);
    }
    Gdi()->SetFont(Font);
}

} // namespace velm
