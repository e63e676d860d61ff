#include "image/Thumbnail.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/ImageFiles.h"
#include "image/io/Encode.h"
#include "messages/Failure.h"

std::string ThumbnailPng(const std::string& path, int longestSide)
{
    const LoadedImage image = ReadImage(path);
    const Frame& frame = image.frame;
    const int width = frame.Width(), height = frame.Height();
    const int longest = std::max(width, height);
    const int outWidth = std::max(1, width * std::min(longest, longestSide) / longest);
    const int outHeight = std::max(1, height * std::min(longest, longestSide) / longest);

    // Each thumbnail pixel averages the block of source pixels it covers.
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(outWidth) * outHeight * 4);
    for (int y = 0; y < outHeight; ++y) {
        const int top = y * height / outHeight, bottom = std::max(top + 1, (y + 1) * height / outHeight);
        for (int x = 0; x < outWidth; ++x) {
            const int left = x * width / outWidth, right = std::max(left + 1, (x + 1) * width / outWidth);
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = top; sy < bottom; ++sy) {
                const BMM_Color_64* row = frame.pixels + static_cast<std::size_t>(sy) * width;
                for (int sx = left; sx < right; ++sx) {
                    const double alpha = row[sx].a;
                    r += row[sx].r * alpha;
                    g += row[sx].g * alpha;
                    b += row[sx].b * alpha;
                    a += alpha;
                }
            }
            const double count = static_cast<double>(bottom - top) * (right - left);
            std::uint16_t* out = &pixels[(static_cast<std::size_t>(y) * outWidth + x) * 4];
            out[0] = static_cast<std::uint16_t>(a > 0 ? r / a + 0.5 : 0);
            out[1] = static_cast<std::uint16_t>(a > 0 ? g / a + 0.5 : 0);
            out[2] = static_cast<std::uint16_t>(a > 0 ? b / a + 0.5 : 0);
            out[3] = static_cast<std::uint16_t>(a / count + 0.5);
        }
    }
    const std::string name = path + ".thumbnail.png";
    auto output = OIIO::ImageOutput::create("png");
    if (!output)
        throw Failure(name, "cannot encode: no PNG writer");
    PictureHeader header(outWidth, outHeight, 4, OIIO::TypeDesc::UINT8);
    header.attribute("oiio:UnassociatedAlpha", 1);
    std::string png;
    EncodeInMemory(
        *output, name, {EncodedPicture{header, pixels.data()}},
        [&](const unsigned char* bytes, std::size_t size) { png.assign(reinterpret_cast<const char*>(bytes), size); });
    return png;
}
