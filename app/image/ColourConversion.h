// Colour management for what veldra writes: the turned frames converted
// from one colour space to another (linear EXR frames into Rec.709 for a
// review movie, say) through the image library's colour management, which
// is OpenColorIO: its built-in spaces ("linear", "sRGB", "Rec709") or a
// studio's config. Turning happens on the values as read; the conversion
// comes after it, just before the frame is written.
#pragma once

#include <memory>
#include <string>

#include "image/Frame.h"

class ColourConversion {
public:
    virtual ~ColourConversion() = default;

    // Converts `frame`'s colour in place: its 16-bit values as 0..1, through
    // the conversion, back to 16 bits (rounded, clamped to 0..1); alpha as it
    // was. Premultiplied colour is divided by its alpha for the conversion
    // and multiplied again after. Thread-safe. Returns whether any value was
    // clamped.
    virtual bool Apply(Frame& frame, bool premultiplied) const = 0;

    // "linear to Rec709": for messages.
    const std::string& Words() const { return words_; }

protected:
    explicit ColourConversion(std::string words) : words_(std::move(words)) {}

private:
    std::string words_;
};

// The conversion from space `from` to space `to` of the OpenColorIO config
// `configFile`, or when that is "" of the config $OCIO names, or else of
// the library's built-in spaces. Throws Failure naming `configFile` when it
// cannot be read, or --colorconvert when a space is unknown, listing the
// spaces the config knows. The library's side: the image program reaches
// it through TheImageLibrary() (image/ImageLibrary.h).
std::shared_ptr<const ColourConversion> MakeColourConversion(const std::string& from, const std::string& to,
                                                             const std::string& configFile);

// What a warning says when converted colour was clamped.
constexpr const char* kConvertedClampedWarning =
    "colour converted beyond 0..1 is clamped: frames hold 16-bit values from 0 to 1";
