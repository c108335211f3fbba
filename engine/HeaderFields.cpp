#include "engine/HeaderFields.h"

#include "platform/core/codepage.h"
#include "platform/rendering/fonts.h"

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

TLateTextDevice::TLateTextDevice(PageDevice& Target, const TLateTexts& Texts, int Page) : FTarget(Target)
{
    for (const TLateText& text : Texts.All())
        if (text.Page == Page && !text.Final.empty())
            FTexts.push_back(&text);
}

void TLateTextDevice::text(const TextRun& run)
{
    for (const TLateText* late : FTexts) {
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
        if (late->Anchor == TLateText::Centre)
            filled.origin.x -= std::round((now - was) / 2);
        else if (late->Anchor == TLateText::Right)
            filled.origin.x -= now - was;
        FTarget.text(filled);
        return;
    }
    FTarget.text(run);
}

} // namespace velm
