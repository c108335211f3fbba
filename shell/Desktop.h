// The desktop application: start-up, the toolbar as main form, the loop.
#pragma once

namespace velm {

// Runs the desktop application until the toolbar closes; returns the exit code.
int RunDesktop(int argc, char** argv);

} // namespace velm
