#include "engine/HeaderFields.h"

#include "platform/core/codepage.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/shaped_text.h"
#include "platform/rendering/shaper.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <cstdlib>
#include <numeric>

#include <pwd.h>
#include <unistd.h>

namespace velm {

namespace {

constexpr const char* kFields = "fFmMDTupsPSj";

std::string Count(int n) { return n > 0 ? std::to_string(n) : "?"; }

std::string Field(char name, const THeaderFields& f)
{
    switch (name) {
    case 'f': return f.File;
    case 'F': return f.Base;
    case 'm': return DateText(f.Modified);
    case 'M': return TimeText(f.Modified);
    case 'D': return DateText(f.Printed);
    case 'T': return TimeText(f.Printed);
    case 'u': return f.User;
    case 'j': return f.Title;
    case 'p': return std::to_string(f.Page);
    case 's': return std::to_string(f.Sheet);
    case 'P': return Count(f.Pages);
    case 'S': return Count(f.Sheets);
    }
    return {};
}

QDateTime Local(std::time_t when) { return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(when)); }

} // namespace

std::string ExpandHeaderFields(const std::string& Format, const THeaderFields& Fields)
{
    std::string text;
    for (std::size_t i = 0; i < Format.size(); ++i) {
        if (Format[i] != '%' || i + 1 == Format.size()) {
            text += Format[i];
            continue;
        }
        const char name = Format[++i];
        text += name == '%' ? std::string("%") : Field(name, Fields);
    }
    return text;
}

bool NeedsTotals(const std::string& Format)
{
    for (std::size_t i = 0; i + 1 < Format.size(); ++i)
        if (Format[i] == '%' && (Format[i + 1] == 'P' || Format[i + 1] == 'S'))
            return true;
        else if (Format[i] == '%')
            ++i;
    return false;
}

std::string HeaderFormatProblem(const std::string& Format)
{
    for (std::size_t i = 0; i < Format.size(); ++i) {
        if (Format[i] != '%')
            continue;
        if (i + 1 == Format.size())
            return "a lone '%' ends it (%% prints a percent sign)";
        const char name = Format[++i];
        if (name != '%' && std::string_view(kFields).find(name) == std::string_view::npos)
            return std::string("'%") + name + "' is not a field (%% prints a percent sign)";
    }
    return {};
}

std::string EscapeHeaderFields(const std::string& Text)
{
    std::string escaped;
    for (char c : Text)
        escaped += c == '%' ? std::string("%%") : std::string(1, c);
    return escaped;
}

std::string CurrentUserName()
{
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_name)
        return user->pw_name;
    const char* name = std::getenv("USER");
    return name ? name : "";
}

std::string DateText(std::time_t When)
{
    return QLocale::system().toString(Local(When).date(), QLocale::ShortFormat).toStdString();
}

std::string TimeText(std::time_t When)
{
    return QLocale::system().toString(Local(When).time(), QLocale::LongFormat).toStdString();
}

void TLateTexts::Resolve(int Pages, int Sheets)
{
    for (TLateText& text : FTexts) {
        text.Fields.Pages = Pages;
        text.Fields.Sheets = Sheets;
        text.Final = ExpandHeaderFields(text.Format, text.Fields);
    }
}

namespace {

// How far a text's start moves left when its width grows by Growth and
// its anchor stays.
double AnchorShift(TLateText::TAnchor Anchor, double Growth)
{
    if (Anchor == TLateText::Centre)
        return std::round(Growth / 2);
    return Anchor == TLateText::Right ? Growth : 0;
}

} // namespace

TLateTextDevice::TLateTextDevice(PageDevice& Target, const TLateTexts& Texts, int Page) : FTarget(Target)
{
    for (const TLateText& text : Texts.All())
        if (text.Page == Page && !text.Final.empty())
            FTexts.push_back(&text);
}

void TLateTextDevice::text(const TextRun& run)
{
    if (FSkippedRuns > 0 && run.glyphIndex) {
        --FSkippedRuns;
        return;
    }
    for (const TLateText* late : FTexts) {
        if (late->ShapedRuns > 0) {
            // The first of the runs the shaper drew, where it drew it.
            if (!run.glyphIndex || std::lround(run.origin.x) != late->FirstRunX ||
                std::lround(run.origin.y) != late->FirstRunY || late->Drawn.find(run.source.text) == std::u16string::npos)
                continue;
            DrawShaped(*late, run);
            FSkippedRuns = late->ShapedRuns - 1;
            return;
        }
        // Only the record the header drew, as it drew it: measured text.
        if (run.glyphIndex || run.text != late->Drawn || std::lround(run.origin.x) != late->X ||
            std::lround(run.origin.y) != late->Y || run.dx.size() != run.text.size())
            continue;
        TextRun filled = run;
        filled.text = toPrintable(late->Final);
        const std::vector<int> advances = textAdvances(run.font, filled.text);
        filled.dx.assign(advances.begin(), advances.end());
        const double was = std::accumulate(run.dx.begin(), run.dx.end(), 0.0);
        const double now = std::accumulate(filled.dx.begin(), filled.dx.end(), 0.0);
        filled.origin.x -= AnchorShift(late->Anchor, now - was);
        FTarget.text(filled);
        return;
    }
    FTarget.text(run);
}

// The final text shaped as the header shaped it, run by run in the first
// run's colours.
void TLateTextDevice::DrawShaped(const TLateText& Late, const TextRun& First)
{
    const std::u16string text = toPrintable(Late.Final);
    thread_local ShapedLine line;
    shapeLine(Late.Font, text, line);
    const double x = Late.X - AnchorShift(Late.Anchor, line.width() - Late.Width);
    TextRun out = First;
    out.font = Late.Font;
    if (line.fast) {
        out.origin = {x, static_cast<double>(Late.Y)};
        out.glyphIndex = false;
        out.source = {};
        out.text = text;
        out.dx.assign(line.advances.begin(), line.advances.end());
        out.dy.clear();
        FTarget.text(out);
        return;
    }
    placeShapedLine(static_cast<int>(std::lround(x)), Late.Y, Late.Font, text, line, [&](const PlacedShapedRun& run) {
        out.origin = {static_cast<double>(run.x), static_cast<double>(run.y)};
        out.glyphIndex = true;
        out.text.assign(run.record.glyphs.begin(), run.record.glyphs.end());
        out.dx.assign(run.record.dx.begin(), run.record.dx.end());
        out.dy.clear();
        for (int step : run.record.dy) // the page counts them upwards
            out.dy.push_back(-step);
        out.font = run.font;
        out.source = run.record.source;
        FTarget.text(out);
    });
}

} // namespace velm
