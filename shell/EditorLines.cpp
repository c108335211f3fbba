#include "shell/EditorLines.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace velm {

int TEditorLines::Count() const
{
    const QTextDocument* doc = FPlain ? FPlain->document() : FRich->document();
    return doc->blockCount();
}

std::string TEditorLines::Line(int index) const
{
    const QTextDocument* doc = FPlain ? FPlain->document() : FRich->document();
    QString text = doc->findBlockByNumber(index).text();
    text.replace(QChar::LineSeparator, ' ');
    return text.toStdString();
}

} // namespace velm
