#include "cli/RenderOptions.h"

#include <climits>
#include <cstdint>
#include <map>

#include "messages/Failure.h"
#include "render/SettingWords.h"

namespace {

using HandOn = WordReader::HandOn;

}  // namespace

int JobsValue(const std::string& option, const std::string& word)
{
    return IntegerValue(option, word, 1, 1024, "a number of jobs from 1 to 1024");
}

MovieCodec CodecValue(const std::string& option, const std::string& word)
{
    static const std::map<std::string, MovieCodec> codecs = [] {
        std::map<std::string, MovieCodec> byWord;
        for (const MovieCodecWord& codec : kMovieCodecWords)
            byWord[codec.word] = codec.codec;
        return byWord;
    }();
    return ChoiceValue(option, word, codecs, "prores4444, prores422hq, dnxhr_hq, dnxhr_444 or h264");
}

FrameRate RateValue(const std::string& option, const std::string& word)
{
    const auto rate = ParseFrameRate(word);
    if (!rate)
        throw Failure(option,
                      "bad value '" + word + "' (expected frames a second from 1 to 1000: 24, 25, 24000/1001, 29.97)",
                      FailureKind::Value);
    return *rate;
}

Timecode TimecodeValue(const std::string& option, const std::string& word)
{
    const auto timecode = ParseTimecode(word);
    if (!timecode)
        throw Failure(option, "bad value '" + word + "' (expected HH:MM:SS:FF, or HH:MM:SS;FF for drop-frame)",
                      FailureKind::Value);
    return *timecode;
}

int QualityValue(const std::string& option, const std::string& word)
{
    return IntegerValue(option, word, 0, 51, "an H.264 quality from 0 (best) to 51");
}

int FrameValue(const std::string& option, const std::string& word)
{
    return IntegerValue(option, word, INT_MIN, INT_MAX, "a frame number");
}

void ReadModuleOption(WordReader& reader, Arguments& arguments)
{
    reader.Value(
        "--module", "", [&](const std::string&, const std::string& v) { arguments.modulePath = v; }, HandOn::No);
}

void ReadRunOptions(WordReader& reader, Arguments& arguments)
{
    ReadModuleOption(reader, arguments);
    reader.Value(
        "--jobs", "-j", [&](const std::string& o, const std::string& v) { arguments.jobs = JobsValue(o, v); },
        HandOn::No);
    reader.Flag("--quiet", "-q", arguments.quiet, HandOn::No);
}

void ReadAlphaOption(WordReader& reader, RenderRequest& render)
{
    reader.Value("--alpha", "", [&](const std::string& o, const std::string& v) { render.alpha = AlphaValue(o, v); });
}

void ReadRenderOptions(WordReader& reader, Arguments& arguments)
{
    RenderRequest& render = arguments.render;
    ReadRunOptions(reader, arguments);
    ReadAlphaOption(reader, render);
    reader.Value(
        "--frames", "-f", [&](const std::string& o, const std::string& v) { render.frames = FrameList::Parse(o, v); },
        HandOn::No);
    reader.Value(
        "--frame", "", [&](const std::string& o, const std::string& v) { render.frame = FrameValue(o, v); },
        HandOn::No);
    reader.Value(
        "--range", "-r", [&](const std::string& o, const std::string& v) { render.range = FrameList::ParseSpan(o, v); },
        HandOn::No);
    reader.Value("--axis", "-a",
                 [&](const std::string& o, const std::string& v) { render.settings.axis = AxisValue(o, v); });
    reader.Value("--pivot", "-p",
                 [&](const std::string& o, const std::string& v) { render.settings.pivot = PivotValue(o, v); });
    reader.Value("--start", "-s",
                 [&](const std::string& o, const std::string& v) { render.settings.startAngle = DegreesValue(o, v); });
    reader.Value("--end", "-e",
                 [&](const std::string& o, const std::string& v) { render.settings.endAngle = DegreesValue(o, v); });
    reader.Value(
        "--params", "", [&](const std::string&, const std::string& v) { render.paramsFile = v; }, HandOn::No);
    reader.Value(
        "--save-params", "", [&](const std::string&, const std::string& v) { arguments.saveParamsFile = v; },
        HandOn::No);
    reader.Value("--compression", "", [&](const std::string& o, const std::string& v) {
        render.compression = IntegerValue(o, v, 0, 9, "a PNG compression level from 0 to 9");
    });
    reader.Value("--depth", "-d", [&](const std::string& o, const std::string& v) { render.depth = DepthValue(o, v); });
    reader.Flag("--dry-run", "-n", arguments.dryRun, HandOn::No);
    reader.Pair("--colorconvert", [&](const std::string&, const std::string& from, const std::string& to) {
        render.colourFrom = from;
        render.colourTo = to;
    });
    reader.Value("--colorconfig", "", [&](const std::string&, const std::string& v) { render.colourConfig = v; });
    ReadMovieOptions(reader, render.movie);
}

void ReadMovieOptions(WordReader& reader, MovieRequest& movie)
{
    reader.Value("--codec", "", [&](const std::string& o, const std::string& v) { movie.codec = CodecValue(o, v); });
    reader.Value("--fps", "", [&](const std::string& o, const std::string& v) { movie.fps = RateValue(o, v); });
    reader.Value("--timecode", "",
                 [&](const std::string& o, const std::string& v) { movie.timecode = TimecodeValue(o, v); });
    reader.Value("--quality", "",
                 [&](const std::string& o, const std::string& v) { movie.quality = QualityValue(o, v); });
}

void TakeRenderOperands(const std::string& command, const std::vector<std::string>& operands, RenderRequest& render)
{
    ExpectOperands(command, operands, 2, 2);
    render.input = operands[0];
    render.output = operands[1];
    if (render.frames && render.frame)
        throw Failure("--frames and --frame", "give one or the other", FailureKind::Usage);
}
