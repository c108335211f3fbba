#include "engine/SourceStyler.h"

#include "engine/FileReader.h"
#include "engine/Overstrike.h"
#include "engine/PrnFile.h"
#include "engine/SourceMatcher.h"
#include "platform/core/codepage.h"

#include <srchilite/instances.h>
#include <srchilite/langdefmanager.h>
#include <srchilite/langmap.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <exception>

namespace velm {

namespace {

// The library's element names and the faces they print in.
struct TElementStyle {
    const char* Element;
    TRunStyle Style;
};
constexpr TElementStyle kElementStyles[] = {
    {"keyword", TRunStyle::Keyword}, {"type", TRunStyle::Keyword},
    {"comment", TRunStyle::Comment}, {"todo", TRunStyle::Comment},
    {"string", TRunStyle::String},   {"regexp", TRunStyle::String}, {"specialchar", TRunStyle::String},
    {"number", TRunStyle::Number},   {"preproc", TRunStyle::Preprocessor},
};

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsYes(const std::string& v) { return v.empty() || v == "yes" || v == "true" || v == "on" || v == "1"; }
bool IsNo(const std::string& v) { return v == "no" || v == "false" || v == "off" || v == "0"; }

} // namespace

TSourceStyler::TSourceStyler(const std::string& Language, const std::string& FileName)
{
    const std::string definition = LanguageDefinition(Language, FileName);
    if (definition.empty())
        return;
    try {
        FMatcher = std::make_unique<TSourceMatcher>(
            srchilite::Instances::getLangDefManager()->getHighlightState(definition));
    } catch (const std::exception&) {
        return; // a definition that does not build leaves the text plain
    }
}

TSourceStyler::~TSourceStyler() = default;

bool TSourceStyler::Active() const { return FMatcher != nullptr; }

std::vector<TStyledRun> TSourceStyler::StyleLine(const std::string& Line)
{
    std::vector<TStyledRun> runs;
    try {
        if (Active())
            FMatcher->StyleLine(Line, runs);
        else if (!Line.empty())
            runs.push_back({TRunStyle::Plain, Line});
    } catch (const std::exception&) {
        // A line too complex for the matcher prints plain; the next starts afresh.
        runs.assign(Line.empty() ? 0 : 1, {TRunStyle::Plain, Line});
    }
    return runs;
}

std::string TSourceStyler::MarkedLine(std::string Line)
{
    // A NUL is the run marker: the line's NULs print as their control
    // picture, in UTF-8, which is what every character then is.
    if (Line.find('\0') != std::string::npos)
        Line = toUtf8(toPrintable(Line));
    // Highlighting gives the faces: overstruck characters print plain.
    if (Line.find('\b') != std::string::npos)
        Line = Unstrike(std::move(Line));
    StripTrailingBlanks(Line);
    std::string marked;
    for (const TStyledRun& run : StyleLine(Line)) {
        marked += RunMarker(run.Style);
        marked += run.Text;
    }
    return marked;
}

TRunStyle ElementStyle(std::string_view Element, TRunStyle Otherwise)
{
    for (const TElementStyle& e : kElementStyles)
        if (Element == e.Element)
            return e.Style;
    return Otherwise;
}

std::string RunMarker(TRunStyle Style)
{
    return {'\0', static_cast<char>('0' + static_cast<int>(Style))};
}

std::string LanguageDefinition(const std::string& Language, const std::string& FileName)
{
    try {
        srchilite::LangMap& map = *srchilite::Instances::getLangMap();
        map.open();
        if (!Language.empty()) {
            const std::string name = Lower(Language);
            const std::string definition = map.getMappedFileName(name);
            // A definition file's own name ("cpp.lang") selects it too.
            return definition.empty() && map.getMappedFileNames().count(name) ? name : definition;
        }
        const std::size_t slash = FileName.rfind('/');
        return map.getMappedFileNameFromFileName(slash == std::string::npos ? FileName : FileName.substr(slash + 1));
    } catch (const std::exception&) {
        return {}; // no language map installed: everything prints plain
    }
}

int CountSourceLines(const std::string& FileName)
{
    std::FILE* stream = std::fopen(FileName.c_str(), "rb");
    if (!stream)
        return 0;
    std::array<char, 65536> block{};
    long long lines = 0;
    char last = '\n';
    for (std::size_t count; (count = std::fread(block.data(), 1, block.size(), stream)) > 0;) {
        lines += std::count(block.data(), block.data() + count, '\n');
        last = block[count - 1];
    }
    std::fclose(stream);
    return static_cast<int>(std::min<long long>(lines + (last != '\n' ? 1 : 0), 999'999'999));
}

bool SetSourceOption(TPrintFile& Job, std::string_view Name, std::string_view Value,
                     std::string_view DocumentName)
{
    const std::string value = Lower(Value);
    if (Name == "velm-line-numbers") {
        Job.LineNumbers = !IsNo(value);
        return true;
    }
    if (Name == "velm-highlight") {
        Job.Highlight = !IsNo(value);
        if (Job.Highlight && !IsYes(value))
            Job.HighlightLanguage = value;
        else if (Job.Highlight && !DocumentName.empty())
            Job.HighlightLanguage = LanguageDefinition({}, std::string(DocumentName));
        return true;
    }
    if ((Name == "print-color-mode" && value == "monochrome") ||
        (Name == "ColorModel" && (value == "gray" || value == "grey" || value == "kgray"))) {
        Job.Monochrome = true;
        return true;
    }
    return false;
}

} // namespace velm
