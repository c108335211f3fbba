#include "shell/RichText.h"

#include "platform/core/codepage.h"
#include "platform/printing/printer.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace velm {

namespace {

// --- Reading ------------------------------------------------------------------

enum class Destination { Text, FontTable, ColorTable, Skip };

struct GroupState {
    Destination destination = Destination::Text;
    bool bold = false, italic = false, underline = false;
    int halfPoints = 24;
    int font = 0;
    int color = 0;
    int unicodeSkip = 1;
};

// Single-byte code pages by number; 1252 is what \ansi means.
class ByteDecoder {
public:
    void setCodePage(int codePage)
    {
        codePage_ = codePage;
        decoder_.reset();
        if (codePage != 1252) {
            const QByteArray name = "windows-" + QByteArray::number(codePage);
            auto decoder = std::make_unique<QStringDecoder>(name.constData());
            if (decoder->isValid())
                decoder_ = std::move(decoder);
        }
    }
    QString decode(unsigned char byte)
    {
        if (decoder_) {
            const char c = static_cast<char>(byte);
            return (*decoder_)(QByteArrayView(&c, 1));
        }
        const std::u16string text = toUnicode(std::string(1, static_cast<char>(byte)));
        return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    }

private:
    int codePage_ = 1252;
    std::unique_ptr<QStringDecoder> decoder_;
};

class RtfReader {
public:
    RtfReader(QTextDocument& document, std::string_view bytes) : in_(bytes), cursor_(&document)
    {
        document.clear();
        cursor_ = QTextCursor(&document);
        states_.push_back({});
    }

    void run()
    {
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '{') {
                ++pos_;
                states_.push_back(states_.back());
            } else if (c == '}') {
                ++pos_;
                closeGroup();
                if (states_.empty())
                    break;
            } else if (c == '\\') {
                controlWord();
            } else if (c == '\r' || c == '\n') {
                ++pos_;
            } else {
                ++pos_;
                const auto byte = static_cast<unsigned char>(c);
                characters(byte < 0x80 ? QString(QChar(byte)) : decoder_.decode(byte));
            }
        }
        flush();
        applyParagraph();
    }

private:
    GroupState& state() { return states_.back(); }

    void closeGroup()
    {
        if (state().destination == Destination::FontTable && !fontName_.isEmpty())
            storeFont();
        flush();
        pendingSkip_ = 0;
        states_.pop_back();
    }

    void storeFont()
    {
        fonts_[fontIndex_] = fontName_.trimmed();
        fontName_.clear();
    }

    void controlWord()
    {
        ++pos_; // the backslash
        if (pos_ >= in_.size())
            return;
        const char c = in_[pos_];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++pos_;
            controlSymbol(c);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_[pos_])) && word.size() < 32)
            word += in_[pos_++];
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[pos_]))) {
            if (digits++ < 10)
                param = param * 10 + (in_[pos_] - '0');
            hasParam = true;
            ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_; // the delimiter belongs to the word
        const int value = static_cast<int>(std::clamp<long long>(negative ? -param : param, -2147483647LL, 2147483647LL));
        apply(word, hasParam, value);
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\'': {
            if (pos_ + 2 > in_.size())
                return;
            const std::string hex(in_.substr(pos_, 2));
            pos_ += 2;
            const int byte = static_cast<int>(std::strtol(hex.c_str(), nullptr, 16));
            if (pendingSkip_ > 0) {
                --pendingSkip_;
                return;
            }
            characters(decoder_.decode(static_cast<unsigned char>(byte)));
            return;
        }
        case '*': state().destination = Destination::Skip; return;
        case '~': characters(QString(QChar(0x00A0))); return;
        case '_': characters(QString(QChar(0x2011))); return;
        case '-': return; // optional hyphen
        case '\r':
        case '\n': paragraph(); return;
        default: characters(QString(QChar(c))); return; // \\ \{ \}
        }
    }

    void apply(const std::string& w, bool hasParam, int v)
    {
        GroupState& s = state();
        const bool on = !hasParam || v != 0;
        if (pendingSkip_ > 0 && w != "u") {
            --pendingSkip_;
            return;
        }
        static const char* const skipped[] = {
            "info", "stylesheet", "pict", "header", "footer", "headerl", "headerr", "headerf", "footerl",
            "footerr", "footerf", "fldinst", "object", "themedata", "colorschememapping", "latentstyles",
            "datastore", "xmlnstbl", "listtable", "listoverridetable", "rsidtbl", "generator", "footnote",
            "pgdsctbl", "filetbl", "revtbl", "mmathPr", "annotation", "atnid", "atnauthor", "bkmkstart",
            "bkmkend", "pn", "pntext", "listtext", "nonshppict", "shp", "private", "userprops"};
        if (std::find(std::begin(skipped), std::end(skipped), w) != std::end(skipped)) {
            s.destination = Destination::Skip;
            return;
        }
        if (s.destination == Destination::Skip)
            return;
        if (w == "fonttbl") s.destination = Destination::FontTable;
        else if (w == "colortbl") { s.destination = Destination::ColorTable; colors_.clear(); color_ = {}; }
        else if (w == "ansicpg") decoder_.setCodePage(v);
        else if (w == "deff") defaultFont_ = v;
        else if (s.destination == Destination::FontTable) { if (w == "f") fontIndex_ = v; }
        else if (s.destination == Destination::ColorTable) colorPart(w, v);
        else if (w == "par" || w == "sect" || w == "page" || w == "row") paragraph();
        else if (w == "pard") alignment_ = Qt::AlignLeft;
        else if (w == "ql") alignment_ = Qt::AlignLeft;
        else if (w == "qc") alignment_ = Qt::AlignHCenter;
        else if (w == "qr") alignment_ = Qt::AlignRight;
        else if (w == "qj") alignment_ = Qt::AlignJustify;
        else if (w == "line") characters(QString(QChar::LineSeparator));
        else if (w == "tab" || w == "cell") characters("\t");
        else if (w == "plain") { s.bold = s.italic = s.underline = false; s.halfPoints = 24; s.font = defaultFont_; s.color = 0; }
        else if (w == "b") s.bold = on;
        else if (w == "i") s.italic = on;
        else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "ulth" || w == "uldash") s.underline = on;
        else if (w == "ulnone") s.underline = false;
        else if (w == "fs") { if (v > 0) s.halfPoints = v; }
        else if (w == "f") s.font = v;
        else if (w == "cf") s.color = v;
        else if (w == "uc") s.unicodeSkip = std::max(0, v);
        else if (w == "u") unicode(v);
        else if (w == "bin") pos_ = std::min(in_.size(), pos_ + static_cast<std::size_t>(std::max(0, v)));
        else if (w == "emdash") characters(QString(QChar(0x2014)));
        else if (w == "endash") characters(QString(QChar(0x2013)));
        else if (w == "bullet") characters(QString(QChar(0x2022)));
        else if (w == "lquote") characters(QString(QChar(0x2018)));
        else if (w == "rquote") characters(QString(QChar(0x2019)));
        else if (w == "ldblquote") characters(QString(QChar(0x201C)));
        else if (w == "rdblquote") characters(QString(QChar(0x201D)));
    }

    void colorPart(const std::string& w, int v)
    {
        const int part = std::clamp(v, 0, 255);
        if (w == "red") color_.setRed(part);
        else if (w == "green") color_.setGreen(part);
        else if (w == "blue") color_.setBlue(part);
        else return;
        colorGiven_ = true;
    }

    void unicode(int v)
    {
        const auto unit = static_cast<char16_t>(v < 0 ? v + 65536 : v);
        // The fallback characters after \u are skipped, but only after this one.
        pendingSkip_ = 0;
        characters(QString(QChar(unit)));
        pendingSkip_ = state().unicodeSkip;
    }

    void characters(const QString& text)
    {
        GroupState& s = state();
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        switch (s.destination) {
        case Destination::Skip: return;
        case Destination::FontTable:
            for (const QChar ch : text) {
                if (ch == ';')
                    storeFont();
                else
                    fontName_ += ch;
            }
            return;
        case Destination::ColorTable:
            if (text.contains(';')) {
                colors_.push_back(colorGiven_ ? color_ : QColor());
                color_ = {};
                colorGiven_ = false;
            }
            return;
        case Destination::Text: break;
        }
        startParagraphIfPending();
        const QTextCharFormat format = formatOf(s);
        if (format != runFormat_)
            flush();
        runFormat_ = format;
        run_ += text;
    }

    QTextCharFormat formatOf(const GroupState& s) const
    {
        QTextCharFormat format;
        format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(s.italic);
        format.setFontUnderline(s.underline);
        format.setFontPointSize(s.halfPoints / 2.0);
        const auto font = fonts_.find(s.font);
        format.setFontFamilies({font != fonts_.end() && !font->second.isEmpty() ? font->second : "Times New Roman"});
        if (s.color > 0 && s.color < static_cast<int>(colors_.size()) && colors_[static_cast<std::size_t>(s.color)].isValid())
            format.setForeground(colors_[static_cast<std::size_t>(s.color)]);
        return format;
    }

    void flush()
    {
        if (run_.isEmpty())
            return;
        cursor_.insertText(run_, runFormat_);
        run_.clear();
    }

    void applyParagraph()
    {
        QTextBlockFormat block = cursor_.blockFormat();
        block.setAlignment(alignment_);
        cursor_.setBlockFormat(block);
    }

    // A \par ends its paragraph; the next one opens only when more follows,
    // so a closing \par leaves no empty paragraph behind.
    void paragraph()
    {
        if (state().destination != Destination::Text)
            return;
        startParagraphIfPending();
        flush();
        applyParagraph();
        paragraphPending_ = true;
    }

    void startParagraphIfPending()
    {
        if (!paragraphPending_)
            return;
        paragraphPending_ = false;
        cursor_.insertBlock();
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    QTextCursor cursor_;
    std::vector<GroupState> states_;
    ByteDecoder decoder_;
    std::map<int, QString> fonts_;
    int fontIndex_ = 0;
    int defaultFont_ = 0;
    QString fontName_;
    std::vector<QColor> colors_;
    QColor color_;
    bool colorGiven_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    QString run_;
    QTextCharFormat runFormat_;
    bool paragraphPending_ = false;
    int pendingSkip_ = 0;
};

// --- Writing -------------------------------------------------------------------

// Code page 1252 bytes 0x80..0x9F; the rest of 0xA0..0xFF is Latin-1.
const char16_t Cp1252High[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

int Cp1252Byte(char16_t unit)
{
    if (unit >= 0xA0 && unit <= 0xFF)
        return unit;
    for (int i = 0; i < 32; ++i)
        if (Cp1252High[i] != 0 && Cp1252High[i] == unit)
            return 0x80 + i;
    return -1;
}

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
        } else if (const int byte = Cp1252Byte(u); byte >= 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", byte);
            out += hex;
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

// --- Printing --------------------------------------------------------------------

LogFont LogFontOf(const QFont& font, double dpi)
{
    LogFont log;
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    log.height = -static_cast<int>(std::lround(points * dpi / 72.0));
    log.weight = font.bold() ? 700 : 400;
    log.italic = font.italic();
    log.underline = font.underline();
    log.strikeOut = font.strikeOut();
    log.faceName = font.family().toStdU16String().substr(0, 31);
    return log;
}

// The runs of one laid-out line, cut at tabs and line breaks, which are
// spaces on paper, not glyphs.
void LineRuns(const QTextBlock& block, const QTextLine& line, QPointF origin, double dpi,
              std::vector<TextRun>& page)
{
    const int lineStart = line.textStart();
    const int lineEnd = lineStart + line.textLength();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int fragStart = fragment.position() - block.position();
        const int from = std::max(lineStart, fragStart);
        const int to = std::min(lineEnd, fragStart + fragment.length());
        const QString text = block.text();
        for (int start = from; start < to;) {
            while (start < to && (text[start] == '\t' || text[start] == QChar::LineSeparator))
                ++start;
            int end = start;
            while (end < to && text[end] != '\t' && text[end] != QChar::LineSeparator)
                ++end;
            if (end > start) {
                TextRun run;
                run.origin = {origin.x() + line.cursorToX(start), origin.y() + line.y() + line.ascent()};
                run.text = text.mid(start, end - start).toStdU16String();
                for (int i = start; i < end; ++i)
                    run.dx.push_back(line.cursorToX(i + 1) - line.cursorToX(i));
                run.font = LogFontOf(fragment.charFormat().font(), dpi);
                const QBrush brush = fragment.charFormat().foreground();
                const QColor color = brush.style() == Qt::NoBrush ? QColor(Qt::black) : brush.color();
                run.color = rgb(color.red(), color.green(), color.blue());
                run.bkMode = TRANSPARENT;
                run.align = 24; // TA_BASELINE
                page.push_back(std::move(run));
            }
            start = end;
        }
    }
}

} // namespace

bool IsRichText(std::string_view Bytes)
{
    const auto first = Bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && Bytes.substr(first, 5) == "{\\rtf";
}

void LoadRichText(QTextDocument& Document, std::string_view Bytes)
{
    if (!IsRichText(Bytes)) {
        const std::u16string text = toUnicode(Bytes);
        Document.setPlainText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
        return;
    }
    RtfReader(Document, Bytes).run();
}

std::string SaveRichText(const QTextDocument& Document) { return RtfWriter(Document).write(); }

void PrintRichText(const QTextDocument& Document, Printer& Target, const std::string& Title)
{
    const PrinterCaps caps = Target.caps();
    const double dpi = caps.logPixelsY > 0 ? caps.logPixelsY : 600;
    // Lay the text out in the printer's own pixels, so what is measured is printed.
    QImage metrics(1, 1, QImage::Format_Mono);
    metrics.setDotsPerMeterX(static_cast<int>(std::lround(caps.logPixelsX / 0.0254)));
    metrics.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    std::unique_ptr<QTextDocument> copy(Document.clone());
    copy->documentLayout()->setPaintDevice(&metrics);
    // Frame margins are in 96-per-inch units, which the layout scales to the device.
    copy->setDocumentMargin(96.0 / 2);
    const QSizeF pageSize(caps.horzRes, caps.vertRes);
    copy->setPageSize(pageSize);
    copy->pageCount(); // lays the whole text out; the layout is lazy otherwise

    std::vector<std::vector<TextRun>> pages(1);
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QPointF at = layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double top = at.y() + line.y();
            const auto index = static_cast<std::size_t>(std::max(0.0, std::floor(top / pageSize.height())));
            if (pages.size() <= index)
                pages.resize(index + 1);
            const QPointF origin(at.x(), at.y() - static_cast<double>(index) * pageSize.height());
            LineRuns(block, line, origin, dpi, pages[index]);
        }
    }

    PageSpace space;
    space.widthPx = caps.horzRes;
    space.heightPx = caps.vertRes;
    space.widthMm = caps.horzSizeMm;
    space.heightMm = caps.vertSizeMm;
    space.frame = {0, 0, caps.horzSizeMm * 100, caps.vertSizeMm * 100};
    std::unique_ptr<PrintDocument> output = Target.beginDocument(Title);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            output->newPage();
        output->device().beginPage(space);
        for (const TextRun& run : pages[i])
            output->device().text(run);
        output->device().endPage();
    }
    output->end();
}

} // namespace velm
