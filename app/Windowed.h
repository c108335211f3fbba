// The desktop program: the toolbar (velm without files) and the command's
// --preview, both in windows. The `velm` command starts it for them, so
// that jobs without a window never load the widgets.
#pragma once

namespace velm {

struct CommandOptions;

// Runs the windowed mode the options ask for under a QApplication of its
// own; returns the exit status (128 + the signal when one ended it).
int RunWindowed(int argc, char** argv, const CommandOptions& o);

} // namespace velm
