#include "movie/MovieSettings.h"

#include <cmath>
#include <cstdio>
#include <numeric>

#include "image/OutputFormat.h"
#include "sequence/ParseInteger.h"

const MovieCodecWord kMovieCodecWords[5] = {
    {"prores4444", MovieCodec::ProRes4444, true, "ProRes 4444, 10-bit 4:4:4 with alpha"},
    {"prores422hq", MovieCodec::ProRes422HQ, false, "ProRes 422 HQ, 10-bit 4:2:2"},
    {"dnxhr_hq", MovieCodec::DnxhrHQ, false, "DNxHR HQ, 8-bit 4:2:2"},
    {"dnxhr_444", MovieCodec::Dnxhr444, false, "DNxHR 444, 10-bit 4:4:4"},
    {"h264", MovieCodec::H264, false, "H.264, 8-bit 4:2:0, for review"},
};

namespace {

// The NTSC rates, N * 1000 / 1001, as their decimal names are written.
struct NtscName {
    const char* text;
    int num;
};
const NtscName kNtscNames[] = {{"23.976", 24000}, {"23.98", 24000}, {"29.97", 30000},
                               {"47.952", 48000}, {"59.94", 60000}, {"119.88", 120000}};

constexpr int kMostFramesPerSecond = 1000;

std::optional<int> Whole(const std::string& text, int most)
{
    const auto value = ParseInteger(text, 0, most);
    if (!value)
        return std::nullopt;
    return static_cast<int>(*value);
}

// Whole frames a second that a timecode counts at `rate`: 24 for 24, 30
// for 30000/1001.
int TimecodeBase(FrameRate rate) { return static_cast<int>(std::lround(rate.PerSecond())); }

// Frames drop-frame counting skips at the start of each minute but every
// tenth: 2 at 30000/1001, 4 at 60000/1001.
int DroppedPerMinute(const Timecode& timecode, FrameRate rate)
{
    return timecode.dropFrame ? TimecodeBase(rate) / 15 : 0;
}

std::int64_t FrameNumberOf(const Timecode& timecode, FrameRate rate)
{
    const std::int64_t base = TimecodeBase(rate);
    const std::int64_t minutes = timecode.hours * 60 + timecode.minutes;
    const std::int64_t drop = DroppedPerMinute(timecode, rate);
    return (minutes * 60 + timecode.seconds) * base + timecode.frames - drop * (minutes - minutes / 10);
}

}  // namespace

std::optional<FrameRate> ParseFrameRate(const std::string& text)
{
    FrameRate rate;
    const std::size_t slash = text.find('/');
    const std::size_t dot = text.find('.');
    if (slash != std::string::npos) {
        const auto num = Whole(text.substr(0, slash), 1000000);
        const auto den = Whole(text.substr(slash + 1), 1000000);
        if (!num || !den || *den == 0)
            return std::nullopt;
        rate = {*num, *den};
    } else if (dot != std::string::npos) {
        for (const NtscName& name : kNtscNames)
            if (text == name.text)
                return FrameRate{name.num, 1001};
        const std::string digits = text.substr(dot + 1);
        const auto whole = Whole(text.substr(0, dot), kMostFramesPerSecond);
        const auto fraction = Whole(digits, 999);
        if (!whole || !fraction || digits.size() > 3)
            return std::nullopt;
        int den = 1;
        for (std::size_t i = 0; i < digits.size(); ++i)
            den *= 10;
        rate = {*whole * den + *fraction, den};
    } else {
        const auto num = Whole(text, kMostFramesPerSecond);
        if (!num)
            return std::nullopt;
        rate = {*num, 1};
    }
    const int common = std::gcd(rate.num, rate.den);
    if (common > 1)
        rate = {rate.num / common, rate.den / common};
    if (rate.num < rate.den || rate.num > kMostFramesPerSecond * static_cast<long long>(rate.den))
        return std::nullopt;
    return rate;
}

std::string FrameRateText(FrameRate rate)
{
    return rate.den == 1 ? std::to_string(rate.num) : std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

std::optional<Timecode> ParseTimecode(const std::string& text)
{
    // HH:MM:SS:FF, or ';' before FF for drop-frame.
    if (text.size() != 11 || text[2] != ':' || text[5] != ':' || (text[8] != ':' && text[8] != ';'))
        return std::nullopt;
    int fields[4] = {};
    for (int i = 0; i < 4; ++i) {
        const char high = text[i * 3], low = text[i * 3 + 1];
        if (!std::isdigit(static_cast<unsigned char>(high)) || !std::isdigit(static_cast<unsigned char>(low)))
            return std::nullopt;
        fields[i] = (high - '0') * 10 + (low - '0');
    }
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59)
        return std::nullopt;
    return Timecode{fields[0], fields[1], fields[2], fields[3], text[8] == ';'};
}

std::string TimecodeText(const Timecode& timecode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", timecode.hours, timecode.minutes, timecode.seconds,
                  timecode.dropFrame ? ';' : ':', timecode.frames);
    return text;
}

std::string TimecodeProblem(const Timecode& timecode, FrameRate rate)
{
    const int base = TimecodeBase(rate);
    if (timecode.frames >= base)
        return "frame " + std::to_string(timecode.frames) + " does not exist at " + FrameRateText(rate) +
               " fps (frames count 00 to " + std::to_string(base - 1) + ")";
    if (timecode.dropFrame) {
        if (rate != FrameRate{30000, 1001} && rate != FrameRate{60000, 1001})
            return "drop-frame timecode (';') counts at 30000/1001 and 60000/1001 fps only, not " + FrameRateText(rate);
        if (timecode.seconds == 0 && timecode.minutes % 10 != 0 && timecode.frames < DroppedPerMinute(timecode, rate))
            return "drop-frame counting skips frames 00 to " + std::to_string(DroppedPerMinute(timecode, rate) - 1) +
                   " at the start of this minute";
    }
    return "";
}

Timecode TimecodeAfter(const Timecode& start, std::int64_t frames, FrameRate rate)
{
    const std::int64_t base = TimecodeBase(rate);
    const std::int64_t drop = DroppedPerMinute(start, rate);
    const std::int64_t perTenMinutes = base * 600 - drop * 9;
    const std::int64_t perDay = 24 * 6 * perTenMinutes;
    std::int64_t number = ((FrameNumberOf(start, rate) + frames) % perDay + perDay) % perDay;
    // Back from a count of frames to the labels drop-frame counting gives.
    if (drop > 0) {
        const std::int64_t tens = number / perTenMinutes;
        const std::int64_t rest = number % perTenMinutes;
        number += drop * 9 * tens + (rest > drop ? drop * ((rest - drop) / (base * 60 - drop)) : 0);
    }
    Timecode result;
    result.dropFrame = start.dropFrame;
    result.frames = static_cast<int>(number % base);
    result.seconds = static_cast<int>(number / base % 60);
    result.minutes = static_cast<int>(number / (base * 60) % 60);
    result.hours = static_cast<int>(number / (base * 3600) % 24);
    return result;
}

const MovieCodecWord& WordOf(MovieCodec codec)
{
    for (const MovieCodecWord& word : kMovieCodecWords)
        if (word.codec == codec)
            return word;
    return kMovieCodecWords[0];
}

std::string MovieContainerOf(const std::string& path)
{
    const std::string extension = ExtensionOf(path);
    return extension == "mov" || extension == "mp4" || extension == "mkv" ? extension : "";
}

MovieCodec DefaultCodecOf(const std::string& container)
{
    return container == "mp4" ? MovieCodec::H264 : MovieCodec::ProRes4444;
}

bool ContainerHolds(const std::string& container, MovieCodec codec)
{
    return container != "mp4" || codec == MovieCodec::H264;
}

std::string AlphaDroppedWarning(MovieCodec codec)
{
    return std::string(WordOf(codec).word) + " holds no alpha; transparent areas are written over black";
}
