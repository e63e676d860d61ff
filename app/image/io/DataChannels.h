// The channels of a picture beyond its colour and alpha, read into channel
// groups (image/ChannelGroup.h) and written back from them in each
// channel's own format.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <string>
#include <vector>

#include "image/ChannelGroup.h"
#include "image/ImageFiles.h"

// Reads channels `channels` of picture `subimage` of `input` (`header` its
// header) into a group whose alpha is `picture`'s, as read. Each channel
// gets the range its values need (ChannelRange): floating-point values
// within 0..1 and 8- or 16-bit ones convert as colour does, whole numbers
// up to 65535 are kept as they are, and anything larger is spread over
// the 16-bit steps. `path` names the file in the failure a damaged file
// throws.
ChannelGroup ReadChannelGroup(OIIO::ImageInput& input, int subimage, const OIIO::ImageSpec& header,
                              const std::vector<int>& channels, const Frame& picture, const std::string& path);

// Writes channel `index` of `group` (turned) into `out` as `type`, the
// first pixel at `out` and each `stride` bytes after the one before, row
// after row: the channel's own values where its range stands for them,
// and 0 wherever the turned frame is transparent there (nothing the turn
// brought).
void StoreGroupChannel(const ChannelGroup& group, int index, OIIO::TypeDesc type, unsigned char* out,
                       std::size_t stride);

// ImageLibrary::PackChannels: the pixels of `header` packed into `native`,
// each channel in its own format; its first `channels` from `values`
// (`colours` grey or colour, then alpha), the rest from `source`'s groups.
void PackChannels(const PictureHeader& header, const Frame& values, int channels, int colours,
                  const LoadedImage& source, std::vector<unsigned char>& native);
