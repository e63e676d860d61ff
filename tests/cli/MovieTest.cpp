// Movies in and out of `veldra render`, checked against ffmpeg's own tools
// as an independent oracle: ffmpeg makes movies of known content and
// converts their frames to 16-bit PNG with the stream's matrix, range and
// chroma siting; ffprobe says what a movie veldra wrote holds; ffmpeg
// decodes it back.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>

#include "CliHarness.h"

namespace {

// A short test pattern of colour bars, a gradient, moving shapes and text:
// sharp saturated edges, where a wrong matrix, range or siting shows.
std::string TestSource(int width, int height, const std::string& seconds)
{
    return "-f lavfi -i testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
           ":rate=24:duration=" + seconds;
}

RunResult Ffmpeg(const std::string& folder, const std::string& arguments)
{
    return RunInShell(folder, "ffmpeg -nostdin -v error -y " + arguments);
}

// The frames name.0000.png, name.0001.png... of `folder`.
int CountFrames(const std::string& folder, const std::string& name)
{
    int count = 0;
    char file[64];
    while (std::snprintf(file, sizeof file, "/%s.%04d.png", name.c_str(), count), Exists(folder + file))
        ++count;
    return count;
}

std::string FrameFile(const std::string& folder, const std::string& name, int frame)
{
    char file[64];
    std::snprintf(file, sizeof file, "/%s.%04d.png", name.c_str(), frame);
    return folder + file;
}

// Converts every frame of `movie` to 16-bit RGBA PNG, name.0000.png on,
// with ffmpeg's converter told the matrix, range and siting (swscale's
// chroma position in 1/256 of a luma sample; -513 its default).
void Decode(const std::string& folder, const std::string& movie, const std::string& matrix, const std::string& range,
            int sitingX, int sitingY, const std::string& name)
{
    const RunResult run = Ffmpeg(
        folder, "-i " + movie + " -vf scale=in_color_matrix=" + matrix + ":in_range=" + range +
                    ":in_h_chr_pos=" + std::to_string(sitingX) + ":in_v_chr_pos=" + std::to_string(sitingY) +
                    ",format=rgba64le -start_number 0 -pix_fmt rgba64be " + name + ".%04d.png");
    ASSERT_EQ(run.exitCode, 0) << run.output;
}

// `picture` with an opaque alpha channel when it has none.
Picture WithAlpha(const Picture& picture)
{
    if (picture.channels == 4)
        return picture;
    Picture rgba{picture.width, picture.height, 4, {}};
    for (std::size_t i = 0; i < picture.values.size(); i += 3) {
        rgba.values.insert(rgba.values.end(), picture.values.begin() + i, picture.values.begin() + i + 3);
        rgba.values.push_back(65535);
    }
    return rgba;
}

// The largest difference of any channel between two 16-bit pictures of
// the same size and channels.
int LargestDifference(const Picture& a, const Picture& b)
{
    if (a.values.size() != b.values.size())
        return 65535;
    int largest = 0;
    for (std::size_t i = 0; i < a.values.size(); ++i)
        largest = std::max(largest, std::abs(int(a.values[i]) - int(b.values[i])));
    return largest;
}

// Codec loss, in 8-bit steps (257 16-bit values): the mean difference of
// the colour and of the BT.709 luma, and the largest colour difference.
// `expected` is RGBA with straight alpha, compared over black.
struct Loss {
    double colourMean = 0, lumaMean = 0, colourMost = 0, alphaMost = 0;
};

Loss LossOf(const Picture& expected, const Picture& decoded, bool keptAlpha)
{
    Loss loss;
    double colour = 0, luma = 0;
    const std::size_t pixels = expected.values.size() / 4;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint16_t* e = &expected.values[i * 4];
        const std::uint16_t* d = &decoded.values[i * 4];
        double ye = 0, yd = 0;
        const double weights[3] = {0.2126, 0.7152, 0.0722};
        for (int c = 0; c < 3; ++c) {
            // Straight colour where alpha is kept, else colour over black.
            const double want = keptAlpha ? e[c] : std::floor(e[c] * double(e[3]) / 65535 + 0.5);
            const double got = d[c];
            const double difference = keptAlpha && e[3] == 0 ? 0 : std::abs(want - got) / 257;
            colour += difference;
            loss.colourMost = std::max(loss.colourMost, difference);
            ye += weights[c] * want;
            yd += weights[c] * got;
        }
        luma += keptAlpha && e[3] == 0 ? 0 : std::abs(ye - yd) / 257;
        if (keptAlpha)
            loss.alphaMost = std::max(loss.alphaMost, std::abs(double(e[3]) - d[3]) / 257);
    }
    loss.colourMean = colour / (pixels * 3);
    loss.lumaMean = luma / pixels;
    return loss;
}

// What ffprobe says of a movie's first video stream (and its tags), and of
// the whole file, as "key=value" lines.
std::map<std::string, std::string> Probe(const std::string& folder, const std::string& movie)
{
    const RunResult run = RunInShell(folder,
                                     "ffprobe -v error -count_frames -select_streams v:0 -show_streams "
                                     "-show_entries format_tags=timecode -of default=nw=1 " +
                                         movie);
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < run.output.size()) {
        const std::size_t end = run.output.find('\n', start);
        const std::string line = run.output.substr(start, end - start);
        start = end == std::string::npos ? run.output.size() : end + 1;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return fields;
}

}  // namespace

// Each frame of a movie is the RGB ffmpeg's converter gives with the
// stream's matrix, range, chroma siting and bit depth, and turns exactly as
// that picture turns from a PNG file: H.264 BT.709 limited range (chroma
// left of the pair), ProRes 422 HQ 10-bit, ProRes 4444 with alpha,
// full-range H.264, BT.601 H.264. ffmpeg and veldra use the same
// converter; the test allows one 8-bit step, as ffmpeg's default path may
// round differently from veldra's exact one on another processor.
TEST(Movies, FramesDecodeAsFfmpegConvertsThem)
{
    const std::string folder = ScratchFolder("movie-decode");
    const std::string tags709 = "setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709";
    struct Case {
        const char* name;
        std::string make;
        const char* matrix;
        const char* range;
        int sitingX, sitingY;
        const char* turn;
    };
    const Case cases[] = {
        {"h264-709.mp4", "-vf " + tags709 + ":range=tv -c:v libx264 -pix_fmt yuv420p", "bt709", "tv", 0, 128,
         "-a y -e 40"},
        {"prores-hq.mov", "-vf " + tags709 + ":range=tv -c:v prores_ks -profile:v hq -pix_fmt yuv422p10le", "bt709",
         "tv", -513, -513, "-a x -p upper -e 30"},
        {"prores-4444.mov",
         "-vf \"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*255/W'," + tags709 +
             "\" -c:v prores_ks "
             "-profile:v 4444 -pix_fmt yuva444p10le",
         "bt709", "tv", -513, -513, "-a z -e 60 --alpha keep"},
        {"h264-full.mp4", "-vf " + tags709 + ":range=pc -c:v libx264 -pix_fmt yuvj420p", "bt709", "pc", 0, 128,
         "-a y -p lower -e 20"},
        {"h264-601.mp4",
         "-vf setparams=color_primaries=smpte170m:color_trc=smpte170m:colorspace=smpte170m:range=tv -c:v libx264 "
         "-pix_fmt yuv420p",
         "bt601", "tv", 0, 128, "-a z -e -45"},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        ASSERT_EQ(Ffmpeg(folder, TestSource(64, 48, "0.25") + " " + c.make + " " + name).exitCode, 0) << name;
        Decode(folder, name, c.matrix, c.range, c.sitingX, c.sitingY, "oracle");
        const int frames = CountFrames(folder, "oracle");
        ASSERT_EQ(frames, 6) << name;
        RunResult run = RunVeldra(folder, "render " + name + " movie.####.png " + c.turn + " -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        run = RunVeldra(folder, "render oracle.####.png png.####.png " + std::string(c.turn) + " -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        ASSERT_EQ(CountFrames(folder, "movie"), frames) << name;
        for (int frame = 0; frame < frames; ++frame) {
            // The oracle's PNG files all have alpha; a movie without it
            // gives RGB where the turn leaves no transparency.
            const Picture fromMovie = WithAlpha(ReadPicture(FrameFile(folder, "movie", frame)));
            const Picture fromPng = ReadPicture(FrameFile(folder, "png", frame));
            EXPECT_LE(LargestDifference(fromMovie, fromPng), 257) << name << " frame " << frame;
        }
        for (const std::string prefix : {"oracle", "movie", "png"})
            for (int frame = 0; frame < frames; ++frame)
                std::remove(FrameFile(folder, prefix, frame).c_str());
    }
}

// Alpha of 8, 10 and 12 bits is scaled to the whole 16 bits: an opaque
// movie with alpha (ProRes 4444, FFV1 4:2:0 and 4:4:4) decodes opaque, so
// it is not said to lose transparency and its alpha kept stays whole.
TEST(Movies, OpaqueAlphaStaysOpaque)
{
    const std::string folder = ScratchFolder("movie-opaque");
    const std::string opaque = " -vf format=rgba,setparams=colorspace=bt709:range=tv ";
    for (const std::string recipe : {"p.mov|-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le",
                                     "f8.mkv|-c:v ffv1 -pix_fmt yuva420p", "f10.mkv|-c:v ffv1 -pix_fmt yuva444p10le"}) {
        const std::string name = recipe.substr(0, recipe.find('|'));
        ASSERT_EQ(
            Ffmpeg(folder, TestSource(64, 48, "0.125") + opaque + recipe.substr(recipe.find('|') + 1) + " " + name)
                .exitCode,
            0)
            << name;
        RunResult run = RunVeldra(folder, "render " + name + " t.####.png -a y -e 10 -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        EXPECT_FALSE(Has(run.output, "transparency")) << name << ": " << run.output;
        run = RunVeldra(folder, "render " + name + " k.####.png -a y -e 10 --alpha keep -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        const Picture kept = ReadPicture(FrameFile(folder, "k", 0));
        ASSERT_EQ(kept.channels, 4) << name;
        EXPECT_EQ(kept.values[(24 * 64 + 32) * 4 + 3], 65535) << name << ": the middle is opaque";
    }
}

// A movie is a sequence: one picture's name is refused, saying how many
// frames there are, unless --frames picks one; the range is the whole
// movie, so that a frame rendered alone gets the angle it gets in the
// whole; --frame and frames beyond the movie are refused by name. A
// stream whose frame rate varies says how its frames are numbered.
TEST(Movies, AMovieIsASequenceNeverOneFrame)
{
    const std::string folder = ScratchFolder("movie-sequence");
    ASSERT_EQ(Ffmpeg(folder, TestSource(48, 32, "0.5") + " -c:v libx264 -pix_fmt yuv420p m.mp4").exitCode, 0);

    RunResult run = RunVeldra(folder, "render m.mp4 out.png -a y -e 30");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run, "out.png: m.mp4 is a movie of 12 frames")) << run.output;
    EXPECT_FALSE(Exists(folder + "/out.png"));

    run = RunVeldra(folder, "render m.mp4 all.####.png -a x -e 70 -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CountFrames(folder, "all"), 12);
    run = RunVeldra(folder, "render m.mp4 five.png -f 5 -a x -e 70 -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadPicture(folder + "/five.png").values, ReadPicture(FrameFile(folder, "all", 5)).values);

    run = RunVeldra(folder, "render m.mp4 one.png --frame 2");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run, "--frame: m.mp4 is a movie of 12 frames (0 to 11); pick frames with --frames"))
        << run.output;
    run = RunVeldra(folder, "render m.mp4 x.####.png -f 10-12");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run, "--frames: m.mp4 is a movie of 12 frames, numbered 0 to 11; it has no frame 12"))
        << run.output;

    run = RunVeldra(folder, "render m.mp4 x.####.png -a z -e 110 -n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 0  0%  0 deg  m.mp4 (frame 0) -> x.0000.png")) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 11  100%  110 deg  m.mp4 (frame 11) -> x.0011.png")) << run.output;
    // Options for movie outputs are refused for pictures.
    run = RunVeldra(folder, "render m.mp4 x.####.png --codec h264");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run, "--codec: applies to movie outputs")) << run.output;

    // Frames whose times jump half-way: numbered one for each frame stored,
    // saying so.
    ASSERT_EQ(Ffmpeg(folder, TestSource(48, 32, "0.5") +
                                 " -vf \"setpts='if(lt(N,6),N,N*2)/24/TB'\" -fps_mode passthrough -c:v libx264 "
                                 "-pix_fmt yuv420p vfr.mkv")
                  .exitCode,
              0);
    run = RunVeldra(folder, "render vfr.mkv vfr.####.png -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CountFrames(folder, "vfr"), 12);
    EXPECT_TRUE(Has(run.output,
                    "vfr.mkv: the frame rate varies (frames last from 41.0 ms to 292.0 ms); frames are "
                    "numbered one for each frame stored, in the order shown, 0 to 11, not by time\n"))
        << run.output;
}

// Frames picked from a movie whose key frames are far apart, whose
// B-frames are shown before the frames they follow in the file and whose
// groups of pictures are open, are found by seeking and equal the same
// frames of the whole movie: in MP4, Matroska and MPEG-TS, and in AVI,
// whose frames carry no time stamps and are counted from the start.
TEST(Movies, FramesFoundBySeekingEqualThoseReadInOrder)
{
    const std::string folder = ScratchFolder("movie-seek");
    const std::string h264 = "-c:v libx264 -pix_fmt yuv420p -g 7 -bf 3 -x264-params open_gop=1:keyint_min=7:scenecut=0";
    const std::vector<std::string> recipes = {"gop.mp4|" + h264, "gop.mkv|" + h264, "gop.ts|" + h264,
                                              "gop.avi|-c:v mpeg4 -g 7 -bf 2"};
    for (const std::string& recipe : recipes) {
        const std::string name = recipe.substr(0, recipe.find('|'));
        ASSERT_EQ(
            Ffmpeg(folder, TestSource(48, 32, "2") + " " + recipe.substr(recipe.find('|') + 1) + " " + name).exitCode,
            0)
            << name;
        RunResult run = RunVeldra(folder, "render " + name + " all.####.png -a x -e 40 -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        ASSERT_EQ(CountFrames(folder, "all"), 48) << name;
        run = RunVeldra(folder, "render " + name + " some.####.png -a x -e 40 -q -f 5-9,13,20-22,40-47x3 -j 2");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        for (const int frame : {5, 6, 7, 8, 9, 13, 20, 21, 22, 40, 43, 46})
            EXPECT_EQ(FileBytes(FrameFile(folder, "some", frame)), FileBytes(FrameFile(folder, "all", frame)))
                << name << " frame " << frame;
        for (int frame = 0; frame < 48; ++frame) {
            std::remove(FrameFile(folder, "all", frame).c_str());
            std::remove(FrameFile(folder, "some", frame).c_str());
        }
    }
}

// Movies veldra writes say what they hold (codec, profile, frame count,
// rate, timecode, Rec.709 tags and range) and decode back to the turned
// frames within the codec's loss, in 8-bit steps. ProRes 4444 and DNxHR 444
// keep 10-bit 4:4:4: about half a step on average (measured 0.5 at most,
// part of it ffmpeg's own converter reading 10 and 12 bits into 16 by its
// fixed-point arithmetic) and a few at most (measured 6), allowed 1 and 8.
// The 4:2:2 and 4:2:0 codecs keep chroma at half resolution, which at the
// test pattern's sharp colour edges moves single pixels far (so no largest
// difference is checked), and lose a little to quantisation: the mean
// luma stays within 2 steps (measured 1.3) and the mean colour within 6
// (measured 4.4), where a wrong matrix or range gives 9 to 16.
TEST(Movies, WrittenMoviesSayWhatTheyHoldAndDecodeBack)
{
    const std::string folder = ScratchFolder("movie-write");
    ASSERT_EQ(
        Ffmpeg(folder, TestSource(256, 144, "0.25") +
                           " -vf \"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='255-Y',"
                           "setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv\" -c:v prores_ks "
                           "-profile:v 4444 -pix_fmt yuva444p10le -timecode 01:00:10:00 in.mov")
            .exitCode,
        0);
    const std::string turn = " -a y -e 40 --alpha keep -q";
    ASSERT_EQ(RunVeldra(folder, "render in.mov turned.####.png" + turn).exitCode, 0);

    struct Case {
        const char* output;
        const char* options;
        const char* codec;
        const char* profile;
        const char* pixels;
        const char* rate;
        const char* timecode;
        double colourMean, lumaMean, colourMost;  // in 8-bit steps; 0: not checked
    };
    const Case cases[] = {
        {"p4444.mov", "", "prores", "4444", "yuva444p12le", "24/1", "01:00:10:00", 1, 1, 8},
        {"p4444.mkv", "--fps 25 --timecode 10:00:00:00", "prores", "4444", "yuva444p12le", "25/1", "", 1, 1, 8},
        {"phq.mov", "--codec prores422hq --fps 30000/1001 --timecode '00:59:59;28'", "prores", "HQ", "yuv422p10le",
         "30000/1001", "00:59:59;28", 6, 2, 0},
        {"dhq.mov", "--codec dnxhr_hq", "dnxhd", "DNXHR HQ", "yuv422p", "24/1", "01:00:10:00", 6, 2, 0},
        {"d444.mov", "--codec dnxhr_444", "dnxhd", "DNXHR 444", "yuv444p10le", "24/1", "01:00:10:00", 1, 1, 8},
        {"h.mp4", "--quality 18", "h264", "High", "yuv420p", "24/1", "01:00:10:00", 6, 2, 0},
    };
    for (const Case& c : cases) {
        const std::string output = c.output;
        RunResult run = RunVeldra(folder, "render in.mov " + output + " " + c.options + turn);
        ASSERT_EQ(run.exitCode, 0) << output << ": " << run.output;
        auto probe = Probe(folder, output);
        EXPECT_EQ(probe["codec_name"], c.codec) << output;
        EXPECT_EQ(probe["profile"], c.profile) << output;
        EXPECT_EQ(probe["pix_fmt"], c.pixels) << output;
        EXPECT_EQ(probe["nb_read_frames"], "6") << output;
        EXPECT_EQ(probe["r_frame_rate"], c.rate) << output;
        for (const char* tag : {"color_primaries", "color_transfer", "color_space"})
            EXPECT_EQ(probe[tag], "bt709") << output << " " << tag;
        EXPECT_EQ(probe["color_range"], "tv") << output;
        const std::string timecode = probe.count("TAG:timecode") ? probe["TAG:timecode"] : probe["TAG:TIMECODE"];
        EXPECT_EQ(timecode, *c.timecode ? c.timecode : "10:00:00:00") << output;

        const bool h264 = std::string(c.codec) == "h264";
        Decode(folder, output, "bt709", "tv", h264 ? 0 : -513, h264 ? 128 : -513, "back");
        ASSERT_EQ(CountFrames(folder, "back"), 6) << output;
        const bool keptAlpha = std::string(c.pixels).rfind("yuva", 0) == 0;
        for (int frame = 0; frame < 6; ++frame) {
            const Loss loss = LossOf(ReadPicture(FrameFile(folder, "turned", frame)),
                                     ReadPicture(FrameFile(folder, "back", frame)), keptAlpha);
            EXPECT_LE(loss.colourMean, c.colourMean) << output << " frame " << frame;
            EXPECT_LE(loss.lumaMean, c.lumaMean) << output << " frame " << frame;
            if (c.colourMost > 0) {
                EXPECT_LE(loss.colourMost, c.colourMost) << output << " frame " << frame;
            }
            EXPECT_LE(loss.alphaMost, 1.0) << output << " frame " << frame;
            std::remove(FrameFile(folder, "back", frame).c_str());
        }
    }
}

// The same frames and settings give the same bytes, however many frames
// are turned at once and whenever: no time of writing, no encoder that
// depends on the machine's cores.
TEST(Movies, SameFramesSameBytes)
{
    const std::string folder = ScratchFolder("movie-bytes");
    ASSERT_EQ(Ffmpeg(folder, TestSource(64, 48, "0.5") + " -c:v libx264 -pix_fmt yuv420p in.mp4").exitCode, 0);
    for (const std::string output : {"a.mov", "a.mp4", "a.mkv"}) {
        std::string first;
        for (const char* jobs : {"1", "2", "3"}) {
            const RunResult run = RunVeldra(folder, "render in.mp4 " + output + " -a x -e 50 -q -j " + jobs);
            ASSERT_EQ(run.exitCode, 0) << run.output;
            if (first.empty()) {
                first = FileBytes(folder + "/" + output);
            } else {
                EXPECT_EQ(FileBytes(folder + "/" + output), first) << output << " with -j " << jobs;
            }
        }
    }
}

// A movie appears only when it is complete: a full disk, a failed rename,
// a damaged frame half-way or a signal while it is being written leave the
// earlier file as it was and no temporary file, and exit non-zero. A movie
// cut short is refused, naming it, before anything is written.
TEST(Movies, FailuresLeaveNoPartialMovie)
{
    const std::string folder = ScratchFolder("movie-faults");
    ASSERT_EQ(Ffmpeg(folder, TestSource(160, 90, "1") + " -c:v prores_ks -movflags +faststart in.mov").exitCode, 0);
    const std::string earlier = "an earlier render";
    const auto unchanged = [&](const std::string& what) {
        EXPECT_EQ(FileBytes(folder + "/out.mov"), earlier) << what;
        EXPECT_TRUE(Leftovers(folder).empty()) << what;
    };
    WriteBytes(folder + "/out.mov", earlier);

    RunResult run = RunInShell(folder, "VELDRA_TEST_DISK_BYTES=100000 \"$VELDRA\" render in.mov out.mov -q");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "out.mov: cannot write: No space left on device (no movie written)")) << run.output;
    unchanged("full disk");

    run = RunInShell(folder, "VELDRA_TEST_FAIL=rename \"$VELDRA\" render in.mov out.mov -q");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "out.mov: cannot write: Input/output error")) << run.output;
    unchanged("failed rename");

    // Bytes flipped in the middle of the file: a frame there decodes
    // damaged.
    std::string damaged = FileBytes(folder + "/in.mov");
    for (std::size_t i = 0; i < 400; ++i)
        damaged[damaged.size() / 2 + i * 13] ^= 0x5a;
    WriteBytes(folder + "/damaged.mov", damaged);
    run = RunVeldra(folder, "render damaged.mov out.mov -q");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.output, "damaged.mov: truncated or corrupt: frame ")) << run.output;
    EXPECT_TRUE(Has(run.output, "(no movie written)")) << run.output;
    unchanged("damaged input");

    const std::string whole = FileBytes(folder + "/in.mov");
    WriteBytes(folder + "/cut.mov", whole.substr(0, whole.size() * 6 / 10));
    run = RunVeldra(folder, "render cut.mov cut.####.png -q");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "cut.mov: truncated or corrupt: the data of its frame ")) << run.output;
    EXPECT_EQ(FolderEntries(folder).size(), 4u) << "nothing written";

    // The movie held back just before it is put in place: a signal there,
    // or earlier while frames are encoded, ends the run without it.
    run = RunInShell(folder,
                     "VELDRA_TEST_STALL_WRITE=600 VELDRA_TEST_STALL_ONLY=.mov \"$VELDRA\" render in.mov out.mov -q & " +
                         kWaitForTemporary + "kill -TERM $!; wait $!");
    // Before every frame is encoded the run stops (1); after, the grace
    // period ends it by the signal.
    EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 128 + SIGTERM) << run.output;
    EXPECT_TRUE(Has(run.output, "interrupted")) << run.output;
    unchanged("signal");
}

// A movie into a movie keeps its audio, copied as it is; into pictures,
// or when only some frames are rendered, the audio is named in a warning.
TEST(Movies, AudioIsCopiedOrNamed)
{
    const std::string folder = ScratchFolder("movie-audio");
    ASSERT_EQ(Ffmpeg(folder, TestSource(64, 48, "1") +
                                 " -f lavfi -i sine=frequency=440:duration=1 -c:v libx264 -pix_fmt yuv420p -c:a aac "
                                 "-shortest in.mp4")
                  .exitCode,
              0);
    RunResult run = RunVeldra(folder, "render in.mp4 out.mp4 -a z -e 10 -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(Has(run.output, "audio")) << run.output;
    const std::string audioOf = " -map 0:a -c copy -f md5 -";
    const RunResult in = Ffmpeg(folder, "-i in.mp4" + audioOf), out = Ffmpeg(folder, "-i out.mp4" + audioOf);
    ASSERT_EQ(in.exitCode, 0) << in.output;
    EXPECT_TRUE(Has(in.output, "MD5=")) << in.output;
    EXPECT_EQ(out.output, in.output) << "the audio packets are the input's";

    run = RunVeldra(folder, "render in.mp4 out.####.png -f 0-1 -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output,
                    "veldra: warning: in.mp4: audio stream 1 (aac, 44100 Hz, 1 channel) is not written: picture "
                    "files hold no sound"))
        << run.output;
    run = RunVeldra(folder, "render in.mp4 part.mp4 -f 0-9 -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "is not written: only some of the frames are rendered")) << run.output;
}
