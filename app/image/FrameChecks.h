// Checks on a picture's size before its frame is allocated, wherever the
// picture comes from (a file, a movie, another program's array): no host
// bitmap holds a frame wider or higher than 65535, and a frame must fit in
// this machine's memory while it is rendered.
#pragma once

#include <string>

// Throws Failure naming `what` (a file, or the argument that holds the
// picture) when a picture of `width` x `height` with `depth` layers and
// `channels` channels is no flat picture with pixels, or is wider or higher
// than 65535: no host bitmap holds it.
void CheckFrameShape(const std::string& what, long long width, long long height, int depth, int channels);

// Throws Failure naming `what` when a frame of that size (a shape
// CheckFrameShape passed) would not fit in this machine's memory while it is
// rendered.
void CheckFrameMemory(const std::string& what, int width, int height, int channels);
