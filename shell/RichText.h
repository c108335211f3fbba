// Rich text as the browser's RTF page reads, writes and prints it: our own
// reader and writer for the RTF files people exchange (font and colour
// tables, bold, italic, underline, sizes, alignment, paragraphs, line breaks,
// tabs, \'hh and \u characters, ignorable destinations), loaded into and
// saved from a QTextDocument.
#pragma once

#include <string>
#include <string_view>

class QTextDocument;

namespace velm {

class Printer;

// True when the bytes begin with "{\rtf" (after leading blanks).
bool IsRichText(std::string_view Bytes);
// Replaces the document's content. Bytes that are not RTF load as plain
// text. Damaged RTF loads as far as it is sound; it never throws.
void LoadRichText(QTextDocument& Document, std::string_view Bytes);
// The document as RTF 1 with an ANSI code page 1252 body.
std::string SaveRichText(const QTextDocument& Document);

// Lays the document out on the printer's printable area with half-inch
// margins and prints it as one document titled Title, page after page.
// Throws PrinterError when the printer cannot be reached.
void PrintRichText(const QTextDocument& Document, Printer& Target, const std::string& Title);

} // namespace velm
