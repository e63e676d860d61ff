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

// The colour pass's input pixel: each colour channel times alpha over
// 65535, rounded half up; opaque.
BMM_Color_64 PremultipliedPixel(BMM_Color_64 straight);
// The alpha pass's input pixel: the alpha as opaque grey.
BMM_Color_64 AlphaAsGrey(BMM_Color_64 straight);
// The output pixel from the two passes' results at one place: alpha is the
// alpha pass's grey where that pass covered the pixel fully, else 0; colour
// is the colour pass's divided by that alpha, rounded to nearest and kept
// at most 65535; a pixel of alpha 0 is transparent black.
BMM_Color_64 JoinedPixel(BMM_Color_64 colourPass, BMM_Color_64 alphaPass);

// RenderFrame (RenderFrame.h) with the picture's alpha carried through:
// both passes, then the joined result in `frame`.
void RenderFrameKeepingAlpha(ImageFilter& filter, Frame& frame, const FrameRange& queue, const FrameRange& filterRange,
                             const std::string& what);
