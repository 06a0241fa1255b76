// Small pictures drawn pixel by pixel in the standard 16-colour palette:
// each row is a string, each character one pixel.
//
//   '.' yellow (11), the key colour that stands for the background
//   '#' black (0)     'g' grey (8)       'l' silver (7)    'w' white (15)
//   'r' red (9)       'm' maroon (1)     'n' navy (4)
#pragma once

#include <cstdint>
#include <vector>

namespace pixelart {

constexpr uint8_t kKey = 11;  // yellow

// Palette index of a legend character; kKey for one not in the legend.
uint8_t IndexOf(char c);

// The rows as palette indexes, rows top to bottom.  Every row must be
// `width` characters long.
std::vector<uint8_t> FromRows(const char* const* rows, int width, int height);

}  // namespace pixelart
