#include "movie/MovieWriter.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <atomic>
#include <exception>
#include <new>

#include "files/FileBeingWritten.h"
#include "image/Premultiply.h"
#include "messages/Failure.h"
#include "movie/LibavMessages.h"
#include "movie/LibavMovies.h"
#include "movie/LibavObjects.h"
#include "movie/PictureConversion.h"

namespace {

struct Encoding {
    const char* encoder;
    const char* profile;  // "" for the encoder's own
    AVPixelFormat pixels;
};

Encoding EncodingOf(MovieCodec codec)
{
    switch (codec) {
    case MovieCodec::ProRes4444: return {"prores_ks", "4444", AV_PIX_FMT_YUVA444P10LE};
    case MovieCodec::ProRes422HQ: return {"prores_ks", "hq", AV_PIX_FMT_YUV422P10LE};
    case MovieCodec::DnxhrHQ: return {"dnxhd", "dnxhr_hq", AV_PIX_FMT_YUV422P};
    case MovieCodec::Dnxhr444: return {"dnxhd", "dnxhr_444", AV_PIX_FMT_YUV444P10LE};
    case MovieCodec::H264: break;
    }
    return {"libx264", "", AV_PIX_FMT_YUV420P};
}

// x264's output depends on how many threads it runs (frame threads see
// less of the frames they refer to), so it always runs this many,
// whatever the machine: the same frames give the same bytes everywhere.
// The other encoders give the same bytes with any number and run one a
// core.
constexpr const char* kH264Threads = "4";

constexpr int kOutputBuffer = 1 << 16;

struct OutputFreer {
    void operator()(AVFormatContext* format) const { avformat_free_context(format); }
};
struct IoFreer {
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

const char* MuxerOf(const std::string& container) { return container == "mkv" ? "matroska" : container.c_str(); }

}  // namespace

bool LibavContainerCopies(const std::string& container, int codecId)
{
    const AVOutputFormat* muxer = av_guess_format(MuxerOf(container), nullptr, nullptr);
    return muxer && avformat_query_codec(muxer, static_cast<AVCodecID>(codecId), FF_COMPLIANCE_NORMAL) == 1;
}

namespace {

class LibavMovieWriter final : public MovieWriter {
public:
    explicit LibavMovieWriter(const MovieOutput& output);

    using MovieWriter::Write;
    PreparedFrame Prepare(const Frame& frame, bool premultiplied) override;
    void Write(PreparedFrame frame) override;
    FileIdentity Finish() override;
    bool AlphaDropped() const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

struct LibavPreparedFrame final : PreparedFrame::Data {
    Picture picture{av_frame_alloc()};
};

}  // namespace

struct LibavMovieWriter::State {
    explicit State(const MovieOutput& movie) : output(movie), file(movie.path) {}

    MovieOutput output;
    FileBeingWritten file;
    // What went wrong in writing the file, for the libav call that saw it
    // fail.
    std::exception_ptr fileFailure;
    std::unique_ptr<AVIOContext, IoFreer> io;
    std::unique_ptr<AVFormatContext, OutputFreer> format;
    CodecContext codec;
    AVStream* video = nullptr;
    Packet packet{av_packet_alloc()};
    int frameWidth = 0, frameHeight = 0;  // every frame's, from the first
    std::int64_t written = 0;
    std::atomic<bool> alphaDropped{false};

    // The copied streams: the input they come from, each input stream's
    // stream in the movie, and the next packet, read but not yet due.
    InputFormat copyInput;
    std::vector<AVStream*> copiedTo;
    Packet copyPacket{av_packet_alloc()};
    bool copyPending = false;
    bool copyEnded = true;

    static int WriteBytes(void* opaque, uint8_t* bytes, int size)
    {
        State& state = *static_cast<State*>(opaque);
        try {
            state.file.Write(bytes, static_cast<std::size_t>(size));
            return size;
        } catch (...) {
            state.fileFailure = std::current_exception();
            return AVERROR(EIO);
        }
    }

    static int64_t SeekBytes(void* opaque, int64_t offset, int whence)
    {
        FileBeingWritten& file = static_cast<State*>(opaque)->file;
        const std::int64_t base = whence == SEEK_CUR   ? static_cast<std::int64_t>(file.Position())
                                  : whence == SEEK_END ? static_cast<std::int64_t>(file.Size())
                                                       : 0;
        if (whence & AVSEEK_SIZE)
            return static_cast<int64_t>(file.Size());
        if (base + offset < 0)
            return AVERROR(EINVAL);
        file.Seek(static_cast<std::uint64_t>(base + offset));
        return base + offset;
    }

    // The failure to report when libav says `code`: the file's own when
    // writing it failed, else libav's words.
    [[noreturn]] void Fail(const std::string& what, int code)
    {
        if (fileFailure)
            std::rethrow_exception(fileFailure);
        throw FileError(output.path, what + ": " + LibavWords(code));
    }

    void Check(int code, const std::string& what)
    {
        if (code < 0)
            Fail(what, code);
    }

    void Start(int width, int height)
    {
        RouteLibavMessages();
        const Encoding encoding = EncodingOf(output.codec);
        const AVPixFmtDescriptor* pixels = av_pix_fmt_desc_get(encoding.pixels);
        const int across = 1 << pixels->log2_chroma_w, down = 1 << pixels->log2_chroma_h;
        if (width % across != 0 || height % down != 0)
            throw FileError(output.path, std::string(WordOf(output.codec).word) + " needs frames whose width" +
                                             (down > 1 ? " and height are" : " is") + " even; the frames are " +
                                             std::to_string(width) + " x " + std::to_string(height));
        const AVOutputFormat* muxer = av_guess_format(MuxerOf(output.container), nullptr, nullptr);
        AVFormatContext* made = nullptr;
        Check(avformat_alloc_output_context2(&made, muxer, nullptr, output.path.c_str()), "cannot write");
        format.reset(made);
        format->flags |= AVFMT_FLAG_BITEXACT;
        unsigned char* buffer = static_cast<unsigned char*>(av_malloc(kOutputBuffer));
        if (!buffer)
            throw std::bad_alloc();
        io.reset(avio_alloc_context(buffer, kOutputBuffer, 1, this, nullptr, WriteBytes, SeekBytes));
        if (!io) {
            av_free(buffer);
            throw std::bad_alloc();
        }
        format->pb = io.get();
        format->flags |= AVFMT_FLAG_CUSTOM_IO;

        const AVCodec* encoder = avcodec_find_encoder_by_name(encoding.encoder);
        if (!encoder)
            throw FileError(output.path, std::string("cannot write: this system's libavcodec has no ") +
                                             encoding.encoder + " encoder");
        codec.reset(avcodec_alloc_context3(encoder));
        if (!codec)
            throw std::bad_alloc();
        codec->width = width;
        codec->height = height;
        codec->pix_fmt = encoding.pixels;
        codec->time_base = {output.rate.den, output.rate.num};
        codec->framerate = {output.rate.num, output.rate.den};
        codec->sample_aspect_ratio = {1, 1};
        codec->color_primaries = AVCOL_PRI_BT709;
        codec->color_trc = AVCOL_TRC_BT709;
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
        codec->chroma_sample_location = output.codec == MovieCodec::H264 ? AVCHROMA_LOC_LEFT : AVCHROMA_LOC_UNSPECIFIED;
        codec->flags |= AV_CODEC_FLAG_BITEXACT;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (*encoding.profile)
            av_dict_set(&options, "profile", encoding.profile, 0);
        if (output.codec == MovieCodec::H264) {
            av_dict_set(&options, "threads", kH264Threads, 0);
            av_dict_set_int(&options, "crf", output.quality, 0);
        } else {
            codec->thread_count = 0;
        }
        const int opened = avcodec_open2(codec.get(), encoder, &options);
        av_dict_free(&options);
        Check(opened, "cannot encode " + std::string(WordOf(output.codec).word));

        video = avformat_new_stream(format.get(), nullptr);
        if (!video)
            throw std::bad_alloc();
        Check(avcodec_parameters_from_context(video->codecpar, codec.get()), "cannot write");
        video->time_base = codec->time_base;
        video->avg_frame_rate = codec->framerate;
        video->r_frame_rate = codec->framerate;
        if (output.timecode)
            av_dict_set(&video->metadata, "timecode", TimecodeText(*output.timecode).c_str(), 0);
        StartCopies();
        Check(avformat_write_header(format.get(), nullptr), "cannot write");
        frameWidth = width;
        frameHeight = height;
    }

    void StartCopies()
    {
        if (output.copyFrom.empty() || output.copiedStreams.empty())
            return;
        int error = 0;
        copyInput = OpenInput(output.copyFrom, error);
        if (!copyInput || avformat_find_stream_info(copyInput.get(), nullptr) < 0)
            throw FileError(output.copyFrom, "cannot read its streams again: " + LibavWords(error));
        copiedTo.assign(copyInput->nb_streams, nullptr);
        for (unsigned index = 0; index < copyInput->nb_streams; ++index)
            copyInput->streams[index]->discard = AVDISCARD_ALL;
        for (const int index : output.copiedStreams) {
            AVStream* from = copyInput->streams[index];
            AVStream* to = avformat_new_stream(format.get(), nullptr);
            if (!to)
                throw std::bad_alloc();
            Check(avcodec_parameters_copy(to->codecpar, from->codecpar), "cannot copy stream " + std::to_string(index));
            to->codecpar->codec_tag = 0;
            to->time_base = from->time_base;
            av_dict_copy(&to->metadata, from->metadata, 0);
            to->disposition = from->disposition;
            from->discard = AVDISCARD_DEFAULT;
            copiedTo[static_cast<std::size_t>(index)] = to;
        }
        copyEnded = false;
    }

    // Writes the copied packets due up to `time` (in `base`), all that
    // are left when there is no limit: they go in step with the video.
    void PumpCopies(const std::optional<std::pair<std::int64_t, AVRational>>& until)
    {
        while (!copyEnded) {
            if (!copyPending) {
                const int read = av_read_frame(copyInput.get(), copyPacket.get());
                if (read == AVERROR_EOF) {
                    copyEnded = true;
                    return;
                }
                if (read < 0)
                    throw FileError(output.copyFrom, "truncated or corrupt: " + LibavWords(read));
                AVStream* to = copiedTo[static_cast<std::size_t>(copyPacket->stream_index)];
                if (!to) {
                    av_packet_unref(copyPacket.get());
                    continue;
                }
                const AVRational from = copyInput->streams[copyPacket->stream_index]->time_base;
                const std::int64_t start = av_rescale_q(output.copyStartMicroseconds, AV_TIME_BASE_Q, from);
                if (copyPacket->pts != AV_NOPTS_VALUE)
                    copyPacket->pts -= start;
                if (copyPacket->dts != AV_NOPTS_VALUE)
                    copyPacket->dts -= start;
                av_packet_rescale_ts(copyPacket.get(), from, to->time_base);
                copyPacket->stream_index = to->index;
                copyPacket->pos = -1;
                copyPending = true;
            }
            const AVRational base = format->streams[copyPacket->stream_index]->time_base;
            if (until && copyPacket->dts != AV_NOPTS_VALUE &&
                av_compare_ts(copyPacket->dts, base, until->first, until->second) > 0)
                return;
            copyPending = false;
            Check(av_interleaved_write_frame(format.get(), copyPacket.get()), "cannot write");
        }
    }

    // Writes the packets the encoder has ready.
    void Drain()
    {
        for (;;) {
            const int received = avcodec_receive_packet(codec.get(), packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return;
            Check(received, "cannot encode");
            if (packet->duration == 0)
                packet->duration = 1;
            av_packet_rescale_ts(packet.get(), codec->time_base, video->time_base);
            packet->stream_index = video->index;
            PumpCopies(std::make_pair(packet->dts, video->time_base));
            Check(av_interleaved_write_frame(format.get(), packet.get()), "cannot write");
        }
    }

    // The pixels the encoder's converter reads: the frame's own, or its
    // colour divided by its alpha (in `scratch`) for a codec with alpha.
    const BMM_Color_64* PixelsFor(const Frame& frame, bool premultiplied, std::vector<BMM_Color_64>& scratch) const
    {
        if (!WordOf(output.codec).alpha || !premultiplied)
            return frame.pixels;
        scratch.resize(frame.PixelCount());
        for (std::size_t i = 0; i < frame.PixelCount(); ++i) {
            const BMM_Color_64& p = frame.pixels[i];
            scratch[i] = p.a == 0 ? BMM_Color_64{0, 0, 0, 0}
                                  : BMM_Color_64{Unpremultiply(p.r, p.a), Unpremultiply(p.g, p.a),
                                                 Unpremultiply(p.b, p.a), p.a};
        }
        return scratch.data();
    }
};

LibavMovieWriter::LibavMovieWriter(const MovieOutput& output) : state_(std::make_unique<State>(output)) {}

bool LibavMovieWriter::AlphaDropped() const { return state_->alphaDropped; }

PreparedFrame LibavMovieWriter::Prepare(const Frame& frame, bool premultiplied)
{
    // Each thread keeps its converter and its scratch frame.
    thread_local PictureScaler scaler;
    thread_local std::vector<BMM_Color_64> scratch;
    State& s = *state_;
    const MovieCodec codec = s.output.codec;
    auto data = std::make_unique<LibavPreparedFrame>();
    AVFrame& picture = *data->picture;
    picture.width = frame.Width();
    picture.height = frame.Height();
    picture.format = EncodingOf(codec).pixels;
    if (av_frame_get_buffer(&picture, 0) < 0)
        throw std::bad_alloc();
    // Only H.264 states where its chroma lies (left of the pair, as its
    // readers assume); the others are read as centred, and so are made.
    const PictureColour colour{AVCOL_SPC_BT709, false,
                               codec == MovieCodec::H264 ? AVCHROMA_LOC_LEFT : AVCHROMA_LOC_UNSPECIFIED};
    // A codec without alpha gets straight colour over black.
    const bool overBlack = !WordOf(codec).alpha && !premultiplied && !frame.IsOpaque();
    if (overBlack)
        s.alphaDropped = true;
    if (!scaler.FromFrame(s.PixelsFor(frame, premultiplied, scratch), colour, overBlack, picture))
        throw FileError(s.output.path, std::string("cannot convert a frame to ") + WordOf(codec).word);
    picture.color_primaries = AVCOL_PRI_BT709;
    picture.color_trc = AVCOL_TRC_BT709;
    picture.colorspace = AVCOL_SPC_BT709;
    picture.color_range = AVCOL_RANGE_MPEG;
    picture.chroma_location = colour.siting;
    return PreparedFrame(std::move(data));
}

void LibavMovieWriter::Write(PreparedFrame frame)
{
    State& s = *state_;
    AVFrame& picture = *static_cast<LibavPreparedFrame&>(ContentsOf(frame)).picture;
    const std::string which = "frame " + std::to_string(s.written) + " of the movie";
    if (!s.format)
        s.Start(picture.width, picture.height);
    if (picture.width != s.frameWidth || picture.height != s.frameHeight)
        throw FileError(s.output.path, which + " is " + std::to_string(picture.width) + " x " +
                                           std::to_string(picture.height) + "; the movie's frames are " +
                                           std::to_string(s.frameWidth) + " x " + std::to_string(s.frameHeight));
    picture.pts = s.written;
    s.Check(avcodec_send_frame(s.codec.get(), &picture), "cannot encode " + which);
    s.Drain();
    ++s.written;
}

FileIdentity LibavMovieWriter::Finish()
{
    State& s = *state_;
    if (!s.format)
        throw FileError(s.output.path, "cannot write a movie of no frames");
    s.Check(avcodec_send_frame(s.codec.get(), nullptr), "cannot encode");
    s.Drain();
    s.PumpCopies(std::nullopt);
    s.Check(av_write_trailer(s.format.get()), "cannot write");
    avio_flush(s.io.get());
    s.Check(s.io->error, "cannot write");
    if (s.fileFailure)
        std::rethrow_exception(s.fileFailure);
    return s.file.Commit();
}

std::unique_ptr<MovieWriter> WriteLibavMovie(const MovieOutput& output)
{
    return std::make_unique<LibavMovieWriter>(output);
}
