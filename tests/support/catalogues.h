// The lines of tests/data/scripts/catalogues.tsv (translated text from the
// message catalogues Debian installs) by script.
#pragma once

#include "platform/core/codepage.h"
#include "support/testing.h"

#include <fstream>
#include <map>
#include <string>

namespace velm::testing {

struct CatalogueLine {
    std::string source;  // language, package, domain and msgid, for failure messages
    std::u16string text; // the translation
};

inline const std::map<std::string, CatalogueLine>& Catalogue()
{
    static const std::map<std::string, CatalogueLine> lines = [] {
        std::map<std::string, CatalogueLine> out;
        std::ifstream in(sourcePath("tests/data/scripts/catalogues.tsv"));
        for (std::string row; std::getline(in, row);) {
            const std::size_t script = row.find('\t'), text = row.rfind('\t');
            if (!row.empty() && row[0] != '#')
                out[row.substr(0, script)] = {row.substr(script + 1, text - script - 1), toUnicode(row.substr(text + 1))};
        }
        return out;
    }();
    return lines;
}

} // namespace velm::testing
