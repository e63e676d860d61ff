// The PNG file's frame: the signature, then chunks, each a 4-byte
// big-endian length, a 4-byte type, the data and a CRC-32 of type and data.
// Shared by the reader and the writer that handle the common kinds of PNG
// files without the image library (DirectPngReader.h, DirectPngWriter.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// The PNG header's colour types.
constexpr int kPngGrey = 0;
constexpr int kPngRgb = 2;
constexpr int kPngGreyAlpha = 4;
constexpr int kPngRgba = 6;

// The row filters: each row of the compressed data starts with one.
enum class PngFilter : unsigned char { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

struct PngChunk {
    std::string type;  // four letters
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
};

inline std::uint32_t BigEndian32(const unsigned char* at)
{
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

// The chunks of a PNG file held in `bytes`, up to and with IEND; empty
// when the signature is missing, a chunk runs past the end, a CRC does not
// match or no IEND comes.
std::vector<PngChunk> PngChunksOf(const std::string& bytes);

// A text chunk's keyword that libpng reads and writes as it is: 1 to 79
// printable Latin-1 characters, no leading, trailing or doubled spaces.
bool PlainPngKeyword(const std::string& key);

// `a` and `b` are the same letters, whatever their case.
bool SameLetters(const std::string& a, const char* b);

// Appends a chunk of `type` with `size` bytes of `data` to `file`.
void AppendPngChunk(std::vector<unsigned char>& file, const char* type, const void* data, std::size_t size);

// Appends `value` to `bytes`, big-endian.
void AppendBigEndian32(std::vector<unsigned char>& bytes, std::uint32_t value);
