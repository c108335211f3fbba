// A settings file of any content: reading never fails, a written key reads
// back as written, and writing one key leaves the others as they read.
#include "fuzz/fuzz_support.h"

#include "platform/core/errors.h"
#include "platform/system/settings.h"

#include <fstream>

using namespace velm;

namespace {

// Keys the program reads, as "section/key" pairs.
const std::pair<const char*, const char*> kKeys[] = {
    {"Printer", "Orientation"}, {"Printer", "PrinterIndex"}, {"Options", "Directory"},
    {"Fonts", "ContentsFont"},  {"Header", "Enabled"},       {"", ""},
};

std::vector<std::string> readAll(const SettingsFile& settings)
{
    std::vector<std::string> values;
    for (const auto& [section, key] : kKeys) {
        values.push_back(settings.readString(section, key, "-"));
        values.push_back(std::to_string(settings.readInteger(section, key, -7)));
        values.push_back(std::to_string(settings.readBool(section, key, true)));
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::prepare() + "/config/Pellido.Ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << fuzz::bytesOf(data, size);
    SettingsFile settings(path);
    const std::vector<std::string> before = readAll(settings);
    const std::string value = "written value 1";
    settings.writeString("Velm Fuzz", "Written Key", value);
    if (settings.readString("velm fuzz", "written key", "") != value)
        fuzz::fail("a written key reads back differently");
    if (readAll(settings) != before)
        fuzz::fail("writing one key changed another");
    return 0;
}
