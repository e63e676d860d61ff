#include "Logo.h"

#include <cstdlib>

namespace {

// Colour table: 0 to 191 the ground's gradient, then the drawing colours.
constexpr std::uint8_t kGroundColours = 192;
constexpr std::uint8_t kWhite = 192;
constexpr std::uint8_t kRed = 193;
constexpr std::uint8_t kShadow = 194;

// Block letters, 5 x 7 cells, one string per row ('#' is ink).
struct Glyph {
    char letter;
    const char* rows[7];
};

constexpr Glyph kGlyphs[] = {
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
};

constexpr int kCell = 3;       // pixels per glyph cell
constexpr int kLetterGap = 2;  // pixels between letters
constexpr int kTextLeft = 28;
constexpr int kTextTop = 6;

const Glyph& GlyphOf(char letter)
{
    for (const Glyph& glyph : kGlyphs)
        if (glyph.letter == letter)
            return glyph;
    std::abort();  // only the letters above are ever drawn
}

void Put(IndexedPicture& picture, int x, int y, std::uint8_t colour)
{
    if (x >= 0 && x < picture.width && y >= 0 && y < picture.height)
        picture.pixels[static_cast<std::size_t>(y) * picture.width + x] = colour;
}

void DrawLetter(IndexedPicture& picture, char letter, int left, int top, std::uint8_t colour)
{
    const Glyph& glyph = GlyphOf(letter);
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 5; ++column)
            if (glyph.rows[row][column] == '#')
                for (int dy = 0; dy < kCell; ++dy)
                    for (int dx = 0; dx < kCell; ++dx)
                        Put(picture, left + column * kCell + dx, top + row * kCell + dy, colour);
}

// A 4 x 4 board of 6-pixel squares turned by 45 degrees, centred on (cx, cy).
void DrawTiltedBoard(IndexedPicture& picture, int cx, int cy)
{
    constexpr int kHalf = 12;
    for (int y = cy - 2 * kHalf; y <= cy + 2 * kHalf; ++y)
        for (int x = cx - 2 * kHalf; x <= cx + 2 * kHalf; ++x) {
            const int u = (x - cx) + (y - cy);
            const int v = (x - cx) - (y - cy);
            if (std::abs(u) >= kHalf || std::abs(v) >= kHalf)
                continue;
            const int square = (u + kHalf) / 6 + (v + kHalf) / 6;
            Put(picture, x, y, square % 2 ? kWhite : kRed);
        }
}

}  // namespace

IndexedPicture DrawLogo()
{
    IndexedPicture picture;
    picture.width = kLogoWidth;
    picture.height = kLogoHeight;
    picture.pixels.resize(static_cast<std::size_t>(kLogoWidth) * kLogoHeight);

    for (int i = 0; i < kGroundColours; ++i)
        picture.palette[i] = {static_cast<std::uint8_t>(16 + i * 24 / 191),
                              static_cast<std::uint8_t>(32 + i * 96 / 191),
                              static_cast<std::uint8_t>(80 + i * 72 / 191)};
    picture.palette[kWhite] = {255, 255, 255};
    picture.palette[kRed] = {214, 32, 40};
    picture.palette[kShadow] = {8, 12, 28};

    for (int y = 0; y < kLogoHeight; ++y)
        for (int x = 0; x < kLogoWidth; ++x)
            Put(picture, x, y, static_cast<std::uint8_t>(x * (kGroundColours - 1) / (kLogoWidth - 1)));

    DrawTiltedBoard(picture, 14, kLogoHeight / 2);
    const char name[] = "VELDRA";
    for (int i = 0; name[i]; ++i) {
        const int left = kTextLeft + i * (5 * kCell + kLetterGap);
        DrawLetter(picture, name[i], left + 1, kTextTop + 1, kShadow);
        DrawLetter(picture, name[i], left, kTextTop, kWhite);
    }
    return picture;
}
