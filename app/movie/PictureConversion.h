// Pictures between libav's pixel formats and veldra's 16-bit RGBA frames:
// YUV with the matrix, range and chroma siting the stream states, to RGB
// and back. Pictures are read through libswscale, rounding exactly
// (bit-exact, accurate rounding), so that the same picture converts to the
// same values on every processor, and interpolating chroma bicubically, as
// ffmpeg's own converter does by default; frames are written in the
// layouts movies are written in directly (movie/DirectConversion.h), the
// rest through libswscale too.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <string>
#include <vector>

#include "image/Frame.h"

struct SwsContext;

// How a picture's YUV numbers mean colour.
struct PictureColour {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;  // BT.601, BT.709, BT.2020...
    bool fullRange = false;                       // 0-255 rather than 16-235 (in 8 bits)
    AVChromaLocation siting = AVCHROMA_LOC_UNSPECIFIED;
};

// "BT.709, limited range": for messages.
std::string PictureColourWords(const PictureColour& colour);

// A converter kept while the pictures keep their size, format and colour.
class PictureScaler {
public:
    PictureScaler() = default;
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // `picture` (decoded, of any format) into `frame`, of its size, with
    // `colour` (which RGB pictures ignore); alpha opaque where the
    // picture has none. False when the library cannot convert it.
    bool ToFrame(const AVFrame& picture, const PictureColour& colour, Frame& frame);
    // `pixels` (width x height 16-bit RGBA, straight alpha) into `picture`,
    // whose size and format are set and buffers allocated, with `colour`,
    // the colour over black when `overBlack` (for a format without alpha).
    // False when the library cannot convert it.
    bool FromFrame(const BMM_Color_64* pixels, const PictureColour& colour, bool overBlack, AVFrame& picture);

private:
    bool Prepare(int width, int height, AVPixelFormat from, AVPixelFormat to, const PictureColour& colour,
                 bool colourIsSource);

    SwsContext* context_ = nullptr;
    std::vector<std::uint16_t> planes_;    // a picture as planar RGBA, on its way to a frame
    std::vector<BMM_Color_64> overBlack_;  // a frame's colour over black, on its way to a picture
    int width_ = 0, height_ = 0;
    AVPixelFormat from_ = AV_PIX_FMT_NONE, to_ = AV_PIX_FMT_NONE;
    PictureColour colour_;
};
