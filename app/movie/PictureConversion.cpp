#include "movie/PictureConversion.h"

#include <vector>

#include "image/Premultiply.h"
#include "movie/DirectConversion.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// The frame's pixels as libav names them: r, g, b, a, 16 bits each, in the
// machine's order (little-endian on every machine veldra runs on).
constexpr AVPixelFormat kFrameFormat = AV_PIX_FMT_RGBA64LE;
constexpr int kFramePixelBytes = 8;

// swscale's default siting: centred between the luma samples.
constexpr int kDefaultSiting = -513;

int Coefficients(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;
    }
}

bool SameColour(const PictureColour& a, const PictureColour& b)
{
    return a.matrix == b.matrix && a.fullRange == b.fullRange && a.siting == b.siting;
}

// libswscale moves the alpha of a YUV picture of fewer than 16 bits into
// the top bits (an opaque 10-bit 1023 becomes 65472), where it scales an RGB
// picture's alpha to the whole 16 bits. The alpha is scaled here as well,
// so that opaque stays opaque and every step lands where its fraction does.
void ScaleShiftedAlpha(const AVPixFmtDescriptor& described, Frame& frame)
{
    if (!(described.flags & AV_PIX_FMT_FLAG_ALPHA) || (described.flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)))
        return;
    const int depth = described.comp[described.nb_components - 1].depth;
    if (depth >= 16)
        return;
    const unsigned most = (1u << depth) - 1;
    std::vector<std::uint16_t> scaled(most + 1);
    for (unsigned value = 0; value <= most; ++value)
        scaled[value] = static_cast<std::uint16_t>((value * 65535u + most / 2) / most);
    for (std::size_t i = 0; i < frame.PixelCount(); ++i)
        frame.pixels[i].a = scaled[frame.pixels[i].a >> (16 - depth)];
}

}  // namespace

std::string PictureColourWords(const PictureColour& colour)
{
    const char* name = av_color_space_name(colour.matrix);
    std::string matrix = name ? name : "unknown";
    if (colour.matrix == AVCOL_SPC_BT709)
        matrix = "BT.709";
    else if (colour.matrix == AVCOL_SPC_BT470BG || colour.matrix == AVCOL_SPC_SMPTE170M)
        matrix = "BT.601";
    else if (colour.matrix == AVCOL_SPC_BT2020_NCL || colour.matrix == AVCOL_SPC_BT2020_CL)
        matrix = "BT.2020";
    return matrix + (colour.fullRange ? ", full range" : ", limited range");
}

PictureScaler::~PictureScaler() { sws_freeContext(context_); }

bool PictureScaler::Prepare(int width, int height, AVPixelFormat from, AVPixelFormat to, const PictureColour& colour,
                            bool colourIsSource)
{
    if (context_ && width == width_ && height == height_ && from == from_ && to == to_ && SameColour(colour, colour_))
        return true;
    sws_freeContext(context_);
    context_ = sws_alloc_context();
    if (!context_)
        return false;
    width_ = width;
    height_ = height;
    from_ = from;
    to_ = to;
    colour_ = colour;
    int x = kDefaultSiting, y = kDefaultSiting;
    if (colour.siting != AVCHROMA_LOC_UNSPECIFIED && avcodec_enum_to_chroma_pos(&x, &y, colour.siting) != 0)
        x = y = kDefaultSiting;
    const char* side = colourIsSource ? "src" : "dst";
    const bool set = av_opt_set_int(context_, "srcw", width, 0) >= 0 &&
                     av_opt_set_int(context_, "srch", height, 0) >= 0 &&
                     av_opt_set_int(context_, "src_format", from, 0) >= 0 &&
                     av_opt_set_int(context_, "dstw", width, 0) >= 0 &&
                     av_opt_set_int(context_, "dsth", height, 0) >= 0 &&
                     av_opt_set_int(context_, "dst_format", to, 0) >= 0 &&
                     av_opt_set_int(context_, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, 0) >= 0 &&
                     av_opt_set_int(context_, (std::string(side) + "_h_chr_pos").c_str(), x, 0) >= 0 &&
                     av_opt_set_int(context_, (std::string(side) + "_v_chr_pos").c_str(), y, 0) >= 0;
    if (!set || sws_init_context(context_, nullptr, nullptr) < 0) {
        sws_freeContext(context_);
        context_ = nullptr;
        return false;
    }
    // RGB pictures have no matrix; YUV and grey ones have the stream's
    // matrix and range, and the frame is RGB in full range.
    const AVPixFmtDescriptor* other = av_pix_fmt_desc_get(colourIsSource ? from : to);
    if (!other || (other->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)))
        return true;
    const int* table = sws_getCoefficients(Coefficients(colour.matrix));
    const int range = colour.fullRange ? 1 : 0;
    const bool details = colourIsSource
                             ? sws_setColorspaceDetails(context_, table, range, table, 1, 0, 1 << 16, 1 << 16) >= 0
                             : sws_setColorspaceDetails(context_, table, 1, table, range, 0, 1 << 16, 1 << 16) >= 0;
    return details;
}

bool PictureScaler::ToFrame(const AVFrame& picture, const PictureColour& colour, Frame& frame)
{
    const AVPixelFormat format = static_cast<AVPixelFormat>(picture.format);
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
    const int width = picture.width, height = picture.height;
    // libswscale writes planar 16-bit RGB from 4:4:4 YUV several times
    // faster than packed RGBA, with the very same numbers, so such pictures
    // go through planes. (From subsampled chroma it interpolates chroma
    // across for planes, unlike ffmpeg's own converter.)
    if (!described || (described->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) ||
        described->log2_chroma_w != 0 || described->log2_chroma_h != 0) {
        if (!Prepare(width, height, format, kFrameFormat, colour, true))
            return false;
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(frame.pixels), nullptr, nullptr, nullptr};
        const int strides[4] = {width * kFramePixelBytes, 0, 0, 0};
        if (sws_scale(context_, picture.data, picture.linesize, 0, height, planes, strides) != height)
            return false;
        if (described)
            ScaleShiftedAlpha(*described, frame);
        return true;
    }
    if (!Prepare(width, height, format, AV_PIX_FMT_GBRAP16LE, colour, true))
        return false;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    planes_.resize(count * 4);
    // gbrap: green, blue, red, alpha.
    uint8_t* planes[4];
    for (int p = 0; p < 4; ++p)
        planes[p] = reinterpret_cast<uint8_t*>(planes_.data() + count * p);
    const int strides[4] = {width * 2, width * 2, width * 2, width * 2};
    if (sws_scale(context_, picture.data, picture.linesize, 0, height, planes, strides) != height)
        return false;
    const std::uint16_t *green = planes_.data(), *blue = green + count, *red = blue + count, *alpha = red + count;
    for (std::size_t i = 0; i < count; ++i)
        frame.pixels[i] = {red[i], green[i], blue[i], alpha[i]};
    ScaleShiftedAlpha(*described, frame);
    return true;
}

bool PictureScaler::FromFrame(const BMM_Color_64* pixels, const PictureColour& colour, bool overBlack, AVFrame& picture)
{
    if (DirectFromFrame(pixels, colour.matrix, colour.fullRange, colour.siting, overBlack, picture))
        return true;
    if (overBlack) {
        const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height;
        overBlack_.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const BMM_Color_64& p = pixels[i];
            overBlack_[i] = {Premultiply(p.r, p.a), Premultiply(p.g, p.a), Premultiply(p.b, p.a), 65535};
        }
        pixels = overBlack_.data();
    }
    if (!Prepare(picture.width, picture.height, kFrameFormat, static_cast<AVPixelFormat>(picture.format), colour,
                 false))
        return false;
    const uint8_t* planes[4] = {reinterpret_cast<const uint8_t*>(pixels), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.width * kFramePixelBytes, 0, 0, 0};
    return sws_scale(context_, planes, strides, 0, picture.height, picture.data, picture.linesize) == picture.height;
}
