// The `velm` program: with no file argument the desktop application, with
// files the headless jobs.
#pragma once

namespace velm {

int RunVelm(int argc, char** argv);

} // namespace velm
