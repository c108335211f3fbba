#include "shell/BrowserSupport.h"

#include "platform/core/codepage.h"
#include "platform/system/output_file.h"
#include "preview/Presenter.h"
#include "shell/Chgdlg.h"

#include <QMessageBox>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace velm {

const char* const PageNames[4] = {"ASCII", "HTML", "RTF", "BMP"};

namespace {

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

} // namespace

std::string ExtensionOf(const std::string& FileName)
{
    const auto slash = FileName.rfind('/');
    const auto dot = FileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return Upper(FileName.substr(dot));
}

std::string ReadWholeFile(const std::string& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EFOpenError(format("Cannot open file %s", FileName.c_str()));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw EFOpenError(format("Cannot open file %s", FileName.c_str()));
    return bytes.str();
}

void WriteWholeFile(const std::string& FileName, const std::string& Bytes)
{
    if (!writeWholeFile(FileName, Bytes))
        throw EFCreateError(format("Cannot create file %s", FileName.c_str()));
}

QString PlainTextOf(const std::string& Bytes)
{
    const std::u16string text = toUnicode(Bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace velm
