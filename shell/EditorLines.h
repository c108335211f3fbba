#pragma once

#include "engine/PrnFile.h"

#include <string>

class QPlainTextEdit;
class QTextEdit;

namespace velm {

// The lines of an editor as the print job reads them (frTMemo, frRichEdit):
// one line per paragraph, read from the editor at the time of the call.
class TEditorLines : public TLineSource {
public:
    explicit TEditorLines(const QPlainTextEdit* Plain) : FPlain(Plain) {}
    explicit TEditorLines(const QTextEdit* Rich) : FRich(Rich) {}
    int Count() const override;
    std::string Line(int index) const override;

private:
    const QPlainTextEdit* FPlain = nullptr;
    const QTextEdit* FRich = nullptr;
};

} // namespace velm
