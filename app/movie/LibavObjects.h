// libav's objects owned the C++ way: each freed by its own function when
// its owner goes, so that no error path leaks one.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>

struct InputCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct PictureFreer {
    void operator()(AVFrame* picture) const { av_frame_free(&picture); }
};

using InputFormat = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Picture = std::unique_ptr<AVFrame, PictureFreer>;

// An input opened for reading files only: no protocol reaches the network,
// whatever a playlist or reference inside the file names. Null when
// libavformat cannot open it; `error` holds its error code.
InputFormat OpenInput(const std::string& path, int& error);
