// A second start of velm while the toolbar runs: `velm FILE...` and
// `velm --preview FILE...` (Open With, gio open) hand their files to the
// running toolbar, which prints or previews them, instead of starting a
// program of their own. Any other option keeps the command separate.
#pragma once

namespace velm {

// True when the running toolbar took every file (the process is done);
// false when there is none, it does not answer, or the command line is not
// one it takes: the caller then runs the command itself.
bool HandFilesToRunningToolbar(int argc, char** argv);

} // namespace velm
