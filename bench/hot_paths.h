// Shared set-up of the hot-path micro-benchmarks: the private scratch folder
// and the realistic text they all chew on.
#pragma once

#include <string>
#include <vector>

namespace velm::bench {

// The scratch folder of this run (settings, stored pages, PDFs); removed at exit.
const std::string& ScratchFolder();
std::string ScratchFile(const std::string& name);

// The licence texts every Debian machine has, printable ASCII and line
// feeds only, so expected sizes can be counted exactly.
const std::string& LicenceText();
// Their words, in order, each without spaces.
const std::vector<std::string>& LicenceWords();
// Lines of single-spaced words, each as long as possible within maxChars;
// `count` of them, cycling through the words.
std::vector<std::string> WordLines(std::size_t maxChars, std::size_t count);

} // namespace velm::bench
