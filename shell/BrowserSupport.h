// What the browser window's source files share: the names of the viewer
// pages, reading and writing a page's file, and the guard that shows its
// commands' errors in a box.
#pragma once

#include "preview/Presenter.h"
#include "shell/Velmwin.h"

#include <QString>

#include <exception>
#include <string>

namespace velm {

// The viewer pages in the order of Notebook1 and TabSet1.
extern const char* const PageNames[4];

// The text from the last dot of the file name on, upper-cased; empty when
// the name has no dot.
std::string ExtensionOf(const std::string& FileName);
// Throws EFOpenError when the file cannot be read.
std::string ReadWholeFile(const std::string& FileName);
// A saved file is replaced only once the new content is on disk; throws
// EFCreateError when it cannot be written.
void WriteWholeFile(const std::string& FileName, const std::string& Bytes);
// Bytes shown as text: UTF-8 when valid, else Windows-1252.
QString PlainTextOf(const std::string& Bytes);

template <class F> void TVelmWindow::Guarded(F&& Command)
{
    try {
        Command();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    }
}

} // namespace velm
