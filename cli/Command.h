// The `velm` program: with no file argument the desktop application, with
// files the headless jobs.
#pragma once

#include <functional>
#include <string>

namespace velm {

struct CommandOptions;
struct TJobOutcome;

// The windowed modes, the desktop application and --preview, under a
// QApplication of their own: the desktop program gives them. Returns the
// exit status.
using WindowedRunner = std::function<int(int argc, char** argv, const CommandOptions& o)>;

// Without a windowed runner (the `velm` command itself) the windowed
// modes start the desktop program instead, with the same arguments.
int RunVelm(int argc, char** argv, const WindowedRunner& windowed = {});

// The --preview jobs of the options, with the windowed presenter
// installed: each message also goes to stderr. Returns the exit status.
int RunPreviewJobs(const CommandOptions& o);

// How the jobs speak on stderr: the prefixes of failures and of warnings,
// and whether each PDF written is named ("velm: wrote PATH").
struct ConsoleVoice {
    std::string error = "velm: ";
    std::string warning = "velm: warning: ";
    bool namesOutput = true;
};

// The jobs of a parsed command line without a window, under an existing
// QGuiApplication. Returns the exit status; `last`, when given, takes the
// outcome of the last job.
int RunHeadlessJobs(const CommandOptions& o, const ConsoleVoice& voice, TJobOutcome* last = nullptr);

// Why the jobs of these options could lay no text out on the selected
// printer (TPrintFile::GeometryProblem), or empty.
std::string GeometryProblem(const CommandOptions& o);

} // namespace velm
