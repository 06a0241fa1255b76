#include "artwork.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace artwork {

namespace {

// Block letters, 5 columns by 7 rows, '#' = ink.
struct Glyph {
    char letter;
    const char* rows[7];
};

const Glyph kGlyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
};

const Glyph* GlyphOf(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.letter == c) return &g;
    return nullptr;
}

constexpr float kAdvance = 6;  // grid cells a letter takes, gap included

uint32_t Pack(Colour c) {
    auto channel = [](float v) {
        return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

int Distance(uint32_t a, uint32_t b) {
    int dr = static_cast<int>(a >> 16 & 255) - static_cast<int>(b >> 16 & 255);
    int dg = static_cast<int>(a >> 8 & 255) - static_cast<int>(b >> 8 & 255);
    int db = static_cast<int>(a & 255) - static_cast<int>(b & 255);
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

uint8_t Nearest(uint32_t rgb, const uint32_t* palette, int size) {
    int best = 0;
    for (int i = 1; i < size; ++i)
        if (Distance(rgb, palette[i]) < Distance(rgb, palette[best])) best = i;
    return static_cast<uint8_t>(best);
}

}  // namespace

Colour Mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Canvas::Canvas(int width, int height, Colour fill)
    : width_(width), m_height(height), m_pixels(static_cast<size_t>(width * height), fill) {}

void Canvas::Blend(int x, int y, Colour colour, float alpha) {
    if (x < 0 || y < 0 || x >= width_ || y >= m_height || alpha <= 0) return;
    Colour& p = m_pixels[y * width_ + x];
    p = Mix(p, colour, std::min(alpha, 1.0f));
}

template <class Inside>
void Canvas::Cover(float x0, float y0, float x1, float y1, Colour colour, Inside inside) {
    const int left = std::max(0, static_cast<int>(std::floor(x0)));
    const int top = std::max(0, static_cast<int>(std::floor(y0)));
    const int right = std::min(width_ - 1, static_cast<int>(std::ceil(x1)));
    const int bottom = std::min(m_height - 1, static_cast<int>(std::ceil(y1)));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    if (inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4)) ++hits;
            Blend(x, y, colour, hits / 16.0f);
        }
}

void Canvas::FillRing(float cx, float cy, float inner, float outer, Colour colour) {
    Cover(cx - outer, cy - outer, cx + outer, cy + outer, colour, [&](float x, float y) {
        float d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d2 <= outer * outer && d2 >= inner * inner;
    });
}

void Canvas::FillRect(float x0, float y0, float x1, float y1, Colour colour) {
    Cover(x0, y0, x1, y1, colour,
          [&](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; });
}

void Canvas::FillBand(float x0, float y0, float x1, float y1, float width, Colour colour) {
    const float dx = x1 - x0, dy = y1 - y0;
    const float length2 = dx * dx + dy * dy;
    if (length2 <= 0) return;
    const float half = width / 2;
    Cover(std::min(x0, x1) - half, std::min(y0, y1) - half, std::max(x0, x1) + half,
          std::max(y0, y1) + half, colour, [&](float x, float y) {
              float t = ((x - x0) * dx + (y - y0) * dy) / length2;
              if (t < 0 || t > 1) return false;
              float px = x0 + t * dx - x, py = y0 + t * dy - y;
              return px * px + py * py <= half * half;
          });
}

float Canvas::Text(float x, float y, const char* text, float scale, Colour colour) {
    for (const char* c = text; *c; ++c) {
        if (const Glyph* g = GlyphOf(*c)) {
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g->rows[row][col] == '#')
                        FillRect(x + col * scale, y + row * scale, x + (col + 1) * scale,
                                 y + (row + 1) * scale, colour);
        }
        x += kAdvance * scale;
    }
    return x;
}

float Canvas::TextWidth(const char* text, float scale) {
    const auto n = static_cast<float>(std::strlen(text));
    return n > 0 ? (n * kAdvance - 1) * scale : 0;
}

PalettePicture Quantise(const Canvas& canvas, int colours) {
    // Count the colours by their 5-bit-per-channel cell; the most used
    // cells, at the mean colour of their pixels, make the palette.
    struct Cell {
        int count = 0;
        double r = 0, g = 0, b = 0;
    };
    std::map<uint32_t, Cell> cells;
    auto cell_of = [](uint32_t rgb) {
        return (rgb >> 19 & 31) << 10 | (rgb >> 11 & 31) << 5 | (rgb >> 3 & 31);
    };
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            uint32_t rgb = Pack(canvas.At(x, y));
            Cell& cell = cells[cell_of(rgb)];
            ++cell.count;
            cell.r += rgb >> 16 & 255;
            cell.g += rgb >> 8 & 255;
            cell.b += rgb & 255;
        }
    std::vector<std::pair<uint32_t, Cell>> ranked(cells.begin(), cells.end());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.second.count > b.second.count; });
    PalettePicture picture;
    for (size_t i = 0; i < ranked.size() && picture.palette.size() < static_cast<size_t>(colours);
         ++i) {
        const Cell& c = ranked[i].second;
        picture.palette.push_back(
            Pack({static_cast<float>(c.r / c.count), static_cast<float>(c.g / c.count),
                  static_cast<float>(c.b / c.count)}));
    }
    // Pixels of one cell map alike; remember each cell's entry.
    std::map<uint32_t, uint8_t> chosen;
    picture.bits.reserve(static_cast<size_t>(canvas.width() * canvas.height()));
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            uint32_t rgb = Pack(canvas.At(x, y));
            auto [it, fresh] = chosen.try_emplace(cell_of(rgb), 0);
            if (fresh)
                it->second =
                    Nearest(rgb, picture.palette.data(), static_cast<int>(picture.palette.size()));
            picture.bits.push_back(it->second);
        }
    return picture;
}

std::vector<uint8_t> MapToPalette(const Canvas& canvas, const uint32_t* palette,
                                  const std::vector<uint8_t>& allowed) {
    std::vector<uint32_t> colours;
    for (uint8_t index : allowed) colours.push_back(palette[index]);
    std::vector<uint8_t> bits;
    bits.reserve(static_cast<size_t>(canvas.width() * canvas.height()));
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            bits.push_back(allowed[Nearest(Pack(canvas.At(x, y)), colours.data(),
                                           static_cast<int>(colours.size()))]);
    return bits;
}

}  // namespace artwork
