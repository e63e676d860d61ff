#include "image/io/png/PngChunks.h"

#include <libdeflate.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::uint32_t ChunkCrc(const unsigned char* typeAndData, std::size_t size)
{
    return libdeflate_crc32(0, typeAndData, size);
}

}  // namespace

std::vector<PngChunk> PngChunksOf(const std::string& bytes)
{
    const auto* file = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < sizeof kPngSignature || std::memcmp(file, kPngSignature, sizeof kPngSignature) != 0)
        return {};
    std::vector<PngChunk> chunks;
    std::size_t at = sizeof kPngSignature;
    while (bytes.size() - at >= 12) {
        const std::uint32_t size = BigEndian32(file + at);
        if (size > bytes.size() - at - 12)
            return {};
        const unsigned char* type = file + at + 4;
        if (BigEndian32(type + 4 + size) != ChunkCrc(type, 4 + std::size_t{size}))
            return {};
        chunks.push_back({std::string(reinterpret_cast<const char*>(type), 4), type + 4, size});
        at += 12 + std::size_t{size};
        if (chunks.back().type == "IEND")
            return chunks;
    }
    return {};
}

void AppendBigEndian32(std::vector<unsigned char>& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

void AppendPngChunk(std::vector<unsigned char>& file, const char* type, const void* data, std::size_t size)
{
    AppendBigEndian32(file, static_cast<std::uint32_t>(size));
    const std::size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    const auto* bytes = static_cast<const unsigned char*>(data);
    file.insert(file.end(), bytes, bytes + size);
    AppendBigEndian32(file, ChunkCrc(file.data() + start, 4 + size));
}

bool PlainPngKeyword(const std::string& key)
{
    if (key.empty() || key.size() > 79 || key.front() == ' ' || key.back() == ' ' || key.find("  ") != key.npos)
        return false;
    return std::all_of(key.begin(), key.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 32 && u <= 126) || u >= 161;
    });
}

bool SameLetters(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
