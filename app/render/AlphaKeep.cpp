#include "render/AlphaKeep.h"

#include "image/Premultiply.h"
#include "render/RenderFrame.h"

namespace {

constexpr std::uint32_t kOpaque = 65535;

}  // namespace

std::string TransparencyLostWarning(const std::string& keepAlpha)
{
    return "the filter makes every pixel it covers opaque, so the input's transparency is not kept; give " + keepAlpha +
           " to carry it through the turn";
}

BMM_Color_64 ColourPassPixel(BMM_Color_64 p, ColourAlpha colour)
{
    if (colour == ColourAlpha::Premultiplied)
        return {p.r, p.g, p.b, kOpaque};
    return {Premultiply(p.r, p.a), Premultiply(p.g, p.a), Premultiply(p.b, p.a), kOpaque};
}

BMM_Color_64 AlphaAsGrey(BMM_Color_64 p) { return {p.a, p.a, p.a, kOpaque}; }

BMM_Color_64 JoinedPixel(BMM_Color_64 colourPass, BMM_Color_64 alphaPass, ColourAlpha colour)
{
    const std::uint16_t alpha = alphaPass.a == kOpaque ? alphaPass.r : 0;
    if (alpha == 0)
        return {0, 0, 0, 0};
    if (colour == ColourAlpha::Premultiplied)
        return {colourPass.r, colourPass.g, colourPass.b, alpha};
    return {Unpremultiply(colourPass.r, alpha), Unpremultiply(colourPass.g, alpha), Unpremultiply(colourPass.b, alpha),
            alpha};
}

void RenderFrameKeepingAlpha(ImageFilter& filter, Frame& frame, ColourAlpha colour, const FrameRange& queue,
                             const FrameRange& filterRange, const std::string& what)
{
    Frame alpha = Frame::Make(frame.Width(), frame.Height());
    const std::size_t count = frame.PixelCount();
    for (std::size_t i = 0; i < count; ++i) {
        alpha.pixels[i] = AlphaAsGrey(frame.pixels[i]);
        frame.pixels[i] = ColourPassPixel(frame.pixels[i], colour);
    }
    RenderFrame(filter, frame, queue, filterRange, what);
    RenderFrame(filter, alpha, queue, filterRange, what);
    for (std::size_t i = 0; i < count; ++i)
        frame.pixels[i] = JoinedPixel(frame.pixels[i], alpha.pixels[i], colour);
}

void RenderFrameWithAlpha(ImageFilter& filter, Frame& frame, AlphaMode alpha, ColourAlpha colour,
                          const FrameRange& queue, const FrameRange& filterRange, const std::string& what)
{
    if (alpha == AlphaMode::Keep)
        RenderFrameKeepingAlpha(filter, frame, colour, queue, filterRange, what);
    else
        RenderFrame(filter, frame, queue, filterRange, what);
}
