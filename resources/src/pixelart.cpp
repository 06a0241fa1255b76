#include "pixelart.h"

#include <cstring>

namespace pixelart {

uint8_t IndexOf(char c) {
    switch (c) {
        case '#':
            return 0;
        case 'm':
            return 1;
        case 'n':
            return 4;
        case 'l':
            return 7;
        case 'g':
            return 8;
        case 'r':
            return 9;
        case 'w':
            return 15;
    }
    return kKey;
}

std::vector<uint8_t> FromRows(const char* const* rows, int width, int height) {
    std::vector<uint8_t> bits(static_cast<size_t>(width) * height, kKey);
    for (int y = 0; y < height; ++y) {
        const size_t length = std::strlen(rows[y]);
        for (int x = 0; x < width && static_cast<size_t>(x) < length; ++x)
            bits[static_cast<size_t>(y) * width + x] = IndexOf(rows[y][x]);
    }
    return bits;
}

}  // namespace pixelart
