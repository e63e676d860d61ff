// The movie room's pieces on their own: frame rates and timecodes as the
// command line reads them, the numbering of a stream's frames, and the
// conversions of pictures, each fast path against the plain one.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <random>

#include "movie/DirectConversion.h"
#include "movie/FrameIndex.h"
#include "movie/MovieSettings.h"
#include "movie/PictureConversion.h"

namespace {

AVFrame* PictureOf(AVPixelFormat format, int width, int height)
{
    AVFrame* picture = av_frame_alloc();
    picture->width = width;
    picture->height = height;
    picture->format = format;
    EXPECT_EQ(av_frame_get_buffer(picture, 0), 0);
    return picture;
}

// Random samples of the format's depth in every plane.
void FillRandomly(AVFrame& picture, unsigned seed)
{
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    std::mt19937 random(seed);
    for (int p = 0; p < described->nb_components; ++p) {
        const int rows = p == 1 || p == 2 ? AV_CEIL_RSHIFT(picture.height, described->log2_chroma_h) : picture.height;
        const int columns = p == 1 || p == 2 ? AV_CEIL_RSHIFT(picture.width, described->log2_chroma_w) : picture.width;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                const unsigned sample = random() % (1u << described->comp[p].depth);
                if (described->comp[p].depth > 8)
                    reinterpret_cast<std::uint16_t*>(picture.data[p] +
                                                     y * picture.linesize[p])[x] = static_cast<std::uint16_t>(sample);
                else
                    picture.data[p][y * picture.linesize[p] + x] = static_cast<std::uint8_t>(sample);
            }
    }
}

// The alpha of 9 to 16 bits at (x, y) scaled to 16 bits; opaque for a
// picture without alpha.
unsigned AlphaOf(const AVFrame& picture, int x, int y)
{
    const int depth = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format))->comp[3].depth;
    if (depth == 0)
        return 65535;
    const unsigned most = (1u << depth) - 1;
    const unsigned sample = reinterpret_cast<const std::uint16_t*>(picture.data[3] + y * picture.linesize[3])[x];
    return (sample * 65535u + most / 2) / most;
}

}  // namespace

// Rates as --fps takes them, NTSC names as their exact fractions, and
// nothing else.
TEST(MovieSettingsUnit, FrameRates)
{
    EXPECT_EQ(*ParseFrameRate("24"), (FrameRate{24, 1}));
    EXPECT_EQ(*ParseFrameRate("24000/1001"), (FrameRate{24000, 1001}));
    EXPECT_EQ(*ParseFrameRate("23.976"), (FrameRate{24000, 1001}));
    EXPECT_EQ(*ParseFrameRate("29.97"), (FrameRate{30000, 1001}));
    EXPECT_EQ(*ParseFrameRate("12.5"), (FrameRate{25, 2}));
    EXPECT_EQ(*ParseFrameRate("50/2"), (FrameRate{25, 1}));
    for (const char* bad : {"", "0", "-24", "24/0", "1/2", "1001", "24fps", "2.5.1", "24 ", "1e3"})
        EXPECT_FALSE(ParseFrameRate(bad)) << bad;
    EXPECT_EQ(FrameRateText({30000, 1001}), "30000/1001");
}

// Timecodes count as video counts them: non-drop at whole rates, and
// drop-frame at 29.97 skipping frames 00 and 01 of each minute but every
// tenth, across minutes, hours and the day.
TEST(MovieSettingsUnit, TimecodesCountFrames)
{
    const FrameRate ntsc{30000, 1001};
    const auto after = [](const char* start, std::int64_t frames, FrameRate rate) {
        return TimecodeText(TimecodeAfter(*ParseTimecode(start), frames, rate));
    };
    EXPECT_EQ(after("01:00:00:00", 24, {24, 1}), "01:00:01:00");
    EXPECT_EQ(after("23:59:59:23", 1, {24, 1}), "00:00:00:00");
    EXPECT_EQ(after("00:00:59;29", 1, ntsc), "00:01:00;02");
    EXPECT_EQ(after("00:09:59;29", 1, ntsc), "00:10:00;00");
    EXPECT_EQ(after("00:00:00;00", 17982, ntsc), "00:10:00;00");
    EXPECT_EQ(after("00:01:00;02", -1, ntsc), "00:00:59;29");
    EXPECT_EQ(TimecodeProblem(*ParseTimecode("00:00:00:24"), {24, 1}),
              "frame 24 does not exist at 24 fps (frames "
              "count 00 to 23)");
    EXPECT_NE(TimecodeProblem(*ParseTimecode("00:00:00;00"), {25, 1}), "");
    EXPECT_NE(TimecodeProblem(*ParseTimecode("00:01:00;01"), ntsc), "");
    EXPECT_EQ(TimecodeProblem(*ParseTimecode("00:10:00;00"), ntsc), "");
    for (const char* bad : {"1:00:00:00", "24:00:00:00", "00:60:00:00", "00:00:00", "00-00-00-00"})
        EXPECT_FALSE(ParseTimecode(bad)) << bad;
}

// Packets arrive in decoding order; frames are numbered in presentation
// order. A tick's difference in durations is one rate held in a coarse time
// base; more is a variable rate. Missing or repeated stamps leave the
// frames numbered in decoding order only.
TEST(FrameIndexUnit, NumbersFramesInPresentationOrder)
{
    FrameIndex index;
    for (const std::int64_t time : {0, 3000, 1000, 2000, 6000, 4000, 5000})
        index.Add(time);
    index.Finish();
    ASSERT_TRUE(index.Stamped());
    EXPECT_EQ(index.Count(), 7);
    EXPECT_EQ(index.TimeOf(2), 2000);
    EXPECT_EQ(*index.FrameAt(6000), 6);
    EXPECT_FALSE(index.FrameAt(2500));
    EXPECT_FALSE(index.VariableRate());

    FrameIndex coarse;
    for (const std::int64_t time : {0, 3753, 7507, 11261})
        coarse.Add(time);
    coarse.Finish();
    EXPECT_FALSE(coarse.VariableRate());
    FrameIndex variable;
    for (const std::int64_t time : {0, 40, 80, 200})
        variable.Add(time);
    variable.Finish();
    EXPECT_TRUE(variable.VariableRate());
    EXPECT_EQ(variable.LongestDuration(), 120);

    FrameIndex unstamped, repeated;
    unstamped.Add(0);
    unstamped.Add(std::nullopt);
    repeated.Add(5);
    repeated.Add(5);
    unstamped.Finish();
    repeated.Finish();
    EXPECT_FALSE(unstamped.Stamped());
    EXPECT_FALSE(repeated.Stamped());
}

// 4:4:4 pictures are read through planes, the fast way: the colour must be
// what libswscale writes as packed RGBA, which ffmpeg's own converter
// gives, for every depth, with and without alpha, in both ranges. Alpha is
// the picture's own scaled to 16 bits (libswscale only shifts it), and
// opaque without any.
TEST(PictureConversionUnit, PlanesGiveWhatPackedRgbaGives)
{
    for (const AVPixelFormat format :
         {AV_PIX_FMT_YUVA444P12LE, AV_PIX_FMT_YUV444P10LE, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVA444P16LE}) {
        for (const bool full : {false, true}) {
            AVFrame* picture = PictureOf(format, 37, 19);
            FillRandomly(*picture, 7);
            Frame frame = Frame::Make(37, 19);
            PictureScaler scaler;
            ASSERT_TRUE(scaler.ToFrame(*picture, {AVCOL_SPC_BT709, full, AVCHROMA_LOC_UNSPECIFIED}, frame));

            SwsContext* packed = sws_getContext(37, 19, format, 37, 19, AV_PIX_FMT_RGBA64LE,
                                                SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr,
                                                nullptr);
            const int* table = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(packed, table, full ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
            std::vector<BMM_Color_64> expected(37 * 19);
            uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(expected.data()), nullptr, nullptr, nullptr};
            const int strides[4] = {37 * 8, 0, 0, 0};
            sws_scale(packed, picture->data, picture->linesize, 0, 19, planes, strides);
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const BMM_Color_64& got = frame.pixels[i];
                const int x = static_cast<int>(i % 37), y = static_cast<int>(i / 37);
                ASSERT_TRUE(got.r == expected[i].r && got.g == expected[i].g && got.b == expected[i].b &&
                            got.a == AlphaOf(*picture, x, y))
                    << av_get_pix_fmt_name(format) << (full ? " full" : " limited") << " pixel " << i;
            }
            sws_freeContext(packed);
            av_frame_free(&picture);
        }
    }
}

// Frames are written into YUV by the matrix's arithmetic, rounded to
// nearest: black, white and grey land on the range's ends and middle in
// every depth, colours where the BT.709 formula puts them, and chroma at
// half resolution is the mean of its pair (centred) or 1-2-1 around its
// own sample (left, as H.264 has it).
TEST(PictureConversionUnit, DirectWritingIsTheMatrixArithmetic)
{
    const auto sample = [](const AVFrame& picture, int plane, int x, int y) -> int {
        const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
        if (described->comp[plane].depth > 8)
            return reinterpret_cast<const std::uint16_t*>(picture.data[plane] + y * picture.linesize[plane])[x];
        return picture.data[plane][y * picture.linesize[plane] + x];
    };
    // Black, white, mid grey and pure red, half transparent, across.
    const BMM_Color_64 row[4] = {
        {0, 0, 0, 65535}, {65535, 65535, 65535, 65535}, {32768, 32768, 32768, 65535}, {65535, 0, 0, 32768}};
    std::vector<BMM_Color_64> pixels;
    for (int y = 0; y < 2; ++y)
        pixels.insert(pixels.end(), row, row + 4);
    AVFrame* ten = PictureOf(AV_PIX_FMT_YUVA444P10LE, 4, 2);
    ASSERT_TRUE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, false, AVCHROMA_LOC_UNSPECIFIED, false, *ten));
    EXPECT_EQ(sample(*ten, 0, 0, 0), 64);
    EXPECT_EQ(sample(*ten, 0, 1, 0), 940);
    EXPECT_EQ(sample(*ten, 1, 1, 1), 512);
    EXPECT_EQ(sample(*ten, 2, 2, 0), 512);
    // Red: luma 0.2126, Cr 0.5, Cb -0.2126 / 1.8556.
    EXPECT_EQ(sample(*ten, 0, 3, 0), static_cast<int>(std::lround(64 + 876 * 0.2126)));
    EXPECT_EQ(sample(*ten, 2, 3, 0), 960);
    EXPECT_EQ(sample(*ten, 1, 3, 0), static_cast<int>(std::lround(512 - 896 * 0.2126 / 1.8556)));
    EXPECT_EQ(sample(*ten, 3, 3, 1), 512);

    AVFrame* halved = PictureOf(AV_PIX_FMT_YUV420P, 4, 2);
    ASSERT_TRUE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, false, AVCHROMA_LOC_LEFT, false, *halved));
    // Red's Cr is 240 in 8 bits, the others' 128: left-sited, column 2
    // weighs grey, grey twice and red: 128 + 112 / 4.
    EXPECT_EQ(sample(*halved, 2, 0, 0), 128);
    EXPECT_EQ(sample(*halved, 2, 1, 0), 156);
    AVFrame* centred = PictureOf(AV_PIX_FMT_YUV422P10LE, 4, 2);
    ASSERT_TRUE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, false, AVCHROMA_LOC_UNSPECIFIED, false, *centred));
    EXPECT_EQ(sample(*centred, 2, 1, 1), 736);  // (512 + 960) / 2

    // Over black, half-transparent red is half as bright.
    AVFrame* over = PictureOf(AV_PIX_FMT_YUV444P10LE, 4, 2);
    ASSERT_TRUE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, false, AVCHROMA_LOC_UNSPECIFIED, true, *over));
    EXPECT_EQ(sample(*over, 0, 3, 0), static_cast<int>(std::lround(64 + 876 * 0.2126 * 32768 / 65535)));
    EXPECT_EQ(sample(*over, 0, 1, 0), 940);

    // What it cannot do, it leaves to libswscale.
    AVFrame* rgb = PictureOf(AV_PIX_FMT_GBRP10LE, 4, 2);
    EXPECT_FALSE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, false, AVCHROMA_LOC_UNSPECIFIED, false, *rgb));
    EXPECT_FALSE(DirectFromFrame(pixels.data(), AVCOL_SPC_BT709, true, AVCHROMA_LOC_UNSPECIFIED, false, *ten));
    for (AVFrame* picture : {ten, halved, centred, over, rgb})
        av_frame_free(&picture);
}
