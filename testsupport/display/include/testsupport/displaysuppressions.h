// Sanitizer settings for test programs that run the Qt display.  The
// definitions are weak, so that a test file and a support library that both
// include this header link into one program.
#pragma once

// Qt itself is not built with ThreadSanitizer, so its own locking is
// invisible to it; races reported inside Qt's libraries (its font and
// image worker threads) are Qt's business, not ours.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n"
           "race:libfontconfig.so\nrace:libglib-2.0.so\n";
}

// Fontconfig keeps a cache it never frees.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
