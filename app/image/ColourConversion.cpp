#include "image/ColourConversion.h"

#include <OpenImageIO/color.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "files/WholeFile.h"
#include "image/Premultiply.h"
#include "messages/Failure.h"

namespace {

// Rows converted at a time, so that a frame is never held again as floats.
constexpr int kBandRows = 64;

std::string SpacesOf(const OIIO::ColorConfig& config)
{
    std::string names;
    for (int i = 0; i < config.getNumColorSpaces(); ++i)
        names += (names.empty() ? "" : ", ") + std::string(config.getColorSpaceNameByIndex(i));
    return names;
}

std::uint16_t ToSixteenBits(float value, bool& clamped)
{
    if (!(value >= 0.0f && value <= 1.0f)) {
        clamped = true;
        value = value > 0.0f ? 1.0f : 0.0f;  // NaN too becomes 0
    }
    return static_cast<std::uint16_t>(value * 65535.0f + 0.5f);
}

class LibraryColourConversion final : public ColourConversion {
public:
    LibraryColourConversion(const std::string& from, const std::string& to, const std::string& configFile);
    bool Apply(Frame& frame, bool premultiplied) const override;

private:
    OIIO::ColorProcessorHandle processor_;
};

LibraryColourConversion::LibraryColourConversion(const std::string& from, const std::string& to,
                                                 const std::string& configFile)
    : ColourConversion(from + " to " + to)
{
    // A config named by the user must be there: the library would fall back
    // to its built-in spaces without a word.
    if (!configFile.empty())
        RegularFileSize(configFile);
    const char* environment = std::getenv("OCIO");
    const std::string named = !configFile.empty() ? configFile : environment ? environment : "";
    OIIO::ColorConfig config(configFile);
    const std::string error = config.geterror();
    if (!named.empty() && !error.empty())
        throw FileError(configFile.empty() ? "$OCIO (" + named + ")" : configFile,
                        "not a colour config that can be read: " + error);
    processor_ = config.createColorProcessor(from, to);
    if (!processor_) {
        config.geterror();
        throw Failure("--colorconvert",
                      "no conversion from '" + from + "' to '" + to + "' in " +
                          (named.empty() ? std::string("the built-in colour spaces") : named) + " (it knows " +
                          SpacesOf(config) + ")",
                      FailureKind::Value);
    }
}

bool LibraryColourConversion::Apply(Frame& frame, bool premultiplied) const
{
    bool clamped = false;
    const int width = frame.Width(), height = frame.Height();
    std::vector<float> band(static_cast<std::size_t>(width) * std::min(height, kBandRows) * 3);
    for (int top = 0; top < height; top += kBandRows) {
        const int rows = std::min(kBandRows, height - top);
        BMM_Color_64* pixels = frame.pixels + static_cast<std::size_t>(top) * width;
        const std::size_t count = static_cast<std::size_t>(rows) * width;
        for (std::size_t i = 0; i < count; ++i) {
            BMM_Color_64 p = pixels[i];
            if (premultiplied && p.a != 0 && p.a != 65535)
                p = {Unpremultiply(p.r, p.a), Unpremultiply(p.g, p.a), Unpremultiply(p.b, p.a), p.a};
            band[i * 3] = p.r / 65535.0f;
            band[i * 3 + 1] = p.g / 65535.0f;
            band[i * 3 + 2] = p.b / 65535.0f;
        }
        processor_->apply(band.data(), width, rows, 3, sizeof(float), 3 * sizeof(float),
                          static_cast<OIIO::stride_t>(width) * 3 * sizeof(float));
        for (std::size_t i = 0; i < count; ++i) {
            BMM_Color_64& p = pixels[i];
            std::uint16_t rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = ToSixteenBits(band[i * 3 + c], clamped);
            if (premultiplied && p.a != 65535)
                p = {Premultiply(rgb[0], p.a), Premultiply(rgb[1], p.a), Premultiply(rgb[2], p.a), p.a};
            else
                p = {rgb[0], rgb[1], rgb[2], p.a};
        }
    }
    return clamped;
}

}  // namespace

std::shared_ptr<const ColourConversion> MakeColourConversion(const std::string& from, const std::string& to,
                                                             const std::string& configFile)
{
    return std::make_shared<LibraryColourConversion>(from, to, configFile);
}
