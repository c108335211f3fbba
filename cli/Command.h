// The `velm` program: with no file argument the desktop application, with
// files the headless jobs.
#pragma once

#include <string>

namespace velm {

int RunVelm(int argc, char** argv);

struct CommandOptions;

// The jobs of a parsed command line without a window, under an existing
// QGuiApplication; messages go to stderr after messagePrefix. Returns the
// exit status.
int RunHeadlessJobs(const CommandOptions& o, const std::string& messagePrefix);

} // namespace velm
