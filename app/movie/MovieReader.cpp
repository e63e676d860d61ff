#include "movie/MovieReader.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <new>

#include "files/WholeFile.h"
#include "image/FrameChecks.h"
#include "messages/Failure.h"
#include "movie/FrameIndex.h"
#include "movie/LibavMessages.h"
#include "movie/LibavMovies.h"
#include "movie/LibavObjects.h"
#include "movie/PictureConversion.h"

namespace {

// libavformat opens still pictures too (PNG, TIFF, EXR...), with its
// image demuxers: those are pictures, for the image library.
bool IsStillPicture(const AVInputFormat* format)
{
    const std::string name = format->name;
    return name == "image2" || (name.size() > 4 && name.compare(name.size() - 4, 4, "pipe") == 0);
}

// The video stream veldra reads: the one libavformat thinks best, never
// a cover picture; -1 when there is none.
int VideoStreamOf(AVFormatContext& format)
{
    const int best = av_find_best_stream(&format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const auto moving = [&](int index) {
        const AVStream* stream = format.streams[index];
        return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
               !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
    };
    if (best >= 0 && moving(best))
        return best;
    for (unsigned index = 0; index < format.nb_streams; ++index)
        if (moving(static_cast<int>(index)))
            return static_cast<int>(index);
    return -1;
}

bool IsTimecodeTrack(const AVStream& stream)
{
    return stream.codecpar->codec_type == AVMEDIA_TYPE_DATA && stream.codecpar->codec_tag == MKTAG('t', 'm', 'c', 'd');
}

std::optional<Timecode> TimecodeOf(const AVFormatContext& format, int video)
{
    const auto from = [](const AVDictionary* metadata) -> std::optional<Timecode> {
        const AVDictionaryEntry* entry = av_dict_get(metadata, "timecode", nullptr, 0);
        return entry ? ParseTimecode(entry->value) : std::nullopt;
    };
    if (auto timecode = from(format.streams[video]->metadata))
        return timecode;
    for (unsigned index = 0; index < format.nb_streams; ++index)
        if (IsTimecodeTrack(*format.streams[index]))
            if (auto timecode = from(format.streams[index]->metadata))
                return timecode;
    return from(format.metadata);
}

std::vector<OtherStream> OtherStreamsOf(const AVFormatContext& format, int video)
{
    std::vector<OtherStream> streams;
    for (unsigned index = 0; index < format.nb_streams; ++index) {
        if (static_cast<int>(index) == video)
            continue;
        const AVStream& stream = *format.streams[index];
        const AVCodecParameters& codec = *stream.codecpar;
        OtherStream other;
        other.index = static_cast<int>(index);
        other.codecId = codec.codec_id;
        std::string details = avcodec_get_name(codec.codec_id);
        std::string kind = "data";
        if (IsTimecodeTrack(stream)) {
            other.kind = OtherStream::Kind::Timecode;
            kind = "timecode";
            details = "tmcd";
        } else if (codec.codec_type == AVMEDIA_TYPE_AUDIO) {
            other.kind = OtherStream::Kind::Audio;
            kind = "audio";
            details += ", " + std::to_string(codec.sample_rate) + " Hz, " +
                       std::to_string(codec.ch_layout.nb_channels) + " channel" +
                       (codec.ch_layout.nb_channels == 1 ? "" : "s");
        } else if (codec.codec_type == AVMEDIA_TYPE_VIDEO) {
            kind = stream.disposition & AV_DISPOSITION_ATTACHED_PIC ? "picture" : "video";
        } else if (codec.codec_type == AVMEDIA_TYPE_SUBTITLE) {
            kind = "subtitle";
        }
        other.words = kind + " stream " + std::to_string(index) + " (" + details + ")";
        streams.push_back(other);
    }
    return streams;
}

FrameRate RateOf(const AVStream& stream)
{
    const AVRational rate = stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0 ? stream.avg_frame_rate
                                                                                           : stream.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return {};
    AVRational reduced{};
    av_reduce(&reduced.num, &reduced.den, rate.num, rate.den, 1000000);
    return {reduced.num, reduced.den};
}

bool IsYuvjFormat(AVPixelFormat format)
{
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

bool IsGrey(const AVPixFmtDescriptor& format)
{
    const int alpha = format.flags & AV_PIX_FMT_FLAG_ALPHA ? 1 : 0;
    return format.nb_components - alpha == 1 && !(format.flags & AV_PIX_FMT_FLAG_PAL);
}

// A stream that does not say its matrix is taken by its size, as players
// take it: BT.709 for HD and larger, BT.601 below.
AVColorSpace MatrixBySize(int width, int height)
{
    return width >= 1280 || height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
}

// How long the movie says its video lasts, in microseconds, where it says
// so: the stream's own duration (MOV), its DURATION tag (Matroska), or
// the whole file's when the video is all it holds; 0 when it does not say.
std::int64_t DeclaredMicroseconds(const AVFormatContext& format, const AVStream& stream)
{
    if (stream.duration > 0)
        return av_rescale_q(stream.duration, stream.time_base, AV_TIME_BASE_Q);
    if (const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "DURATION", nullptr, 0)) {
        int hours = 0, minutes = 0;
        double seconds = 0;
        if (std::sscanf(tag->value, "%d:%d:%lf", &hours, &minutes, &seconds) == 3)
            return static_cast<std::int64_t>(((hours * 60.0 + minutes) * 60.0 + seconds) * AV_TIME_BASE);
    }
    if (format.nb_streams == 1 && format.duration > 0 &&
        format.duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        return format.duration;
    return 0;
}

std::string Milliseconds(std::int64_t duration, AVRational base)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(duration) * 1000.0 * base.num / base.den);
    return text;
}

bool MatrixStated(AVColorSpace matrix) { return matrix != AVCOL_SPC_UNSPECIFIED && matrix != AVCOL_SPC_RESERVED; }

}  // namespace

namespace {

struct LibavDecodedFrame final : DecodedFrame::Data {
    Picture picture;
    PictureColour colour;
    int frame = 0;
    std::string path;
    bool grey = false, hasAlpha = false;

    LoadedImage Convert() const override;
};

class LibavMovieReader final : public MovieReader {
public:
    struct State;
    explicit LibavMovieReader(std::unique_ptr<State> state);
    ~LibavMovieReader() override;

    const MovieInfo& Info() const override;
    LoadedImage Read(int frame) override;
    DecodedFrame Decode(int frame) override;

private:
    std::unique_ptr<State> state_;
};

}  // namespace

LoadedImage LibavDecodedFrame::Convert() const
{
    // Each thread keeps its converter while pictures keep their kind.
    thread_local PictureScaler scaler;
    const AVFrame& got = *picture;
    LoadedImage image;
    image.format = "movie";
    image.frame = Frame::Make(static_cast<std::uint16_t>(got.width), static_cast<std::uint16_t>(got.height));
    if (!scaler.ToFrame(got, colour, image.frame))
        throw FileError(path, "frame " + std::to_string(frame) + ": cannot convert its pictures (" +
                                  av_get_pix_fmt_name(static_cast<AVPixelFormat>(got.format)) + ") to RGB");
    image.grey = grey;
    image.hasAlpha = hasAlpha;
    const int colours = image.grey ? 1 : 3;
    image.header = PictureHeader(got.width, got.height, colours + (image.hasAlpha ? 1 : 0), OIIO::TypeDesc::UINT16);
    image.header.channelnames = image.grey ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
    if (image.hasAlpha)
        image.header.channelnames.push_back("A");
    image.header.alpha_channel = image.hasAlpha ? colours : -1;
    return image;
}

struct LibavMovieReader::State {
    std::mutex reading;
    std::string path;
    MovieInfo info;
    FrameIndex index;
    int stream = -1;

    InputFormat format;
    CodecContext codec;
    Packet packet{av_packet_alloc()};
    Picture picture{av_frame_alloc()};

    // The frame the decoder gives next when the frames are read in order;
    // -1 after a seek, until a frame is found.
    int next = 0;
    // Frames given since the start (the numbering of a stream without
    // time stamps).
    int decoded = 0;
    bool draining = false;
    // After a seek: the time of the key frame it landed on. Frames shown
    // before it are leading frames, which need what came before the key
    // frame and are not taken. `keyLanding` is the earliest of its times
    // (decoding or showing), before which the next seek back must aim.
    bool awaitingKey = false;
    std::optional<std::int64_t> keyTime;
    std::int64_t keyLanding = 0;
    // Seeks made for the frame being read, each from a key frame earlier.
    int seeks = 0;

    FileError Damaged(int frame, const std::string& why) const
    {
        return FileError(path, "truncated or corrupt: frame " + std::to_string(frame) + " " + why);
    }

    // The stream from its start: opened afresh with a new decoder.
    void Restart()
    {
        int error = 0;
        format = OpenInput(path, error);
        if (!format || avformat_find_stream_info(format.get(), nullptr) < 0 ||
            static_cast<int>(format->nb_streams) <= stream)
            throw FileError(path, "cannot be read again: " + LibavWords(error));
        for (unsigned i = 0; i < format->nb_streams; ++i)
            format->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        const AVStream& video = *format->streams[stream];
        const AVCodec* decoder = avcodec_find_decoder(video.codecpar->codec_id);
        if (!decoder)
            throw FileError(
                path, std::string("no decoder for its video (") + avcodec_get_name(video.codecpar->codec_id) + ")");
        codec.reset(avcodec_alloc_context3(decoder));
        if (!codec)
            throw std::bad_alloc();
        int opened = avcodec_parameters_to_context(codec.get(), video.codecpar);
        codec->pkt_timebase = video.time_base;
        codec->thread_count = 0;  // one a core; decoders give the same pictures however many
        codec->flags |= AV_CODEC_FLAG_BITEXACT;
        // Damage in the bitstream is an error, never a picture the decoder
        // patched up.
        codec->err_recognition |= AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER;
        if (opened >= 0)
            opened = avcodec_open2(codec.get(), decoder, nullptr);
        if (opened < 0)
            throw FileError(path, "cannot decode its video: " + LibavWords(opened));
        next = 0;
        decoded = 0;
        draining = false;
        awaitingKey = false;
        keyTime.reset();
    }

    void SeekToTime(std::int64_t time)
    {
        keyLanding = time;
        ++seeks;
        const int sought = av_seek_frame(format.get(), stream, time, AVSEEK_FLAG_BACKWARD);
        if (sought < 0) {
            // A file that cannot seek is read from its start.
            Restart();
            return;
        }
        avcodec_flush_buffers(codec.get());
        draining = false;
        awaitingKey = true;
        keyTime.reset();
        next = -1;
    }

    // Decodes the next picture into `picture`; false at the stream's end.
    bool NextPicture(int wanted)
    {
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), picture.get());
            if (received >= 0)
                return true;
            if (received == AVERROR_EOF)
                return false;
            if (received != AVERROR(EAGAIN))
                throw Damaged(wanted, "cannot be decoded: " + LibavWords(received));
            const int read = av_read_frame(format.get(), packet.get());
            if (read == AVERROR_EOF) {
                avcodec_send_packet(codec.get(), nullptr);
                draining = true;
                continue;
            }
            if (read < 0)
                throw Damaged(wanted, "cannot be read: " + LibavWords(read));
            if (packet->stream_index != stream) {
                av_packet_unref(packet.get());
                continue;
            }
            if (awaitingKey) {
                awaitingKey = false;
                if (packet->pts != AV_NOPTS_VALUE)
                    keyTime = packet->pts;
                for (const std::int64_t time : {packet->pts, packet->dts})
                    if (time != AV_NOPTS_VALUE && time < keyLanding)
                        keyLanding = time;
            }
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                throw Damaged(wanted, "cannot be decoded: " + LibavWords(sent));
        }
    }

    // The colour the picture's numbers mean, as the stream says it.
    PictureColour ColourOf(const AVFrame& frame) const
    {
        PictureColour colour;
        colour.matrix = MatrixStated(frame.colorspace) ? frame.colorspace : codec->colorspace;
        if (!MatrixStated(colour.matrix))
            colour.matrix = MatrixBySize(frame.width, frame.height);
        const AVColorRange range = frame.color_range != AVCOL_RANGE_UNSPECIFIED ? frame.color_range
                                                                                : codec->color_range;
        const AVPixelFormat pixels = static_cast<AVPixelFormat>(frame.format);
        const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(pixels);
        colour.fullRange = range == AVCOL_RANGE_JPEG || (range == AVCOL_RANGE_UNSPECIFIED &&
                                                         (IsYuvjFormat(pixels) || (described && IsGrey(*described))));
        colour.siting = frame.chroma_location != AVCHROMA_LOC_UNSPECIFIED ? frame.chroma_location
                                                                          : codec->chroma_sample_location;
        return colour;
    }

    // The decoded picture of `frame`, checked, for converting later.
    DecodedFrame Take(int frame)
    {
        const AVFrame& got = *picture;
        if (got.decode_error_flags != 0 || (got.flags & AV_FRAME_FLAG_CORRUPT)) {
            const std::string log = TakeLibavLog();
            throw Damaged(frame, "decodes damaged" + (log.empty() ? std::string() : ": " + log));
        }
        CheckFrameShape(path, got.width, got.height, 1, 4);
        auto data = std::make_unique<LibavDecodedFrame>();
        data->picture.reset(av_frame_clone(&got));
        if (!data->picture)
            throw std::bad_alloc();
        data->colour = ColourOf(got);
        data->frame = frame;
        data->path = path;
        data->grey = info.grey;
        data->hasAlpha = info.hasAlpha;
        return DecodedFrame(std::move(data));
    }
};

LibavMovieReader::LibavMovieReader(std::unique_ptr<State> state) : state_(std::move(state)) {}

LibavMovieReader::~LibavMovieReader() = default;

const MovieInfo& LibavMovieReader::Info() const { return state_->info; }

namespace {

// `path` opened as a movie, with the index of the video stream veldra
// reads; null when it is no movie. Throws as MovieReader::Open.
InputFormat OpenMovie(const std::string& path, int& video)
{
    RegularFileSize(path);
    const bool namedMovie = HasMovieExtension(path);
    int error = 0;
    InputFormat format = OpenInput(path, error);
    if (!format) {
        TakeLibavLog();
        if (namedMovie)
            throw FileError(path, "not a movie that can be read: " + LibavWords(error));
        return nullptr;
    }
    if (IsStillPicture(format->iformat)) {
        TakeLibavLog();
        return nullptr;
    }
    const int found = avformat_find_stream_info(format.get(), nullptr);
    if (found < 0)
        throw FileError(path, "not a movie that can be read: " + LibavWords(found));
    video = VideoStreamOf(*format);
    if (video < 0) {
        if (namedMovie)
            throw FileError(path, "holds no video stream");
        return nullptr;
    }
    return format;
}

}  // namespace

bool IsMovie(const std::string& path)
{
    int video = -1;
    return OpenMovie(path, video) != nullptr;
}

std::unique_ptr<MovieReader> OpenLibavMovie(const std::string& path)
{
    int video = -1;
    InputFormat format = OpenMovie(path, video);
    if (!format)
        return nullptr;

    auto state = std::make_unique<LibavMovieReader::State>();
    state->path = path;
    state->stream = video;
    const AVStream& stream = *format->streams[video];
    const AVCodecParameters& codec = *stream.codecpar;
    MovieInfo& info = state->info;
    info.width = codec.width;
    info.height = codec.height;
    CheckFrameShape(path, info.width, info.height, 1, 4);
    CheckFrameMemory(path, info.width, info.height, 4);
    info.rate = RateOf(stream);
    info.timecode = TimecodeOf(*format, video);
    info.otherStreams = OtherStreamsOf(*format, video);
    const AVPixelFormat pixels = static_cast<AVPixelFormat>(codec.format);
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(pixels);
    info.hasAlpha = described && (described->flags & AV_PIX_FMT_FLAG_ALPHA);
    info.grey = described && IsGrey(*described);
    PictureColour colour;
    colour.matrix = MatrixStated(codec.color_space) ? codec.color_space : MatrixBySize(info.width, info.height);
    colour.fullRange = codec.color_range == AVCOL_RANGE_JPEG || IsYuvjFormat(pixels);
    const bool rgb = described && (described->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
    info.description = std::string(avcodec_get_name(codec.codec_id)) + ", " +
                       (described ? described->name : "unknown pixels") +
                       (rgb || info.grey ? "" : ", " + PictureColourWords(colour));
    if (!rgb && !info.grey && !MatrixStated(codec.color_space))
        info.matrixNote = path + ": the stream does not state its colour matrix; taken as " +
                          PictureColourWords(colour).substr(0, PictureColourWords(colour).find(',')) +
                          " by its size (" + std::to_string(info.width) + " x " + std::to_string(info.height) + ")";

    // One pass over the stream's packets numbers its frames; a cut or
    // damaged file is found here, before anything is rendered.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = static_cast<int>(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    Packet packet(av_packet_alloc());
    std::int64_t packets = 0;
    for (;;) {
        const int read = av_read_frame(format.get(), packet.get());
        if (read == AVERROR_EOF)
            break;
        if (read < 0)
            throw FileError(path, "truncated or corrupt after " + std::to_string(state->index.Count()) +
                                      " frames: " + LibavWords(read));
        if (packet->stream_index == video) {
            ++packets;
            if (packet->flags & AV_PKT_FLAG_CORRUPT)
                throw FileError(path, "truncated or corrupt: the data of its frame " +
                                          std::to_string(state->index.Count()) + " is cut short");
            if (!(packet->flags & AV_PKT_FLAG_DISCARD))
                state->index.Add(packet->pts == AV_NOPTS_VALUE ? std::nullopt
                                                               : std::optional<std::int64_t>(packet->pts));
        }
        av_packet_unref(packet.get());
    }
    state->index.Finish();
    info.frameCount = state->index.Count();
    if (info.frameCount == 0)
        throw FileError(path, "truncated or corrupt: its video stream holds no frames");
    if (stream.nb_frames > packets)
        throw FileError(path, "truncated or corrupt: its header counts " + std::to_string(stream.nb_frames) +
                                  " frames, " + std::to_string(packets) + " are there");
    if (state->index.Stamped())
        info.startMicroseconds = av_rescale_q(state->index.TimeOf(0), stream.time_base, AV_TIME_BASE_Q);
    else if (stream.start_time != AV_NOPTS_VALUE)
        info.startMicroseconds = av_rescale_q(stream.start_time, stream.time_base, AV_TIME_BASE_Q);
    // A file cut short where its packets end cleanly (between Matroska
    // blocks, say) reads as a shorter movie: its frames must reach as far
    // as it says it lasts, give or take one and a half frames.
    const std::int64_t declared = DeclaredMicroseconds(*format, stream);
    if (state->index.Stamped() && declared > 0 && info.frameCount > 1) {
        const std::int64_t last = state->index.TimeOf(info.frameCount - 1);
        const std::int64_t frameTime = std::max(state->index.LongestDuration(), std::int64_t{1});
        const std::int64_t reached = av_rescale_q(last - state->index.TimeOf(0) + frameTime, stream.time_base,
                                                  AV_TIME_BASE_Q);
        const std::int64_t slack = av_rescale_q(frameTime * 3 / 2, stream.time_base, AV_TIME_BASE_Q);
        if (declared - reached > slack) {
            char words[96];
            std::snprintf(words, sizeof words, "its header says its video lasts %.3f s; its frames end at %.3f s",
                          static_cast<double>(declared) / AV_TIME_BASE, static_cast<double>(reached) / AV_TIME_BASE);
            throw FileError(path, std::string("truncated or corrupt: ") + words);
        }
    }
    if (!state->index.Stamped())
        info.variableRateNote = path + ": its frames carry no time stamps; they are numbered in the order decoded";
    else if (state->index.VariableRate())
        info.variableRateNote = path + ": the frame rate varies (frames last from " +
                                Milliseconds(state->index.ShortestDuration(), stream.time_base) + " to " +
                                Milliseconds(state->index.LongestDuration(), stream.time_base) +
                                "); frames are numbered one for each frame stored, in the order shown, 0 to " +
                                std::to_string(info.frameCount - 1) + ", not by time";
    format.reset();
    TakeLibavLog();

    state->Restart();
    return std::make_unique<LibavMovieReader>(std::move(state));
}

LoadedImage LibavMovieReader::Read(int frame) { return Decode(frame).Convert(); }

DecodedFrame LibavMovieReader::Decode(int frame)
{
    // Seeks back at most this many key frames before decoding from the start.
    constexpr int kMostSeeks = 4;
    State& s = *state_;
    const std::lock_guard<std::mutex> lock(s.reading);
    const bool stamped = s.index.Stamped();
    s.seeks = 0;
    if (frame != s.next) {
        if (stamped)
            s.SeekToTime(s.index.TimeOf(frame));
        else if (frame < s.decoded)
            s.Restart();
    }
    // Whether the decoder has run from the start since the last seek (or
    // there was none): then a frame it does not give is not there.
    bool fromStart = s.next == 0 && s.seeks == 0;
    for (;;) {
        const bool got = s.NextPicture(frame);
        std::optional<int> at;
        if (got && !stamped) {
            at = s.decoded++;
        } else if (got) {
            const std::int64_t time = s.picture->best_effort_timestamp;
            if (s.keyTime && time < *s.keyTime)
                continue;
            at = s.index.FrameAt(time);
            if (!at)
                continue;
        }
        if (at && *at < frame) {
            s.next = *at + 1;
            continue;
        }
        if (at && *at == frame) {
            DecodedFrame decoded = s.Take(frame);
            s.next = frame + 1;
            av_frame_unref(s.picture.get());
            return decoded;
        }
        // Past the frame, or at the end without it, since a seek: the
        // frame lies before the key frame the seek found, or needs more
        // than it (a leading frame, a decoder that waits for a recovery
        // point or has yet to learn how far its frames are reordered).
        // Back one key frame further, or from the start.
        if (stamped && !fromStart) {
            if (s.seeks >= kMostSeeks || s.keyLanding - 1 < s.index.TimeOf(0)) {
                s.Restart();
                s.seeks = 0;
                fromStart = true;
            } else {
                s.SeekToTime(s.keyLanding - 1);
            }
            continue;
        }
        if (got)
            throw s.Damaged(frame,
                            "cannot be decoded: the decoder gives frame " + std::to_string(*at) + " in its place");
        throw s.Damaged(frame, "cannot be read: the stream ends before it");
    }
}
