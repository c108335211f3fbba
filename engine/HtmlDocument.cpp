#include "engine/HtmlDocument.h"

#include "platform/core/codepage.h"
#include "platform/core/errors.h"

#include <gumbo.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace velm {

namespace htmlmark {
std::string StyleMarker(unsigned Faces)
{
    return std::string{'\0', Style, static_cast<char>(0x40 | (Faces & 0x1F))};
}
} // namespace htmlmark

namespace {

enum TCharset { csMixed, csConverter };

constexpr int kMaxIndent = 8;
// Deeper than this the parser's scope checks grow with the depth at every
// tag: elements past it print as their text.
constexpr int kMaxDepth = 400;
// A tag longer than this keeps its name only (the parser compares every
// attribute with every other one).
constexpr std::size_t kMaxTagBytes = 16384;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

std::string Collapsed(std::string_view text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (IsSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// The charset a <meta> near the page's start names, lower case; empty when none.
std::string MetaCharset(std::string_view head)
{
    const std::string lower = LowerAscii(head.substr(0, 8192));
    for (std::size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
        const std::size_t end = lower.find('>', at);
        const std::string_view tag = std::string_view(lower).substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::size_t p = tag.find("charset");
        if (p == std::string_view::npos)
            continue;
        p += 7;
        while (p < tag.size() && IsSpace(tag[p]))
            ++p;
        if (p >= tag.size() || tag[p] != '=')
            continue;
        ++p;
        while (p < tag.size() && (IsSpace(tag[p]) || tag[p] == '"' || tag[p] == '\''))
            ++p;
        std::size_t q = p;
        while (q < tag.size() && !IsSpace(tag[q]) && tag[q] != '"' && tag[q] != '\'' && tag[q] != ';' && tag[q] != '/')
            ++q;
        if (q > p)
            return std::string(tag.substr(p, q - p));
    }
    return {};
}

// Names that mean the engine's own reading: UTF-8 where the bytes are
// UTF-8, Windows-1252 elsewhere (browsers read Latin-1 as Windows-1252).
bool MixedReading(const std::string& name)
{
    static constexpr const char* names[] = {"", "utf-8", "utf8", "unicode-1-1-utf-8", "iso-8859-1", "latin1",
                                            "iso8859-1", "l1", "us-ascii", "ascii", "windows-1252", "cp1252",
                                            "x-cp1252", "iso_8859-1"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// Markup the parser would take too long over: start tags nested deeper
// than kMaxDepth and overlong tags lose their markup, never their text.
std::string BoundedMarkup(std::string html)
{
    static constexpr std::string_view rawText[] = {"script", "style", "textarea", "title", "xmp",
                                                    "iframe", "noembed", "noframes", "noscript"};
    static constexpr std::string_view closesItself[] = {
        "p", "li", "dt", "dd", "option", "optgroup", "tr", "td", "th", "thead", "tbody", "tfoot", "colgroup",
        "rb", "rt", "rtc", "rp", "br", "img", "input", "meta", "link", "hr", "area", "base", "col", "embed",
        "param", "source", "track", "wbr", "keygen", "image", "basefont", "bgsound", "frame", "html", "head",
        "body", "plaintext"};
    std::string out;
    std::size_t from = 0, i = 0;
    int depth = 0;
    const std::size_t n = html.size();
    auto keep = [&](std::size_t to) { out.append(html, from, to - from); };
    while ((i = html.find('<', i)) != std::string::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? n : end + 3;
            continue;
        }
        const std::size_t tagStart = i;
        const bool closing = i + 1 < n && html[i + 1] == '/';
        std::size_t nameStart = i + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < n && nameEnd - nameStart < 16
               && (((html[nameEnd] | 0x20) >= 'a' && (html[nameEnd] | 0x20) <= 'z')
                   || (nameEnd > nameStart && html[nameEnd] >= '0' && html[nameEnd] <= '9')))
            ++nameEnd;
        if (nameEnd == nameStart) {
            ++i;
            continue;
        }
        const std::string name = LowerAscii(std::string_view(html).substr(nameStart, nameEnd - nameStart));
        std::size_t end = html.find('>', nameEnd);
        if (end == std::string::npos)
            end = n - 1;
        if (end - i > kMaxTagBytes) {
            keep(i);
            out.append(html, i, nameEnd - i).append(">");
            from = end + 1;
        }
        const std::size_t tagEnd = end + 1;
        i = end + 1;
        if (std::find(std::begin(closesItself), std::end(closesItself), name) != std::end(closesItself))
            continue;
        if (closing) {
            depth = std::max(0, depth - 1);
            continue;
        }
        if (std::find(std::begin(rawText), std::end(rawText), name) != std::end(rawText)) {
            std::size_t close = html.find("</", i);
            while (close != std::string::npos && LowerAscii(std::string_view(html).substr(close + 2, name.size())) != name)
                close = html.find("</", close + 2);
            i = close == std::string::npos ? n : close;
            continue;
        }
        if (++depth > kMaxDepth) {
            --depth;
            if (from <= tagStart) {
                keep(tagStart);
                from = tagEnd;
            }
        }
    }
    if (from == 0)
        return html;
    keep(n);
    return out;
}

// Gumbo frees its tree node by node, recursively: a flat tree keeps that
// shallow however deep the page nests.
void DestroyFlat(GumboOutput* output)
{
    std::vector<GumboNode*> nodes;
    std::vector<GumboNode*> todo{output->document};
    while (!todo.empty()) {
        GumboNode* node = todo.back();
        todo.pop_back();
        GumboVector* children = node->type == GUMBO_NODE_DOCUMENT ? &node->v.document.children
                                : node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE
                                    ? &node->v.element.children
                                    : nullptr;
        if (!children)
            continue;
        for (unsigned i = 0; i < children->length; ++i) {
            nodes.push_back(static_cast<GumboNode*>(children->data[i]));
            todo.push_back(static_cast<GumboNode*>(children->data[i]));
        }
        if (node->type != GUMBO_NODE_DOCUMENT)
            children->length = 0;
    }
    GumboVector& top = output->document->v.document.children;
    void** flat = static_cast<void**>(std::malloc(std::max<std::size_t>(1, nodes.size()) * sizeof(void*)));
    if (flat) {
        std::copy(nodes.begin(), nodes.end(), flat);
        std::free(top.data);
        top.data = flat;
        top.length = top.capacity = static_cast<unsigned>(nodes.size());
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

const GumboVector* ChildrenOf(const GumboNode* node)
{
    if (node->type == GUMBO_NODE_DOCUMENT)
        return &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT)
        return &node->v.element.children;
    return nullptr;
}

const char* Attribute(const GumboNode* node, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? a->value : nullptr;
}

std::string TitleOf(const GumboNode* root)
{
    std::vector<const GumboNode*> todo{root};
    while (!todo.empty()) {
        const GumboNode* node = todo.back();
        todo.pop_back();
        if (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_TITLE
            && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML) {
            std::string text;
            const GumboVector& c = node->v.element.children;
            for (unsigned i = 0; i < c.length; ++i) {
                const GumboNode* t = static_cast<const GumboNode*>(c.data[i]);
                if (t->type == GUMBO_NODE_TEXT || t->type == GUMBO_NODE_WHITESPACE)
                    text += t->v.text.text;
            }
            return Collapsed(text);
        }
        if (const GumboVector* c = ChildrenOf(node))
            for (unsigned i = c->length; i-- > 0;)
                todo.push_back(static_cast<const GumboNode*>(c->data[i]));
    }
    return {};
}

std::string Hex4(int value)
{
    static constexpr char digits[] = "0123456789abcdef";
    value = std::clamp(value, 0, 0xFFFF);
    return {digits[(value >> 12) & 15], digits[(value >> 8) & 15], digits[(value >> 4) & 15], digits[value & 15]};
}

using TLaid = THtmlDocument::TLaid;

// The width of marked runs.
int RunsWidth(const std::string& runs, const THtmlMeasure& m)
{
    int width = 0;
    unsigned style = 0;
    std::size_t i = 0;
    while (i < runs.size()) {
        if (runs[i] == '\0') {
            if (i + 2 < runs.size() && runs[i + 1] == htmlmark::Style)
                style = static_cast<unsigned char>(runs[i + 2]) & 0x1F;
            i += runs[i + 1] == htmlmark::Column ? 6 : 3;
            continue;
        }
        const std::size_t end = std::min(runs.find('\0', i), runs.size());
        width += m.Width(runs.substr(i, end - i), style);
        i = end;
    }
    return width;
}

class TLayout {
public:
    TLayout(std::deque<TLaid>& Out, const THtmlMeasure& Measure, bool Links, bool Nested, bool& BlankLast)
        : FOut(Out), FMeasure(Measure), FLinks(Links), FNested(Nested), FBlankLast(BlankLast)
    {
    }
    void Walk(const GumboNode* Root);
    void Finish() { EndLine(false); }
    unsigned FStyle = 0;

private:
    struct Frame {
        const GumboNode* Node;
        unsigned Next = 0;
        bool Entered = false;
        unsigned Style = 0;
        int Heading = 0, Indent = 0, Pre = 0;
        std::size_t Lists = 0;
        std::size_t LinkStart = 0;
    };
    struct List {
        bool Ordered;
        int Counter;
    };

    bool Enter(Frame& f);
    void Exit(const Frame& f);
    void Text(std::string_view text);
    void Put(std::string_view text);
    void EndLine(bool Force);
    void Blank() { EndLine(false); FWantBlank = true; }
    void Emit(TLaid line);
    void Table(const GumboNode* table);

    std::deque<TLaid>& FOut;
    const THtmlMeasure& FMeasure;
    bool FLinks, FNested;
    bool& FBlankLast;
    int FHeading = 0, FIndent = 0, FPre = 0;
    std::vector<List> FLists;
    std::string FRuns;
    unsigned FRunStyle = ~0u;
    bool FSpace = false;
    unsigned FSpaceStyle = 0; // a space prints in the faces of the text it stood in
    bool FWantBlank = false;
    int FColumn = 0;
    int FLineIndent = 0, FLineHeading = 0;
    std::string FMarker, FLineMarker;
};

void TLayout::Emit(TLaid line)
{
    const bool blank = line.Runs.empty() && line.Kind == 'T';
    if (FWantBlank && !FBlankLast && !blank)
        FOut.push_back({});
    FWantBlank = false;
    if (blank && FBlankLast)
        return;
    FBlankLast = blank || line.Kind == 'E';
    FOut.push_back(std::move(line));
}

void TLayout::EndLine(bool Force)
{
    FSpace = false;
    FColumn = 0;
    if (FRuns.empty()) {
        if (Force && !FWantBlank)
            Emit({0, 0, 'E', {}, {}}); // kept: a <pre> line or a <br> of its own
        return;
    }
    Emit({FLineIndent, FLineHeading, 'T', std::move(FLineMarker), std::move(FRuns)});
    FRuns.clear();
    FLineMarker.clear();
    FRunStyle = ~0u;
}

void TLayout::Put(std::string_view text)
{
    if (FRuns.empty()) {
        FLineIndent = std::min(FIndent, kMaxIndent);
        FLineHeading = FHeading;
        FLineMarker = std::exchange(FMarker, std::string());
        FRunStyle = ~0u;
    }
    if (FRunStyle != FStyle) {
        FRuns += htmlmark::StyleMarker(FStyle);
        FRunStyle = FStyle;
    }
    FRuns += text;
}

void TLayout::Text(std::string_view text)
{
    if (FPre > 0) {
        std::size_t from = 0;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            const char c = i < text.size() ? text[i] : '\n';
            if (c != '\n' && c != '\t' && c != '\r') {
                if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
                    ++FColumn;
                continue;
            }
            if (i > from)
                Put(text.substr(from, i - from));
            from = i + 1;
            if (i == text.size())
                break;
            if (c == '\t') {
                const int spaces = 8 - FColumn % 8;
                Put(std::string(static_cast<std::size_t>(spaces), ' '));
                FColumn += spaces;
            } else if (c == '\n') {
                EndLine(true);
            }
        }
        return;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSpace(text[i])) {
            if (!FSpace)
                FSpaceStyle = FStyle;
            FSpace = true;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsSpace(text[end]))
            ++end;
        if (FSpace && !FRuns.empty()) {
            const unsigned style = std::exchange(FStyle, FSpaceStyle);
            Put(" ");
            FStyle = style;
        }
        FSpace = false;
        Put(text.substr(i, end - i));
        i = end;
    }
}

bool TLayout::Enter(Frame& f)
{
    const GumboNode* node = f.Node;
    if (node->type == GUMBO_NODE_DOCUMENT)
        return true;
    const GumboElement& e = node->v.element;
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG)
        return false;
    f.Style = FStyle;
    f.Heading = FHeading;
    f.Indent = FIndent;
    f.Pre = FPre;
    f.Lists = FLists.size();
    switch (e.tag) {
    case GUMBO_TAG_HEAD: case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_TITLE: case GUMBO_TAG_SELECT: case GUMBO_TAG_DATALIST: case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_AREA: case GUMBO_TAG_MAP:
        return false;
    case GUMBO_TAG_P: case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_ADDRESS:
        Blank();
        if (e.tag == GUMBO_TAG_ADDRESS)
            FStyle |= hsItalic;
        return true;
    case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4: case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
        Blank();
        FHeading = 1 + (e.tag - GUMBO_TAG_H1);
        FStyle |= hsBold;
        return true;
    case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP: case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_TEXTAREA:
        Blank();
        ++FPre;
        FStyle |= hsMono;
        return true;
    case GUMBO_TAG_BLOCKQUOTE:
        Blank();
        ++FIndent;
        return true;
    case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR: {
        if (FLists.empty())
            Blank();
        else
            EndLine(false);
        const char* start = e.tag == GUMBO_TAG_OL ? Attribute(node, "start") : nullptr;
        FLists.push_back({e.tag == GUMBO_TAG_OL, start ? std::atoi(start) : 1});
        ++FIndent;
        return true;
    }
    case GUMBO_TAG_LI: {
        EndLine(false);
        if (FLists.empty()) {
            FMarker = "\xE2\x80\xA2";
            return true;
        }
        List& list = FLists.back();
        if (const char* value = Attribute(node, "value"))
            list.Counter = std::atoi(value);
        if (list.Ordered) {
            FMarker = std::to_string(list.Counter++) + ".";
        } else {
            static constexpr const char* bullets[] = {"\xE2\x80\xA2", "\xE2\x97\xA6", "\xE2\x96\xAA"};
            std::size_t level = 0;
            for (const List& l : FLists)
                level += l.Ordered ? 0 : 1;
            FMarker = bullets[(level + 2) % 3];
        }
        return true;
    }
    case GUMBO_TAG_DL:
        if (FLists.empty() && FIndent == 0)
            Blank();
        else
            EndLine(false);
        return true;
    case GUMBO_TAG_DD:
        EndLine(false);
        ++FIndent;
        return true;
    case GUMBO_TAG_HR:
        EndLine(false);
        Emit({std::min(FIndent, kMaxIndent), 0, 'R', {}, {}});
        return false;
    case GUMBO_TAG_BR:
        EndLine(true);
        return false;
    case GUMBO_TAG_TABLE:
        if (!FNested && FMeasure.LineWidth > 0 && FMeasure.Width) {
            Table(node);
            return false;
        }
        Blank();
        return true;
    case GUMBO_TAG_TR: case GUMBO_TAG_TD: case GUMBO_TAG_TH: case GUMBO_TAG_CAPTION:
        EndLine(false);
        if (e.tag == GUMBO_TAG_TH)
            FStyle |= hsBold;
        return true;
    case GUMBO_TAG_DIV: case GUMBO_TAG_SECTION: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_NAV: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_MAIN:
    case GUMBO_TAG_CENTER: case GUMBO_TAG_DETAILS: case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_HGROUP: case GUMBO_TAG_FIGCAPTION: case GUMBO_TAG_LEGEND: case GUMBO_TAG_DT:
    case GUMBO_TAG_BODY: case GUMBO_TAG_FORM: case GUMBO_TAG_NOSCRIPT: case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION: case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT:
        EndLine(false);
        return true;
    case GUMBO_TAG_B: case GUMBO_TAG_STRONG:
        FStyle |= hsBold;
        return true;
    case GUMBO_TAG_I: case GUMBO_TAG_EM: case GUMBO_TAG_CITE: case GUMBO_TAG_VAR: case GUMBO_TAG_DFN:
        FStyle |= hsItalic;
        return true;
    case GUMBO_TAG_U: case GUMBO_TAG_INS:
        FStyle |= hsUnderline;
        return true;
    case GUMBO_TAG_S: case GUMBO_TAG_STRIKE: case GUMBO_TAG_DEL:
        FStyle |= hsStrike;
        return true;
    case GUMBO_TAG_CODE: case GUMBO_TAG_KBD: case GUMBO_TAG_SAMP: case GUMBO_TAG_TT:
        FStyle |= hsMono;
        return true;
    case GUMBO_TAG_Q:
        Text("\xE2\x80\x9C");
        return true;
    case GUMBO_TAG_A:
        f.LinkStart = FRuns.size();
        return true;
    case GUMBO_TAG_IMG:
        if (const char* alt = Attribute(node, "alt"))
            Text(alt);
        return false;
    case GUMBO_TAG_INPUT: {
        const char* type = Attribute(node, "type");
        const std::string kind = type ? LowerAscii(type) : std::string();
        const char* value = Attribute(node, "value");
        if (value && (kind == "submit" || kind == "button" || kind == "reset")) {
            Text(" ");
            Text(std::string("[") + value + "]");
            Text(" ");
        } else if (kind == "image") {
            if (const char* alt = Attribute(node, "alt"))
                Text(alt);
        }
        return false;
    }
    default:
        return true;
    }
}

void TLayout::Exit(const Frame& f)
{
    const GumboNode* node = f.Node;
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    const GumboTag tag = node->v.element.tag;
    switch (tag) {
    case GUMBO_TAG_P: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
    case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_TABLE:
    case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_ADDRESS:
        Blank();
        break;
    case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR: case GUMBO_TAG_DL:
        if (f.Lists == 0 && f.Indent == 0)
            Blank();
        else
            EndLine(false);
        break;
    case GUMBO_TAG_LI:
        EndLine(false);
        FMarker.clear();
        break;
    case GUMBO_TAG_Q:
        Text("\xE2\x80\x9D");
        break;
    case GUMBO_TAG_A:
        if (const char* href = Attribute(node, "href"); FLinks && href && *href && *href != '#') {
            const std::string shown = f.LinkStart <= FRuns.size() ? FRuns.substr(f.LinkStart) : std::string();
            if (shown.find(href) == std::string::npos) {
                FStyle = f.Style;
                Text(std::string(" <") + href + ">");
            }
        }
        break;
    default:
        switch (tag) {
        case GUMBO_TAG_DIV: case GUMBO_TAG_SECTION: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_NAV: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_MAIN:
        case GUMBO_TAG_CENTER: case GUMBO_TAG_DETAILS: case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_HGROUP: case GUMBO_TAG_FIGCAPTION: case GUMBO_TAG_LEGEND: case GUMBO_TAG_DT:
        case GUMBO_TAG_DD: case GUMBO_TAG_BODY: case GUMBO_TAG_FORM: case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TR: case GUMBO_TAG_TD: case GUMBO_TAG_TH: case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_OPTION: case GUMBO_TAG_OPTGROUP:
            EndLine(false);
            break;
        default:
            break;
        }
        break;
    }
    FStyle = f.Style;
    FHeading = f.Heading;
    FIndent = f.Indent;
    FPre = f.Pre;
    FLists.resize(std::min(FLists.size(), f.Lists));
}

void TLayout::Walk(const GumboNode* Root)
{
    std::vector<Frame> stack;
    stack.push_back({Root});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (!f.Entered) {
            f.Entered = true;
            if (!Enter(f)) {
                FStyle = f.Style;
                FHeading = f.Heading;
                FIndent = f.Indent;
                FPre = f.Pre;
                stack.pop_back();
                continue;
            }
        }
        const GumboVector* children = ChildrenOf(f.Node);
        if (children && f.Next < children->length) {
            const GumboNode* child = static_cast<const GumboNode*>(children->data[f.Next++]);
            switch (child->type) {
            case GUMBO_NODE_TEXT: case GUMBO_NODE_WHITESPACE: case GUMBO_NODE_CDATA:
                Text(child->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT:
                stack.push_back({child});
                break;
            default: // comments, templates
                break;
            }
            continue;
        }
        Exit(f);
        stack.pop_back();
    }
}

// A table's rows with their cells side by side, each column as wide as
// its widest cell, when every row fits the line; else each cell on lines
// of its own, the row's later cells indented under its first.
void TLayout::Table(const GumboNode* table)
{
    EndLine(false);
    struct Cell {
        std::deque<TLaid> Lines;
        int Span = 1;
    };
    std::vector<std::vector<Cell>> rows;
    std::deque<TLaid> caption;
    auto layCell = [this](const GumboNode* node, unsigned style, std::deque<TLaid>& out) {
        bool blank = true;
        TLayout cell(out, FMeasure, FLinks, true, blank);
        cell.FStyle = style;
        const GumboVector& c = node->v.element.children;
        for (unsigned i = 0; i < c.length; ++i) {
            const GumboNode* child = static_cast<const GumboNode*>(c.data[i]);
            if (child->type == GUMBO_NODE_ELEMENT)
                cell.Walk(child);
            else if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE
                     || child->type == GUMBO_NODE_CDATA)
                cell.Text(child->v.text.text);
        }
        cell.Finish();
        while (!out.empty() && out.back().Runs.empty() && out.back().Kind == 'T')
            out.pop_back();
    };
    auto addRow = [&](const GumboNode* tr) {
        rows.emplace_back();
        const GumboVector& c = tr->v.element.children;
        for (unsigned i = 0; i < c.length; ++i) {
            const GumboNode* td = static_cast<const GumboNode*>(c.data[i]);
            if (td->type != GUMBO_NODE_ELEMENT || (td->v.element.tag != GUMBO_TAG_TD && td->v.element.tag != GUMBO_TAG_TH))
                continue;
            Cell cell;
            const char* span = Attribute(td, "colspan");
            cell.Span = std::clamp(span ? std::atoi(span) : 1, 1, 1000);
            layCell(td, FStyle | (td->v.element.tag == GUMBO_TAG_TH ? hsBold : 0u), cell.Lines);
            rows.back().push_back(std::move(cell));
        }
    };
    const GumboVector& parts = table->v.element.children;
    for (unsigned i = 0; i < parts.length; ++i) {
        const GumboNode* part = static_cast<const GumboNode*>(parts.data[i]);
        if (part->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboTag tag = part->v.element.tag;
        if (tag == GUMBO_TAG_CAPTION) {
            layCell(part, FStyle, caption);
        } else if (tag == GUMBO_TAG_TR) {
            addRow(part);
        } else if (tag == GUMBO_TAG_THEAD || tag == GUMBO_TAG_TBODY || tag == GUMBO_TAG_TFOOT) {
            const GumboVector& trs = part->v.element.children;
            for (unsigned j = 0; j < trs.length; ++j) {
                const GumboNode* tr = static_cast<const GumboNode*>(trs.data[j]);
                if (tr->type == GUMBO_NODE_ELEMENT && tr->v.element.tag == GUMBO_TAG_TR)
                    addRow(tr);
            }
        }
    }
    Blank();
    for (TLaid& line : caption) {
        line.Indent = std::min(line.Indent + FIndent, kMaxIndent);
        Emit(std::move(line));
    }
    // Column widths from the cells of one column; a wider cell spanning
    // several must fit their sum.
    std::vector<int> widths;
    bool fits = true;
    std::size_t columns = 0;
    for (const auto& row : rows) {
        std::size_t at = 0;
        for (const Cell& cell : row) {
            int widest = 0;
            for (const TLaid& line : cell.Lines) {
                if (line.Kind == 'R' || !line.Marker.empty() || line.Heading > 0)
                    fits = false;
                widest = std::max(widest, line.Indent * FMeasure.IndentStep + RunsWidth(line.Runs, FMeasure));
            }
            if (cell.Span == 1) {
                if (widths.size() <= at)
                    widths.resize(at + 1, 0);
                widths[at] = std::max(widths[at], widest);
            }
            at += static_cast<std::size_t>(cell.Span);
            if (!fits || at > 64)
                break;
        }
        columns = std::max(columns, at);
        if (!fits || columns > 64)
            break;
    }
    widths.resize(columns, 0);
    std::vector<int> starts(columns + 1, 0);
    for (std::size_t c = 0; c < columns; ++c)
        starts[c + 1] = starts[c] + widths[c] + FMeasure.ColumnGap;
    const int room = FMeasure.LineWidth - std::min(FIndent, kMaxIndent) * FMeasure.IndentStep;
    fits = fits && columns > 1 && columns <= 64 && starts[columns] - FMeasure.ColumnGap <= room;
    if (fits) {
        for (const auto& row : rows) {
            std::size_t at = 0;
            for (const Cell& cell : row) {
                int widest = 0;
                for (const TLaid& line : cell.Lines)
                    widest = std::max(widest, line.Indent * FMeasure.IndentStep + RunsWidth(line.Runs, FMeasure));
                const std::size_t end = std::min(columns, at + static_cast<std::size_t>(cell.Span));
                if (widest > starts[end] - starts[at] - FMeasure.ColumnGap)
                    fits = false;
                at = end;
            }
        }
    }
    if (fits) {
        for (const auto& row : rows) {
            std::size_t lines = 0;
            for (const Cell& cell : row)
                lines = std::max(lines, cell.Lines.size());
            for (std::size_t k = 0; k < lines; ++k) {
                TLaid out{std::min(FIndent, kMaxIndent), 0, 'T', {}, {}};
                std::size_t at = 0;
                for (const Cell& cell : row) {
                    if (k < cell.Lines.size() && !cell.Lines[k].Runs.empty()) {
                        const TLaid& line = cell.Lines[k];
                        out.Runs += std::string{'\0', htmlmark::Column}
                                    + Hex4(starts[at] + line.Indent * FMeasure.IndentStep) + line.Runs;
                    }
                    at += static_cast<std::size_t>(cell.Span);
                }
                if (out.Runs.empty())
                    FWantBlank = true;
                else
                    Emit(std::move(out));
            }
        }
    } else {
        bool several = false;
        for (const auto& row : rows)
            several = several || row.size() > 1;
        for (auto& row : rows) {
            for (std::size_t i = 0; i < row.size(); ++i)
                for (TLaid& line : row[i].Lines) {
                    line.Indent = std::min(line.Indent + FIndent + (i > 0 ? 1 : 0), kMaxIndent);
                    Emit(std::move(line));
                }
            if (several)
                FWantBlank = true;
        }
    }
    Blank();
}

} // namespace

THtmlDocument::THtmlDocument(const std::string& FileName, bool Links) : FLinks(Links)
{
    FStream = std::fopen(FileName.c_str(), "rb");
    if (!FStream)
        throw FileError("Cannot open file " + FileName);
    FEof = false;
    ReadMore();
    Start(std::exchange(FRaw, std::string()));
}

THtmlDocument::THtmlDocument(std::string_view Html, bool Links) : FLinks(Links)
{
    Start(std::string(Html));
}

THtmlDocument::~THtmlDocument()
{
    if (FStream)
        std::fclose(FStream);
    if (FConverter)
        ucnv_close(static_cast<UConverter*>(FConverter));
}

// Reads up to a section's bytes more into FRaw; false at the end.
bool THtmlDocument::ReadMore()
{
    if (!FStream || FEof)
        return false;
    const std::size_t had = FRaw.size();
    FRaw.resize(had + kSectionBytes);
    std::size_t got = 0;
    while (got < kSectionBytes) {
        const std::size_t n = std::fread(FRaw.data() + had + got, 1, kSectionBytes - got, FStream);
        if (n == 0)
            break;
        got += n;
    }
    FRaw.resize(had + got);
    if (got < kSectionBytes) {
        FEof = true;
        if (std::ferror(FStream))
            throw FileError("Cannot read the HTML file");
    }
    return got > 0;
}

void THtmlDocument::Start(std::string First)
{
    std::string name;
    std::size_t skip = 0;
    if (First.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        skip = 3;
    } else if (First.compare(0, 2, "\xFF\xFE") == 0) {
        name = "UTF-16LE";
        skip = 2;
    } else if (First.compare(0, 2, "\xFE\xFF") == 0) {
        name = "UTF-16BE";
        skip = 2;
    } else {
        name = MetaCharset(First);
    }
    FCharset = csMixed;
    if (!MixedReading(LowerAscii(name))) {
        UErrorCode error = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(name.c_str(), &error);
        if (U_SUCCESS(error) && converter) {
            FConverter = converter;
            FCharset = csConverter;
        } else if (converter) {
            ucnv_close(converter);
        }
    }
    FRaw = First.substr(skip);
}

bool THtmlDocument::NextSection(std::string& Html)
{
    // Converts what was read, keeping a last character that may be cut.
    auto convert = [this](bool last) {
        if (FCharset == csConverter) {
            UConverter* converter = static_cast<UConverter*>(FConverter);
            std::u16string text(FRaw.size() + 16, u'\0');
            const char* source = FRaw.data();
            UChar* target = reinterpret_cast<UChar*>(text.data());
            UErrorCode error = U_ZERO_ERROR;
            ucnv_toUnicode(converter, &target, target + text.size(), &source, FRaw.data() + FRaw.size(), nullptr,
                           last, &error);
            text.resize(static_cast<std::size_t>(target - reinterpret_cast<UChar*>(text.data())));
            FUtf8 += toUtf8(text);
            FRaw.clear();
            return;
        }
        std::size_t cut = FRaw.size();
        if (!last)
            while (cut > 0 && static_cast<unsigned char>(FRaw[cut - 1]) >= 0x80 && FRaw.size() - cut < 4)
                --cut;
        FUtf8 += toUtf8(toUnicode(std::string_view(FRaw).substr(0, cut)));
        FRaw.erase(0, cut);
    };
    while (FUtf8.size() <= kSectionBytes && !FEof && FStream) {
        ReadMore();
        convert(FEof);
    }
    if (!FRaw.empty() || (FEof || !FStream))
        convert(FEof || !FStream);
    if (FUtf8.empty())
        return false;
    std::size_t cut = FUtf8.size();
    if (cut > kSectionBytes) {
        // Before a tag near the end, else after a space, else between characters.
        const std::size_t window = kSectionBytes - 65536;
        std::size_t at = FUtf8.rfind('<', kSectionBytes);
        if (at == std::string::npos || at < window) {
            at = FUtf8.find_last_of(" \n\t", kSectionBytes);
            at = at == std::string::npos || at < window ? utf8SafeCut(FUtf8, kSectionBytes) : at + 1;
        }
        cut = std::max<std::size_t>(at, 1);
    }
    Html = FUtf8.substr(0, cut);
    FUtf8.erase(0, cut);
    // A NUL prints as its control picture, as in text.
    for (std::size_t p = Html.find('\0'); p != std::string::npos; p = Html.find('\0', p + 3))
        Html.replace(p, 1, "\xE2\x90\x80");
    return true;
}

void THtmlDocument::LaySection(const std::string& Html, bool First)
{
    const std::string bounded = BoundedMarkup(Html);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, bounded.data(), bounded.size());
    if (!output)
        return;
    if (First)
        FTitle = TitleOf(output->document);
    TLayout layout(FLines, FMeasure, FLinks, false, FBlankLast);
    layout.Walk(output->document);
    layout.Finish();
    DestroyFlat(output);
}

bool THtmlDocument::Done()
{
    while (FLines.empty() && FPending.empty()) {
        std::string html;
        if (!NextSection(html))
            return true;
        LaySection(html, std::exchange(FFirst, false));
    }
    return false;
}

bool THtmlDocument::Next(THtmlLine& Line)
{
    if (Done())
        return false;
    std::string runs;
    Line.ContinuesRow = !FPending.empty();
    if (FPending.empty()) {
        TLaid laid = std::move(FLines.front());
        FLines.pop_front();
        Line.Text = std::string{'\0', htmlmark::Line, static_cast<char>(0x20 + laid.Indent),
                                static_cast<char>('0' + laid.Heading), laid.Kind};
        if (!laid.Marker.empty())
            Line.Text += std::string{'\0', htmlmark::Marker} + laid.Marker + std::string(1, '\0');
        runs = std::move(laid.Runs);
    } else {
        Line.Text = htmlmark::StyleMarker(FPendingStyle);
        runs = std::move(FPending);
        FPending.clear();
    }
    // A long line goes in pieces, each cut after a space where one is near.
    std::size_t cut = runs.size();
    unsigned style = 0;
    if (runs.size() > kPieceBytes) {
        std::size_t any = 0, space = 0;
        unsigned anyStyle = 0, spaceStyle = 0;
        for (std::size_t i = 0; i < kPieceBytes && i < runs.size();) {
            if (runs[i] == '\0') {
                if (runs[i + 1] == htmlmark::Style)
                    style = static_cast<unsigned char>(runs[i + 2]) & 0x1F;
                i += runs[i + 1] == htmlmark::Column ? 6 : 3;
                continue;
            }
            const unsigned char c = static_cast<unsigned char>(runs[i]);
            ++i;
            if (i < runs.size() && (static_cast<unsigned char>(runs[i]) & 0xC0) != 0x80) {
                any = i;
                anyStyle = style;
                if (c == ' ') {
                    space = i;
                    spaceStyle = style;
                }
            }
        }
        cut = space > kPieceBytes / 2 ? space : any;
        style = space > kPieceBytes / 2 ? spaceStyle : anyStyle;
        if (cut == 0) {
            cut = runs.size();
        }
    }
    if (cut < runs.size()) {
        FPending = runs.substr(cut);
        FPendingStyle = style;
        // The rest starts with its own style marker when one stands there.
        if (FPending.size() >= 3 && FPending[0] == '\0' && FPending[1] == htmlmark::Style) {
            FPendingStyle = static_cast<unsigned char>(FPending[2]) & 0x1F;
            FPending.erase(0, 3);
        }
        runs.resize(cut);
    }
    Line.Text += runs;
    Line.NewLineAfter = FPending.empty();
    return true;
}

std::vector<std::string> THtmlDocument::PlainLines(std::string_view Html, bool Links, const THtmlMeasure& Measure)
{
    THtmlDocument doc(Html, Links);
    doc.SetMeasure(Measure);
    std::vector<std::string> lines;
    THtmlLine line;
    while (doc.Next(line)) {
        std::string plain;
        const std::string& t = line.Text;
        for (std::size_t i = 0; i < t.size();) {
            if (t[i] != '\0') {
                const std::size_t end = std::min(t.find('\0', i), t.size());
                plain.append(t, i, end - i);
                i = end;
                continue;
            }
            switch (t[i + 1]) {
            case htmlmark::Line:
                plain.append(2 * static_cast<std::size_t>(t[i + 2] - 0x20), ' ');
                if (t[i + 4] == 'R')
                    plain += "----";
                i += 5;
                break;
            case htmlmark::Marker: {
                const std::size_t end = t.find('\0', i + 2);
                plain.append(t, i + 2, end - i - 2).append(" ");
                i = end + 1;
                break;
            }
            case htmlmark::Column:
                if (!plain.empty() && plain.back() != ' ')
                    plain += " | ";
                i += 6;
                break;
            default:
                i += 3;
                break;
            }
        }
        if (!line.ContinuesRow || lines.empty())
            lines.push_back(plain);
        else
            lines.back() += plain;
    }
    return lines;
}

} // namespace velm
