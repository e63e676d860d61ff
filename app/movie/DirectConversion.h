// 16-bit RGBA frames converted directly into the YUV layouts movies are
// written in: planar YUV, with or without alpha, 8 to 16 bits, in limited
// range, with the BT.601, BT.709 or BT.2020 matrix. The general converter
// (libswscale) takes 16-bit RGBA through slow generic paths; this does the
// matrix's arithmetic in single precision, rounded to nearest, a few times
// faster, and gives the same numbers on every processor. Chroma written at
// half resolution is the mean of the two samples it stands for (centred) or
// weighted 1-2-1 around its own (left of the pair, as H.264 states it).
// Frames are read with libswscale, which gives exactly what ffmpeg's own
// converter gives.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "image/Frame.h"

// `pixels` (width x height of `picture`, straight alpha) into `picture`,
// whose format is set and buffers allocated: 4:4:4, 4:2:2 or 4:2:0, chroma
// sited as `siting` (left, or else centred), the colour multiplied by
// alpha first (over black) with `overBlack`. False, touching nothing, for
// any other format or matrix.
bool DirectFromFrame(const BMM_Color_64* pixels, AVColorSpace matrix, bool fullRange, AVChromaLocation siting,
                     bool overBlack, AVFrame& picture);
