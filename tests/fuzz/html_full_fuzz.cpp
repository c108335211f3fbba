// The HTML harness with the page laid out as a browser shows it (libgumbo)
// instead of by the small interpreter.
#define VELM_FUZZ_FULL_HTML
#include "html_fuzz.cpp"
