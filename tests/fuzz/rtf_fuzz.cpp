// Rich text loaded into a document, saved, and the saved text loaded
// again: loading never throws, and what we save is RTF that reads back
// to the same text (control characters other than tabs and line ends are
// not text and are left out on saving).
#include "fuzz/fuzz_support.h"

#include "shell/RichText.h"

#include <QTextDocument>

using namespace velm;

namespace {

QString withoutControls(QString text)
{
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != '\t' && c != '\n'; });
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepare();
    QTextDocument document;
    LoadRichText(document, fuzz::bytesOf(data, size));
    const std::string saved = SaveRichText(document);
    if (!IsRichText(saved))
        fuzz::fail("saved text is not RTF");
    QTextDocument again;
    LoadRichText(again, saved);
    const QString text = withoutControls(document.toPlainText()), back = again.toPlainText();
    if (back != text) {
        qsizetype at = 0;
        while (at < text.size() && at < back.size() && text[at] == back[at])
            ++at;
        fuzz::fail(QString("saved text reads back differently at %1: U+%2 became U+%3")
                       .arg(at)
                       .arg(at < text.size() ? text[at].unicode() : 0, 4, 16, QChar('0'))
                       .arg(at < back.size() ? back[at].unicode() : 0, 4, 16, QChar('0'))
                       .toStdString());
    }
    return 0;
}
