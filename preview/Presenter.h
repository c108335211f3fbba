// Installs the desktop presenter for the engine (UserInterface): the
// "Print Status" dialog, message boxes, the message pump and the preview
// window. Needs a QApplication.
#pragma once

namespace velm {

void InstallDesktopPresenter();

} // namespace velm
