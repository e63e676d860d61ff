#include "image/io/png/DirectPngWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/io/png/PngChunks.h"

namespace {

constexpr int kLibraryFilterNone = 8;
constexpr int kLibraryFilterSub = 16;
// Pixel data are split into chunks of this size, as PNG writers do.
constexpr std::size_t kPixelChunkBytes = std::size_t{1} << 20;

struct Text {
    std::string key, text;
};

// The text chunks the library's writer makes of the header's string
// attributes (its other kinds it leaves out), in their order, and whether
// it marks the file sRGB. False for attributes it writes otherwise.
bool TextChunksOf(const PictureHeader& header, std::vector<Text>& texts, bool& srgb)
{
    static const char* const kWrittenOtherwise[] = {
        "ICCProfile", "XResolution", "YResolution", "ResolutionUnit", "PixelAspectRatio", "planarconfig", "compression",
    };
    static const char* const kRenamed[][2] = {
        {"Artist", "Author"},
        {"DocumentName", "Title"},
        {"name", "Title"},
        {"ImageDescription", "Description"},
        {"description", "Description"},
    };
    srgb = false;
    for (const OIIO::ParamValue& value : header.extra_attribs) {
        std::string name = value.name().string();
        for (const char* other : kWrittenOtherwise)
            if (SameLetters(name, other))
                return false;
        if (value.type() != OIIO::TypeDesc::STRING)
            continue;
        const char* text = *static_cast<const char* const*>(value.data());
        if (SameLetters(name, "DateTime")) {
            if (*text != '\0')
                return false;
            continue;
        }
        if (SameLetters(name, "oiio:ColorSpace")) {
            if (!SameLetters(text, "sRGB"))
                return false;
            srgb = true;
        }
        for (const auto& renamed : kRenamed)
            if (SameLetters(name, renamed[0])) {
                if (name != renamed[0])
                    return false;  // another spelling: left to the library
                name = renamed[1];
            }
        if (!PlainPngKeyword(name))
            return false;
        texts.push_back({name, text});
    }
    return true;
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Rows, each its filter byte and big-endian samples.
std::vector<unsigned char> FilteredRows(const PictureHeader& header, const std::uint16_t* pixels, std::size_t stride,
                                        bool sub)
{
    const std::size_t width = static_cast<std::size_t>(header.width);
    const std::size_t channels = static_cast<std::size_t>(header.nchannels);
    const bool sixteen = header.format == OIIO::TypeDesc::UINT16;
    const std::size_t bpp = channels * (sixteen ? 2 : 1);
    const std::size_t rowBytes = width * bpp;
    std::vector<unsigned char> rows(static_cast<std::size_t>(header.height) * (rowBytes + 1));
    for (std::size_t y = 0; y < static_cast<std::size_t>(header.height); ++y) {
        unsigned char* row = rows.data() + y * (rowBytes + 1);
        row[0] = static_cast<unsigned char>(sub ? PngFilter::Sub : PngFilter::None);
        unsigned char* out = row + 1;
        const std::uint16_t* in = pixels + y * width * stride;
        for (std::size_t x = 0; x < width; ++x, in += stride)
            for (std::size_t c = 0; c < channels; ++c) {
                if (sixteen) {
                    *out++ = static_cast<unsigned char>(in[c] >> 8);
                    *out++ = static_cast<unsigned char>(in[c]);
                } else {
                    *out++ = EightBitsOf(in[c]);
                }
            }
        if (sub)
            for (std::size_t i = rowBytes; i-- > bpp;)
                row[1 + i] = static_cast<unsigned char>(row[1 + i] - row[1 + i - bpp]);
    }
    return rows;
}

}  // namespace

bool EncodePngDirectly(const PictureHeader& header, const std::uint16_t* pixels, std::size_t stride,
                       const EncodedBytes& deliver)
{
    static const int kColourTypes[5] = {-1, kPngGrey, kPngGreyAlpha, kPngRgb, kPngRgba};
    const bool associated = header.alpha_channel >= 0 && header.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
    const int filter = header.get_int_attribute("png:filter", 0);
    const int level = header.get_int_attribute("png:compressionLevel", 6);
    if ((header.format != OIIO::TypeDesc::UINT8 && header.format != OIIO::TypeDesc::UINT16) || header.nchannels < 1 ||
        header.nchannels > 4 || header.width < 1 || header.height < 1 || header.width > 65535 ||
        header.height > 65535 || associated || (filter != kLibraryFilterNone && filter != kLibraryFilterSub) ||
        level < 0 || level > 9)
        return false;
    std::vector<Text> texts;
    bool srgb = false;
    if (!TextChunksOf(header, texts, srgb))
        return false;

    std::vector<unsigned char> rows = FilteredRows(header, pixels, stride, filter == kLibraryFilterSub);
    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> deflater(libdeflate_alloc_compressor(level));
    if (!deflater)
        throw std::bad_alloc();
    std::vector<unsigned char> compressed(libdeflate_zlib_compress_bound(deflater.get(), rows.size()));
    const std::size_t size = libdeflate_zlib_compress(deflater.get(), rows.data(), rows.size(), compressed.data(),
                                                      compressed.size());
    if (size == 0)
        return false;  // no room: cannot happen within the bound, but never a file without its pixels
    compressed.resize(size);
    std::vector<unsigned char>().swap(rows);  // held no longer than needed: a frame's worth

    std::vector<unsigned char> file(kPngSignature, kPngSignature + sizeof kPngSignature);
    file.reserve(compressed.size() + compressed.size() / kPixelChunkBytes * 12 + 4096);
    std::vector<unsigned char> data;
    AppendBigEndian32(data, static_cast<std::uint32_t>(header.width));
    AppendBigEndian32(data, static_cast<std::uint32_t>(header.height));
    data.insert(data.end(), {static_cast<unsigned char>(header.format == OIIO::TypeDesc::UINT16 ? 16 : 8),
                             static_cast<unsigned char>(kColourTypes[header.nchannels]), 0, 0, 0});
    AppendPngChunk(file, "IHDR", data.data(), data.size());
    if (srgb) {
        // As libpng writes sRGB: its gamma and chromaticities beside it.
        data.clear();
        AppendBigEndian32(data, 45455);
        AppendPngChunk(file, "gAMA", data.data(), data.size());
        const unsigned char absoluteIntent = 3;
        AppendPngChunk(file, "sRGB", &absoluteIntent, 1);
        data.clear();
        for (std::uint32_t value : {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000})
            AppendBigEndian32(data, value);
        AppendPngChunk(file, "cHRM", data.data(), data.size());
    }
    data.clear();
    AppendBigEndian32(data, static_cast<std::uint32_t>(header.x));
    AppendBigEndian32(data, static_cast<std::uint32_t>(header.y));
    data.push_back(0);  // in pixels
    AppendPngChunk(file, "oFFs", data.data(), data.size());
    for (const Text& text : texts) {
        data.assign(text.key.begin(), text.key.end());
        data.push_back(0);
        data.insert(data.end(), text.text.begin(), text.text.end());
        AppendPngChunk(file, "tEXt", data.data(), data.size());
    }
    for (std::size_t at = 0; at < compressed.size(); at += kPixelChunkBytes)
        AppendPngChunk(file, "IDAT", compressed.data() + at, std::min(kPixelChunkBytes, compressed.size() - at));
    AppendPngChunk(file, "IEND", nullptr, 0);
    deliver(file.data(), file.size());
    return true;
}
