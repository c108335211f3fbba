// Writing a QTextDocument as RTF 1: one \pard per paragraph, one run per
// fragment with its font, size, style and colour; characters outside
// Windows-1252 as \u with a "?" fallback.
#include "shell/RichText.h"

#include "platform/core/codepage.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velm {

namespace {

std::string Escaped(const QString& text)
{
    std::string out;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator) {
            out += "\\line ";
        } else if (u >= 0x20 && u < 0x80) {
            out += static_cast<char>(u);
        } else if (const int byte = toCp1252(u); u >= 0x80 && byte >= 0) {
            static const char digits[] = "0123456789abcdef";
            out += "\\'";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else if (u >= 0x20) {
            out += "\\u" + std::to_string(static_cast<std::int16_t>(u)) + "?";
        }
    }
    return out;
}

class RtfWriter {
public:
    explicit RtfWriter(const QTextDocument& document) : document_(document) {}

    std::string write()
    {
        std::string body;
        for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
            body += "\\pard" + alignmentWord(block.blockFormat().alignment());
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.isValid())
                    body += runWords(fragment.charFormat()) + " " + Escaped(fragment.text());
            }
            body += "\\par\n";
        }
        std::string head = "{\\rtf1\\ansi\\ansicpg1252\\deff0\n{\\fonttbl";
        for (std::size_t i = 0; i < fonts_.size(); ++i)
            head += "{\\f" + std::to_string(i) + "\\fnil " + Escaped(fonts_[i]) + ";}";
        if (fonts_.empty())
            head += "{\\f0\\froman Times New Roman;}";
        head += "}\n{\\colortbl;";
        for (const QColor& c : colors_)
            head += "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" +
                    std::to_string(c.blue()) + ";";
        head += "}\n\\uc1\n";
        return head + body + "}\n";
    }

private:
    static std::string alignmentWord(Qt::Alignment a)
    {
        if (a & Qt::AlignHCenter)
            return "\\qc";
        if (a & Qt::AlignRight)
            return "\\qr";
        if (a & Qt::AlignJustify)
            return "\\qj";
        return "\\ql";
    }

    std::string runWords(const QTextCharFormat& f)
    {
        const QFont font = f.font();
        std::string words = "\\plain\\f" + std::to_string(fontIndex(font.family()));
        const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
        words += "\\fs" + std::to_string(static_cast<int>(std::lround(points * 2)));
        if (font.bold())
            words += "\\b";
        if (font.italic())
            words += "\\i";
        if (font.underline())
            words += "\\ul";
        if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
            words += "\\cf" + std::to_string(colorIndex(f.foreground().color()));
        return words;
    }

    int fontIndex(const QString& family)
    {
        const auto at = std::find(fonts_.begin(), fonts_.end(), family);
        if (at != fonts_.end())
            return static_cast<int>(at - fonts_.begin());
        fonts_.push_back(family);
        return static_cast<int>(fonts_.size()) - 1;
    }

    int colorIndex(const QColor& color)
    {
        const QColor rgb = color.toRgb();
        const auto at = std::find(colors_.begin(), colors_.end(), rgb);
        if (at != colors_.end())
            return static_cast<int>(at - colors_.begin()) + 1;
        colors_.push_back(rgb);
        return static_cast<int>(colors_.size());
    }

    const QTextDocument& document_;
    std::vector<QString> fonts_;
    std::vector<QColor> colors_;
};

} // namespace

std::string SaveRichText(const QTextDocument& Document) { return RtfWriter(Document).write(); }

} // namespace velm
