// Reading RTF into a QTextDocument: groups with their character state,
// font and colour tables, paragraphs, \'hh bytes of the document's code page
// and \u characters; destinations we do not show are skipped.
#include "shell/RichText.h"

#include "platform/core/codepage.h"

#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

namespace velm {

namespace {

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
        return QString(QChar(fromCp1252(byte)));
    }

private:
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

} // namespace velm
