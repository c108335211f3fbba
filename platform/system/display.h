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

} // namespace velm
