// Writes Windows BMP files, the form the resource compiler embeds:
// uncompressed, bottom-up rows padded to four bytes, 72 dpi. Written by hand
// because OpenImageIO cannot write the logo's 8-bit palette bitmap, and its
// 24-bit files carry another image-size field than the committed bitmaps.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    std::uint8_t r, g, b;
};

// A 24-bit picture; pixels row-major, row 0 at the top.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
};

// An 8-bit picture: indices into a 256-entry colour table, row 0 at the top.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::array<Rgb, 256> palette{};
};

// Each throws std::runtime_error naming the file when it cannot be written.
void WriteBmp(const std::string& path, const RgbPicture& picture);
void WriteBmp(const std::string& path, const IndexedPicture& picture);
