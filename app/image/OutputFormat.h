// The kinds of file veldra writes, each tested for complete, same-bytes
// output: PNG, TIFF, OpenEXR, DPX and JPEG. The library's other writers are
// refused rather than trusted.
#pragma once

#include <string>

// The extension of the file name in `path`, in lower case; "" for none.
std::string ExtensionOf(const std::string& path);

// The format `path` is written in, by the library's name for it ("png",
// "tiff", "openexr", "dpx", "jpeg"), as its file name's extension chooses;
// throws Failure naming `path` for any other kind of file. A run decides
// this once, for its first output.
std::string OutputFormatOf(const std::string& path);

// What the writer of `format` (one of OutputFormatOf's) holds, as the
// library's writer says, known without loading the library: alpha, and
// several pictures in one file.
bool FormatHoldsAlpha(const std::string& format);
bool FormatHoldsSeveralPictures(const std::string& format);
