#include "movie/DirectConversion.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// A matrix's weights of red and blue in luma (green's is what is left).
struct Weights {
    float red, blue;
};

std::optional<Weights> WeightsOf(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709: return Weights{0.2126f, 0.0722f};
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return Weights{0.299f, 0.114f};
    case AVCOL_SPC_BT2020_NCL: return Weights{0.2627f, 0.0593f};
    default: return std::nullopt;
    }
}

// A planar YUV layout: one plane a component, Y, U, V and maybe A, every
// sample of `depth` bits in one byte or two little-endian ones.
struct Layout {
    int depth = 8;
    bool alpha = false;
    int shiftX = 0, shiftY = 0;  // chroma subsampling, as log2
    int bytes = 1;               // a sample's bytes
};

std::optional<Layout> LayoutOf(int format)
{
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    if (!described || !(described->flags & AV_PIX_FMT_FLAG_PLANAR) ||
        (described->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT)) ||
        described->nb_components < 3)
        return std::nullopt;
    Layout layout;
    layout.depth = described->comp[0].depth;
    layout.alpha = described->nb_components == 4;
    layout.shiftX = described->log2_chroma_w;
    layout.shiftY = described->log2_chroma_h;
    layout.bytes = layout.depth > 8 ? 2 : 1;
    for (int c = 0; c < described->nb_components; ++c) {
        const AVComponentDescriptor& component = described->comp[c];
        if (component.plane != c || component.depth != layout.depth || component.shift != 0 ||
            component.step != layout.bytes)
            return std::nullopt;
    }
    if (layout.depth > 16 || layout.shiftX > 1 || layout.shiftY > 1)
        return std::nullopt;
    return layout;
}

// Limited-range YUV of `depth` bits: luma from 16 to 235 and chroma 16 to
// 240 about 128, in 8-bit terms.
struct Range {
    explicit Range(int depth)
        : scale(static_cast<float>(1 << (depth - 8))), lumaOffset(16 * scale), lumaSpan(219 * scale),
          chromaOffset(128 * scale), chromaSpan(224 * scale), most(static_cast<float>((1 << depth) - 1))
    {}
    float scale, lumaOffset, lumaSpan, chromaOffset, chromaSpan, most;
};

void PutSample(std::uint8_t* row, int x, int bytes, float value, float most)
{
    const float kept = std::min(std::max(value, 0.0f), most);
    const auto sample = static_cast<std::uint16_t>(kept + 0.5f);
    if (bytes == 1)
        row[x] = static_cast<std::uint8_t>(sample);
    else
        std::memcpy(row + 2 * x, &sample, 2);
}

}  // namespace

bool DirectFromFrame(const BMM_Color_64* pixels, AVColorSpace matrix, bool fullRange, AVChromaLocation siting,
                     AVFrame& picture)
{
    const std::optional<Layout> layout = LayoutOf(picture.format);
    const std::optional<Weights> weights = WeightsOf(matrix);
    if (!layout || !weights || fullRange)
        return false;
    const Range range(layout->depth);
    const float green = 1.0f - weights->red - weights->blue;
    const int width = picture.width, height = picture.height, bytes = layout->bytes;
    const bool left = siting == AVCHROMA_LOC_LEFT;
    // Chroma of a full row, before it is halved across or down.
    std::vector<float> cb(static_cast<std::size_t>(width) * 2), cr(cb.size());
    for (int y = 0; y < height; ++y) {
        const BMM_Color_64* row = pixels + static_cast<std::size_t>(y) * width;
        std::uint8_t* luma = picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.linesize[0];
        std::uint8_t* alpha = layout->alpha ? picture.data[3] + static_cast<std::ptrdiff_t>(y) * picture.linesize[3]
                                            : nullptr;
        // Rows pair up for 4:2:0: the second of a pair goes beside the first.
        const std::size_t half = layout->shiftY && (y & 1) ? static_cast<std::size_t>(width) : 0;
        for (int x = 0; x < width; ++x) {
            const float r = row[x].r / 65535.0f, g = row[x].g / 65535.0f, b = row[x].b / 65535.0f;
            const float unitLuma = weights->red * r + green * g + weights->blue * b;
            PutSample(luma, x, bytes, range.lumaOffset + range.lumaSpan * unitLuma, range.most);
            if (alpha)
                PutSample(alpha, x, bytes, row[x].a / 65535.0f * range.most, range.most);
            cb[half + x] = (b - unitLuma) / (2.0f * (1.0f - weights->blue));
            cr[half + x] = (r - unitLuma) / (2.0f * (1.0f - weights->red));
        }
        // A chroma row is written once its rows are in: every row, or every
        // second.
        const bool lastOfPair = !layout->shiftY || (y & 1) || y == height - 1;
        if (!lastOfPair)
            continue;
        const int chromaRow = y >> layout->shiftY;
        if (layout->shiftY && (y & 1))
            for (int x = 0; x < width; ++x) {
                cb[x] = (cb[x] + cb[width + x]) / 2;
                cr[x] = (cr[x] + cr[width + x]) / 2;
            }
        std::uint8_t* planes[2] = {picture.data[1] + static_cast<std::ptrdiff_t>(chromaRow) * picture.linesize[1],
                                   picture.data[2] + static_cast<std::ptrdiff_t>(chromaRow) * picture.linesize[2]};
        const std::vector<float>* chroma[2] = {&cb, &cr};
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& values = *chroma[c];
            for (int x = 0; x < (width >> layout->shiftX); ++x) {
                float value = values[static_cast<std::size_t>(x)];
                if (layout->shiftX) {
                    const int at = 2 * x;
                    const float here = values[at], next = values[std::min(at + 1, width - 1)];
                    value = left ? (values[std::max(at - 1, 0)] + 2 * here + next) / 4 : (here + next) / 2;
                }
                PutSample(planes[c], x, bytes, range.chromaOffset + range.chromaSpan * value, range.most);
            }
        }
    }
    return true;
}
