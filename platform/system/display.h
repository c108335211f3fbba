// The display as the layout rules see it: the real primary screen, or a
// fixed virtual 1024 x 768 display at 96 pixels per inch when there is none
// (offscreen platform, console, no application object).
#pragma once

namespace velm {

struct DisplayMetrics {
    int widthPx = 1024;   // SM_CXSCREEN
    int heightPx = 768;   // SM_CYSCREEN
    int logPixelsX = 96;  // LOGPIXELSX
    int logPixelsY = 96;  // LOGPIXELSY
};

DisplayMetrics displayMetrics();

// Which of the session's displays answer now: the X server that DISPLAY
// names and the Wayland compositor that WAYLAND_DISPLAY names, each at its
// socket. A variable that is unset or empty names none.
struct ReachableDisplays {
    bool x = false;
    bool wayland = false;
};
ReachableDisplays reachableDisplays();

} // namespace velm
