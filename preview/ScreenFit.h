// Keeps every window of the application on its screen: a window designed
// larger than the screen's free area (a small screen, a large scale
// factor) is made smaller and moved so that its caption and menus can be
// reached.
#pragma once

class QWidget;

namespace velm {

// Fits Window (frame included) into the available geometry of its screen:
// smaller when it can be, then moved inside. Maximised and full-screen
// windows are the window manager's to place. When the window's caption
// and menu bar would lie under the window named by KeepClearOf, it moves
// below that window (or just above it), made shorter down to its minimum
// if need be; where neither fits it stays where the fit put it.
void FitOnScreen(QWidget& Window);

// The window that stays on top of the others (the toolbar), which the
// windows fitted afterwards keep their caption and menus clear of while it
// is visible; nullptr for none. Not owned: forgotten when it is destroyed.
void KeepClearOf(QWidget* Window);

// Fits every top-level window as it is shown, and once more when the
// window manager has framed it. Needs a QApplication; installing twice
// changes nothing.
void KeepWindowsOnScreen();

} // namespace velm
