#include "image/TestCard.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>
#include <array>

namespace IBA = OIIO::ImageBufAlgo;

namespace {

using Colour = std::array<float, 4>;

void Box(OIIO::ImageBuf& card, int x0, int y0, int x1, int y1, const Colour& colour)
{
    IBA::fill(card, colour, OIIO::ROI(x0, x1, y0, y1, 0, 1, 0, 4));
}

// Draws text when a font is at hand; the card stays readable without it.
void Label(OIIO::ImageBuf& card, int x, int y, const char* text, int size, const Colour& colour)
{
    IBA::render_text(card, x, y, text, size, "DejaVuSans-Bold", colour);
    card.geterror();  // a missing font is not worth a message
}

}  // namespace

Frame DrawTestCard(std::uint16_t width, std::uint16_t height)
{
    const int w = width, h = height;
    OIIO::ImageBuf card(OIIO::ImageSpec(w, h, 4, OIIO::TypeDesc::UINT16));

    // A slow gradient in every direction shows the full 16-bit depth.
    IBA::fill(card, Colour{0.45f, 0.08f, 0.10f, 1}, Colour{0.10f, 0.35f, 0.12f, 1}, Colour{0.08f, 0.12f, 0.45f, 1},
              Colour{0.30f, 0.30f, 0.30f, 1});

    const int cell = std::max(8, w / 10);
    for (int x = 0; x < w; x += cell)
        Box(card, x, 0, x + 1, h, {0.85f, 0.85f, 0.85f, 1});
    for (int y = 0; y < h; y += cell)
        Box(card, 0, y, w, y + 1, {0.85f, 0.85f, 0.85f, 1});
    Box(card, w - 1, 0, w, h, {0.85f, 0.85f, 0.85f, 1});
    Box(card, 0, h - 1, w, h, {0.85f, 0.85f, 0.85f, 1});

    // Primary and secondary colour patches, white and black.
    static const Colour patches[] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {0, 1, 1, 1},
                                     {1, 0, 1, 1}, {1, 1, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}};
    const int patch = w / 12;
    const int patchTop = h / 2 - patch / 2;
    for (int i = 0; i < 8; ++i) {
        const int x = w / 6 + i * patch;
        Box(card, x, patchTop, x + patch - 2, patchTop + patch, patches[i]);
    }

    // A horizontal grey ramp from black to white in 16-bit steps.
    OIIO::ImageBuf ramp(OIIO::ImageSpec(w - 2 * cell, cell / 2, 4, OIIO::TypeDesc::UINT16));
    IBA::fill(ramp, Colour{0, 0, 0, 1}, Colour{1, 1, 1, 1}, Colour{0, 0, 0, 1}, Colour{1, 1, 1, 1});
    IBA::paste(card, cell, h - cell - cell / 2, 0, 0, ramp);

    // A half-transparent patch: alpha travels with the picture.
    Box(card, w - 2 * cell, cell, w - cell, 2 * cell, {1, 1, 1, 0.5f});

    // The top edge and the top-left corner are marked, so that any flip or
    // turn shows at a glance.
    Box(card, 0, 0, w, std::max(3, h / 60), {1, 0.85f, 0, 1});
    Box(card, 0, 0, std::max(3, w / 80), h, {0, 0.9f, 1, 1});
    Box(card, 0, 0, cell, cell, {1, 0.85f, 0, 1});
    Label(card, cell + cell / 4, cell * 3 / 4, "TOP", cell / 2, {1, 0.85f, 0, 1});
    Label(card, cell / 5, cell * 2 + cell / 2, "LEFT", cell / 3, {0, 0.9f, 1, 1});
    Label(card, w / 2 - cell, h / 2 - patch, "VELDRA", cell / 2, {1, 1, 1, 1});

    Frame frame = Frame::Make(width, height);
    card.get_pixels(OIIO::ROI(0, w, 0, h, 0, 1, 0, 4), OIIO::TypeDesc::UINT16, frame.pixels);
    return frame;
}
