#include "image/io/png/DirectPngReader.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>
#include <vector>

#include "files/WholeFile.h"

namespace {

// The chunks libpng writes for an sRGB picture, and how the library's
// writer fills them: gamma 1/2.2 and the Rec. 709 primaries, D65 white.
constexpr std::uint32_t kSrgbGamma = 45455;
constexpr std::uint32_t kSrgbChromaticities[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};

// A text chunk's keyword and text as the library's reader names them;
// false for keywords whose text it decodes further (XMP, Exif).
bool TextAttribute(const PngChunk& chunk, std::string& name, std::string& text)
{
    const auto* data = reinterpret_cast<const char*>(chunk.data);
    const auto* end = data + chunk.size;
    const auto* zero = std::find(data, end, '\0');
    if (zero == end || std::find(zero + 1, end, '\0') != end)
        return false;
    name.assign(data, zero);
    text.assign(zero + 1, end);
    if (!PlainPngKeyword(name) || SameLetters(name, "XML:com.adobe.xmp") || SameLetters(name, "Raw profile type exif"))
        return false;
    if (SameLetters(name, "Description"))
        name = "ImageDescription";
    else if (SameLetters(name, "Author"))
        name = "Artist";
    else if (SameLetters(name, "Title"))
        name = "DocumentName";
    return true;
}

bool IsSrgbChromaticities(const PngChunk& chunk)
{
    if (chunk.size != 32)
        return false;
    for (int i = 0; i < 8; ++i)
        if (BigEndian32(chunk.data + 4 * i) != kSrgbChromaticities[i])
            return false;
    return true;
}

int PaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the filter of one row of `size` bytes, `bpp` bytes a pixel, given
// the row above as it was before filtering (zeros for the first row).
bool Unfilter(unsigned char filter, unsigned char* row, const unsigned char* above, std::size_t size, std::size_t bpp)
{
    switch (static_cast<PngFilter>(filter)) {
    case PngFilter::None: return true;
    case PngFilter::Sub:
        for (std::size_t i = bpp; i < size; ++i)
            row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
        return true;
    case PngFilter::Up:
        for (std::size_t i = 0; i < size; ++i)
            row[i] = static_cast<unsigned char>(row[i] + above[i]);
        return true;
    case PngFilter::Average:
        for (std::size_t i = 0; i < size; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            row[i] = static_cast<unsigned char>(row[i] + ((left + above[i]) >> 1));
        }
        return true;
    case PngFilter::Paeth:
        for (std::size_t i = 0; i < size; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            const int corner = i >= bpp ? above[i - bpp] : 0;
            row[i] = static_cast<unsigned char>(row[i] + PaethPredictor(left, above[i], corner));
        }
        return true;
    }
    return false;
}

// Rows inflated and converted at a time: the reader holds a few rows of
// the picture besides the frame, whatever its size.
constexpr std::size_t kBandRows = 64;

// The zlib stream that the IDAT chunks hold between them, inflated piece by
// piece with ISA-L, the fastest inflater at hand.
class PixelDataStream {
public:
    explicit PixelDataStream(const std::vector<PngChunk>& chunks)
        : chunks_(chunks), state_(std::make_unique<inflate_state>())
    {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_ZLIB;  // the header is read and the checksum checked
    }

    // The next `size` bytes of the stream into `out`; false when it is
    // damaged or ends before.
    bool Inflate(unsigned char* out, std::size_t size)
    {
        state_->next_out = out;
        state_->avail_out = static_cast<std::uint32_t>(size);
        while (state_->avail_out > 0)
            if (state_->block_state == ISAL_BLOCK_FINISH || !Step())
                return false;
        return true;
    }

    // Whether the stream ends here, its checksum right, with nothing after
    // it in the chunks.
    bool Finished()
    {
        unsigned char extra = 0;
        while (state_->block_state != ISAL_BLOCK_FINISH) {
            state_->next_out = &extra;
            state_->avail_out = 1;
            if (!Step() || state_->avail_out == 0)
                return false;
        }
        return state_->avail_in == 0 && next_ == chunks_.size();
    }

private:
    // One call of the inflater, given the next chunk when it has taken all
    // it was given (it may still hold the end of the stream); false on
    // damaged data or when nothing comes of the call.
    bool Step()
    {
        if (state_->avail_in == 0 && next_ < chunks_.size()) {
            state_->next_in = const_cast<std::uint8_t*>(chunks_[next_].data);
            state_->avail_in = chunks_[next_].size;
            ++next_;
        }
        const std::uint32_t in = state_->avail_in, out = state_->avail_out;
        const auto block = state_->block_state;
        if (isal_inflate(state_.get()) != ISAL_DECOMP_OK)
            return false;
        return state_->avail_in != in || state_->avail_out != out || state_->block_state != block;
    }

    const std::vector<PngChunk>& chunks_;
    std::size_t next_ = 0;
    std::unique_ptr<inflate_state> state_;
};

}  // namespace

std::optional<DirectPngReader> DirectPngReader::Open(const std::string& path, std::uint64_t fileSize)
{
    DirectPngReader reader;
    reader.bytes_ = ReadFileHead(path, fileSize);
    const std::vector<PngChunk> chunks = PngChunksOf(reader.bytes_);
    if (chunks.empty() || chunks[0].type != "IHDR" || chunks[0].size != 13)
        return std::nullopt;
    const unsigned char* ihdr = chunks[0].data;
    const std::uint32_t width = BigEndian32(ihdr), height = BigEndian32(ihdr + 4);
    const int depth = ihdr[8], colourType = ihdr[9];
    static const int kChannels[7] = {1, 0, 3, 0, 2, 0, 4};
    if (width == 0 || height == 0 || width > 65535 || height > 65535 || (depth != 8 && depth != 16) ||
        colourType > kPngRgba || kChannels[colourType] == 0 || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0)
        return std::nullopt;
    reader.bitDepth_ = depth;

    PictureHeader& header = reader.header_;
    header = PictureHeader(static_cast<int>(width), static_cast<int>(height), kChannels[colourType],
                           depth == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
    if (header.nchannels == 2) {
        header.channelnames = {"Y", "A"};
        header.alpha_channel = 1;
    }
    // With gamma and chromaticities only as sRGB has them, and with or
    // without an sRGB chunk, the reader names the colour space sRGB.
    header.attribute("oiio:ColorSpace", "sRGB");
    bool srgb = false, gamma = false, chromaticities = false, offset = false;
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        const PngChunk& chunk = chunks[i];
        const bool once = chunk.type != "IDAT" && chunk.type != "tEXt";
        if (chunk.type == "IEND")
            break;
        if (chunk.type == "IDAT") {
            if (!reader.pixelData_.empty() && chunks[i - 1].type != "IDAT")
                return std::nullopt;
            reader.pixelData_.push_back(chunk);
            continue;
        }
        // Chunks after the pixel data are read by libpng only at the end.
        if (!reader.pixelData_.empty())
            return std::nullopt;
        bool* seen = chunk.type == "sRGB"   ? &srgb
                     : chunk.type == "gAMA" ? &gamma
                     : chunk.type == "cHRM" ? &chromaticities
                     : chunk.type == "oFFs" ? &offset
                                            : nullptr;
        if (once && (!seen || *seen))
            return std::nullopt;
        if (seen)
            *seen = true;
        if (chunk.type == "sRGB" && (chunk.size != 1 || chunk.data[0] > 3))
            return std::nullopt;
        if (chunk.type == "gAMA" && (chunk.size != 4 || BigEndian32(chunk.data) != kSrgbGamma))
            return std::nullopt;
        if (chunk.type == "cHRM" && !IsSrgbChromaticities(chunk))
            return std::nullopt;
        if (chunk.type == "oFFs") {
            if (chunk.size != 9 || chunk.data[8] > 1)
                return std::nullopt;
            // An offset in micrometres is no pixel offset: the reader takes 0.
            const bool pixels = chunk.data[8] == 0;
            header.x = pixels ? static_cast<std::int32_t>(BigEndian32(chunk.data)) : 0;
            header.y = pixels ? static_cast<std::int32_t>(BigEndian32(chunk.data + 4)) : 0;
        }
        if (chunk.type == "tEXt") {
            std::string name, text;
            if (!TextAttribute(chunk, name, text))
                return std::nullopt;
            header.attribute(name, text);
        }
    }
    if (reader.pixelData_.empty() || ((gamma || chromaticities) && !srgb))
        return std::nullopt;
    header.attribute("oiio:UnassociatedAlpha", 1);
    return reader;
}

bool DirectPngReader::ReadPixels(const ChannelPlan& plan, Frame& frame) const
{
    const std::size_t width = static_cast<std::size_t>(header_.width);
    const std::size_t height = static_cast<std::size_t>(header_.height);
    const std::size_t channels = static_cast<std::size_t>(header_.nchannels);
    const std::size_t sampleBytes = bitDepth_ / 8;
    const std::size_t bpp = channels * sampleBytes;
    const std::size_t rowBytes = width * bpp;
    const std::size_t rowSpan = rowBytes + 1;  // its filter byte and samples
    const std::size_t bandRows = std::min<std::size_t>(height, kBandRows);
    // A band of rows after the last row of the band before (zeros above the
    // first), which each band's first row is filtered against.
    std::vector<unsigned char> band((bandRows + 1) * rowSpan);
    PixelDataStream stream(pixelData_);
    const bool direct = plan.IsRgbaInOrder() && sampleBytes == 2;
    std::vector<std::uint16_t> values(direct ? 0 : width * channels);
    for (std::size_t first = 0; first < height; first += bandRows) {
        const std::size_t rows = std::min(bandRows, height - first);
        if (!stream.Inflate(band.data() + rowSpan, rows * rowSpan))
            return false;
        for (std::size_t r = 1; r <= rows; ++r) {
            unsigned char* row = band.data() + r * rowSpan;
            if (!Unfilter(row[0], row + 1, row + 1 - rowSpan, rowBytes, bpp))
                return false;
            const unsigned char* samples = row + 1;
            BMM_Color_64* pixels = frame.pixels + (first + r - 1) * width;
            std::uint16_t* out = direct ? &pixels->r : values.data();
            if (sampleBytes == 2)
                for (std::size_t i = 0; i < width * channels; ++i)
                    out[i] = static_cast<std::uint16_t>((samples[2 * i] << 8) | samples[2 * i + 1]);
            else
                for (std::size_t i = 0; i < width * channels; ++i)
                    out[i] = static_cast<std::uint16_t>(samples[i] * 257);
            if (!direct)
                plan.Spread(values.data(), static_cast<int>(channels), pixels, width);
        }
        std::memcpy(band.data(), band.data() + rows * rowSpan, rowSpan);
    }
    return stream.Finished();
}
