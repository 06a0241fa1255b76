// The program's resources: dialog templates, strings, icons and bitmaps.
//
// Resources are plain data compiled into the program (resources/ defines
// them) and registered here at start-up; LoadString, LoadIcon, LoadBitmap
// and the dialog functions find them by number.
#pragma once

#include <cstdint>

#include "windef.h"

namespace win32_resources {

// One control of a dialog template.  Coordinates are dialog units.
struct DialogItem {
    const char* class_name;  // "BUTTON", "STATIC", "EDIT", "COMBOBOX"
    const char* text;        // "" for none; "#152" names a bitmap or icon
    int id;                  // -1 for none
    DWORD style;             // WS_CHILD is implied
    DWORD ex_style;
    short x, y, cx, cy;
};

struct DialogTemplate {
    int id;
    DWORD style;
    DWORD ex_style;
    short x, y, cx, cy;
    const char* caption;
    const char* font_face;
    int font_points;
    const DialogItem* items;
    int item_count;
};

struct StringResource {
    int id;
    const char* text;
};

// A bitmap with a colour table: `bits` holds one palette index a byte, rows
// top to bottom.  The 16-colour pictures use the standard palette.
struct BitmapResource {
    int id;
    int width;
    int height;
    const uint32_t* palette;  // 0x00RRGGBB
    int palette_size;
    const uint8_t* bits;
};

// An icon: one or more images, each a bitmap plus a 1-bit transparency
// mask (a byte a pixel, non-zero = transparent).
struct IconImage {
    BitmapResource picture;
    const uint8_t* transparent;
};
struct IconResource {
    int id;
    const IconImage* images;
    int image_count;
};

void RegisterDialog(const DialogTemplate* dialog);
void RegisterString(const StringResource* string);
void RegisterBitmap(const BitmapResource* bitmap);
void RegisterIcon(const IconResource* icon);

const DialogTemplate* FindDialog(int id);
const char* FindString(int id);
const BitmapResource* FindBitmap(int id);
const IconResource* FindIcon(int id);

// The standard 16-colour palette (index 11 is yellow).
extern const uint32_t kStandardPalette16[16];

}  // namespace win32_resources
