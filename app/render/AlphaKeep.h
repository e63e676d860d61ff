// Carrying a picture's alpha through the filter, which makes every pixel it
// covers opaque. The filter runs twice on the same block and frame: once
// on the picture premultiplied by its alpha, once on the alpha as a grey
// picture; the two results give back straight colour and the turned alpha.
#pragma once

#include <cstdint>

#include <string>

#include "bmm/Bitmap.h"
#include "flt/ImageFilter.h"
#include "image/Frame.h"

// What becomes of the picture's alpha: the filter's own output (every
// covered pixel opaque), or the picture's alpha carried through the turn.
enum class AlphaMode { Filter, Keep };

// How a frame's colour relates to its alpha, as its file says.
enum class ColourAlpha { Straight, Premultiplied };

// The colour pass's input pixel: each colour channel times alpha over
// 65535, rounded half up (colour already premultiplied stays as it is);
// opaque.
BMM_Color_64 ColourPassPixel(BMM_Color_64 pixel, ColourAlpha colour);
// The alpha pass's input pixel: the alpha as opaque grey.
BMM_Color_64 AlphaAsGrey(BMM_Color_64 pixel);
// The output pixel from the two passes' results at one place: alpha is the
// alpha pass's grey where that pass covered the pixel fully, else 0; a
// pixel of alpha 0 is transparent black. Straight colour is the colour
// pass's divided by that alpha, rounded to nearest and kept at most 65535;
// premultiplied colour is the colour pass's as it is, since the turn of a
// premultiplied picture is premultiplied by the turned alpha.
BMM_Color_64 JoinedPixel(BMM_Color_64 colourPass, BMM_Color_64 alphaPass, ColourAlpha colour);

// RenderFrame (RenderFrame.h) with the picture's alpha carried through:
// both passes, then the joined result in `frame`, its colour related to its
// alpha as it was.
void RenderFrameKeepingAlpha(ImageFilter& filter, Frame& frame, ColourAlpha colour, const FrameRange& queue,
                             const FrameRange& filterRange, const std::string& what);

// The frame rendered as `alpha` asks: RenderFrameKeepingAlpha for Keep,
// else RenderFrame.
void RenderFrameWithAlpha(ImageFilter& filter, Frame& frame, AlphaMode alpha, ColourAlpha colour,
                          const FrameRange& queue, const FrameRange& filterRange, const std::string& what);
