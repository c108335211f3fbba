// What every fuzz harness shares: one private temporary folder per process
// (the settings folder, the PDF folder and TMPDIR), so no input writes
// anywhere else, and Qt on its offscreen platform. The current folder stays
// libFuzzer's, which reads its corpus and writes crashes there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velm::fuzz {

// Sets the process up on the first call (later calls do nothing) and
// returns the private folder; it is removed at a normal exit.
const std::string& prepare();

inline std::string bytesOf(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A property the input broke: prints it and aborts, which the fuzzer
// reports with the input that did it.
[[noreturn]] void fail(const std::string& what);

} // namespace velm::fuzz
