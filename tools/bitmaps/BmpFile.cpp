#include "BmpFile.h"

#include <fstream>
#include <stdexcept>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::int32_t kPixelsPerMetre = 2835;  // 72 dpi

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t RowBytes(int width, int bitsPerPixel)
{
    return (static_cast<std::uint32_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

// File header and info header for an uncompressed picture.
std::vector<std::uint8_t> Headers(int width, int height, int bitsPerPixel, std::uint32_t paletteEntries)
{
    const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + paletteEntries * 4;
    const std::uint32_t imageSize = RowBytes(width, bitsPerPixel) * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, pixelOffset + imageSize);
    Put32(out, 0);  // reserved
    Put32(out, pixelOffset);
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
    Put16(out, 1);                                   // planes
    Put16(out, static_cast<std::uint16_t>(bitsPerPixel));
    Put32(out, 0);  // no compression
    Put32(out, imageSize);
    Put32(out, kPixelsPerMetre);
    Put32(out, kPixelsPerMetre);
    Put32(out, paletteEntries);
    Put32(out, 0);  // all colours matter
    return out;
}

void PadRow(std::vector<std::uint8_t>& out, std::size_t rowStart, std::uint32_t rowBytes)
{
    while (out.size() - rowStart < rowBytes)
        out.push_back(0);
}

void Save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush())
        throw std::runtime_error(path + ": cannot write the bitmap");
}

}  // namespace

void WriteBmp(const std::string& path, const RgbPicture& picture)
{
    std::vector<std::uint8_t> out = Headers(picture.width, picture.height, 24, 0);
    const std::uint32_t rowBytes = RowBytes(picture.width, 24);
    for (int y = picture.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < picture.width; ++x) {
            const Rgb& pixel = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            out.push_back(pixel.b);
            out.push_back(pixel.g);
            out.push_back(pixel.r);
        }
        PadRow(out, rowStart, rowBytes);
    }
    Save(path, out);
}

void WriteBmp(const std::string& path, const IndexedPicture& picture)
{
    std::vector<std::uint8_t> out = Headers(picture.width, picture.height, 8, 256);
    for (const Rgb& colour : picture.palette) {
        out.push_back(colour.b);
        out.push_back(colour.g);
        out.push_back(colour.r);
        out.push_back(0);
    }
    const std::uint32_t rowBytes = RowBytes(picture.width, 8);
    for (int y = picture.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < picture.width; ++x)
            out.push_back(picture.pixels[static_cast<std::size_t>(y) * picture.width + x]);
        PadRow(out, rowStart, rowBytes);
    }
    Save(path, out);
}
