// Drawing the program's pictures: an RGB canvas with anti-aliased shapes
// and a little block-letter font, and the conversion to the palette
// pictures the resources hold.
#pragma once

#include <cstdint>
#include <vector>

namespace artwork {

struct Colour {
    float r, g, b;  // 0..255
};

Colour Mix(Colour a, Colour b, float t);  // t = 0 gives a, 1 gives b

class Canvas {
public:
    Canvas(int width, int height, Colour fill);

    int width() const { return width_; }
    int height() const { return m_height; }
    Colour At(int x, int y) const { return m_pixels[y * width_ + x]; }

    // Every shape is blended by its coverage of each pixel (4 x 4 samples).
    void Blend(int x, int y, Colour colour, float alpha);
    void FillRing(float cx, float cy, float inner, float outer, Colour colour);
    void FillRect(float x0, float y0, float x1, float y1, Colour colour);
    // A band between two points, `width` wide.
    void FillBand(float x0, float y0, float x1, float y1, float width, Colour colour);
    // Block letters (A-Z, space) on a 5 x 7 grid, each grid cell `scale`
    // pixels; returns the x after the text.
    float Text(float x, float y, const char* text, float scale, Colour colour);
    static float TextWidth(const char* text, float scale);

private:
    template <class Inside>
    void Cover(float x0, float y0, float x1, float y1, Colour colour, Inside inside);

    int width_, m_height;
    std::vector<Colour> m_pixels;
};

// A palette picture of the canvas: at most `colours` palette entries
// chosen from the colours the picture uses most, each pixel the nearest.
struct PalettePicture {
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    std::vector<uint8_t> bits;      // one index a pixel, rows top to bottom
};
PalettePicture Quantise(const Canvas& canvas, int colours);

// The picture in a fixed palette, each pixel the nearest of the entries
// listed in `allowed` (no dithering): keeping to the picture's own colours
// stops blended edges from turning into stray hues.
std::vector<uint8_t> MapToPalette(const Canvas& canvas, const uint32_t* palette,
                                  const std::vector<uint8_t>& allowed);

}  // namespace artwork
