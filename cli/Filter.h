// velmtopdf: the CUPS filter that prints text/plain and text/html jobs
// with Velm's layout into a PDF for the rest of the server's chain.
#pragma once

namespace velm {

// argv as cupsd gives it: job-id user title copies options [file]. The PDF
// goes to standard output, messages with CUPS's prefixes to standard error.
int RunFilter(int argc, char** argv);

// Where a print server keeps settings for every job (the [Velm] keys of
// the settings file); $VELM_SYSTEM_SETTINGS names another file.
inline constexpr const char* kSystemSettingsFile = "/etc/velm/Pellido.Ini";

} // namespace velm
