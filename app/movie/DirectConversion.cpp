#include "movie/DirectConversion.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
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

// Writes `count` values rounded and kept within 0 .. `most`, as samples of
// `bytes` bytes. One loop a sample size, each simple enough for the compiler
// to do several values at once.
void PutSamples(const float* values, int count, int bytes, float most, std::uint8_t* out)
{
    if (bytes == 1) {
        for (int x = 0; x < count; ++x)
            out[x] = static_cast<std::uint8_t>(std::min(std::max(values[x], 0.0f), most) + 0.5f);
        return;
    }
    std::uint16_t* samples = reinterpret_cast<std::uint16_t*>(out);
    for (int x = 0; x < count; ++x)
        samples[x] = static_cast<std::uint16_t>(std::min(std::max(values[x], 0.0f), most) + 0.5f);
}

}  // namespace

bool DirectFromFrame(const BMM_Color_64* pixels, AVColorSpace matrix, bool fullRange, AVChromaLocation siting,
                     bool overBlack, AVFrame& picture)
{
    const std::optional<Layout> layout = LayoutOf(picture.format);
    const std::optional<Weights> weights = WeightsOf(matrix);
    if (!layout || !weights || fullRange)
        return false;
    const Range range(layout->depth);
    const float red = weights->red, blue = weights->blue, green = 1.0f - red - blue;
    const float unit = 1.0f / 65535.0f;
    // Chroma in the range's steps: (B - Y) / (2 (1 - Kb)) and (R - Y) / (2 (1 - Kr)).
    const float blueScale = range.chromaSpan / (2.0f * (1.0f - blue));
    const float redScale = range.chromaSpan / (2.0f * (1.0f - red));
    const int width = picture.width, height = picture.height, bytes = layout->bytes;
    const int chromaWidth = width >> layout->shiftX;
    const bool left = siting == AVCHROMA_LOC_LEFT;
    // A row's luma and alpha, and the chroma of a row pair (the second row
    // of a 4:2:0 pair beside the first), before it is halved.
    std::vector<float> luma(static_cast<std::size_t>(width)), alpha(luma.size());
    std::vector<float> cb(luma.size() * 2), cr(cb.size()), halved(luma.size());
    for (int y = 0; y < height; ++y) {
        const BMM_Color_64* row = pixels + static_cast<std::size_t>(y) * width;
        const std::size_t half = layout->shiftY && (y & 1) ? static_cast<std::size_t>(width) : 0;
        float* cbRow = cb.data() + half;
        float* crRow = cr.data() + half;
        for (int x = 0; x < width; ++x) {
            // Without alpha in the codec, colour is written over black.
            const float a = overBlack ? row[x].a * unit : 1.0f;
            const float r = row[x].r * unit * a, g = row[x].g * unit * a, b = row[x].b * unit * a;
            const float unitLuma = red * r + green * g + blue * b;
            luma[x] = range.lumaOffset + range.lumaSpan * unitLuma;
            cbRow[x] = (b - unitLuma) * blueScale;
            crRow[x] = (r - unitLuma) * redScale;
            alpha[x] = row[x].a * unit * range.most;
        }
        PutSamples(luma.data(), width, bytes, range.most,
                   picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.linesize[0]);
        if (layout->alpha)
            PutSamples(alpha.data(), width, bytes, range.most,
                       picture.data[3] + static_cast<std::ptrdiff_t>(y) * picture.linesize[3]);
        // A chroma row is written once its rows are in: every row, or every
        // second.
        if (layout->shiftY && !(y & 1) && y != height - 1)
            continue;
        const int chromaRow = y >> layout->shiftY;
        float* chroma[2] = {cb.data(), cr.data()};
        for (int c = 0; c < 2; ++c) {
            float* values = chroma[c];
            if (layout->shiftY && (y & 1))
                for (int x = 0; x < width; ++x)
                    values[x] = (values[x] + values[width + x]) / 2;
            for (int x = 0; x < chromaWidth; ++x) {
                float value = values[x];
                if (layout->shiftX) {
                    const int at = 2 * x;
                    const float here = values[at], next = values[std::min(at + 1, width - 1)];
                    value = left ? (values[std::max(at - 1, 0)] + 2 * here + next) / 4 : (here + next) / 2;
                }
                halved[static_cast<std::size_t>(x)] = range.chromaOffset + value;
            }
            PutSamples(halved.data(), chromaWidth, bytes, range.most,
                       picture.data[1 + c] + static_cast<std::ptrdiff_t>(chromaRow) * picture.linesize[1 + c]);
        }
    }
    return true;
}
