// The words of a PDF as a reader finds them: pdftotext's word boxes, sheet
// by sheet, in points from the paper's top-left corner.
#pragma once

#include "support/testing.h"

#include <regex>
#include <string>
#include <vector>

namespace velm::testing {

struct PdfWord {
    std::string text;
    double xMin, yMin, xMax, yMax;
};

struct PdfSheet {
    double width = 0, height = 0;
    std::vector<PdfWord> words;
};

inline std::vector<PdfSheet> ReadPdfSheets(const std::string& pdf)
{
    std::string xml;
    run("pdftotext -bbox " + Quote(pdf) + " - 2>/dev/null", &xml);
    static const std::regex page("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">");
    static const std::regex word("<word xMin=\"([0-9.-]+)\" yMin=\"([0-9.-]+)\" xMax=\"([0-9.-]+)\" "
                                 "yMax=\"([0-9.-]+)\">([^<]*)</word>");
    static const std::regex either("<page[^>]*>|<word[^>]*>[^<]*</word>");
    std::vector<PdfSheet> sheets;
    for (std::sregex_iterator it(xml.begin(), xml.end(), either), end; it != end; ++it) {
        const std::string tag = it->str();
        std::smatch m;
        if (std::regex_match(tag, m, page))
            sheets.push_back({std::stod(m[1]), std::stod(m[2]), {}});
        else if (std::regex_match(tag, m, word) && !sheets.empty())
            sheets.back().words.push_back({m[5], std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
    }
    return sheets;
}

inline int PdfPageCount(const std::string& pdf)
{
    std::string info;
    run("pdfinfo " + Quote(pdf) + " 2>/dev/null", &info);
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

// pdffonts' table: one embedded font a line, subset prefix and all.
inline std::string PdfFonts(const std::string& pdf)
{
    std::string fonts;
    run("pdffonts " + Quote(pdf) + " 2>/dev/null", &fonts);
    return fonts;
}

// The first word of a sheet that reads exactly text, or nullptr.
inline const PdfWord* FindWord(const PdfSheet& sheet, const std::string& text)
{
    for (const PdfWord& w : sheet.words)
        if (w.text == text)
            return &w;
    return nullptr;
}

} // namespace velm::testing
