// The program's entry point: the display on the main thread, then the
// application object's start-up, loop and exit.
#include <clocale>
#include <string>

#include "afxapp.h"
#include "qt/display.h"

int main() {
    qt_display::Install();
    // The display sets the C library's locale from the environment; the
    // program runs in the "C" locale but keeps the display's character set.
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved_ctype = ctype ? ctype : "C";
    std::setlocale(LC_ALL, "C");
    std::setlocale(LC_CTYPE, saved_ctype.c_str());
    return AfxWinMain();
}
