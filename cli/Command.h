// The `velm` program: with no file argument the desktop application, with
// files the headless jobs.
#pragma once

#include <string>

namespace velm {

int RunVelm(int argc, char** argv);

struct CommandOptions;

// How the jobs speak on stderr: the prefixes of failures and of warnings,
// and whether each PDF written is named ("velm: wrote PATH").
struct ConsoleVoice {
    std::string error = "velm: ";
    std::string warning = "velm: warning: ";
    bool namesOutput = true;
};

// The jobs of a parsed command line without a window, under an existing
// QGuiApplication. Returns the exit status.
int RunHeadlessJobs(const CommandOptions& o, const ConsoleVoice& voice);

// Why the jobs of these options could lay no text out on the selected
// printer (TPrintFile::GeometryProblem), or empty.
std::string GeometryProblem(const CommandOptions& o);

} // namespace velm
