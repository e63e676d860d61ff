#include "cli/RenderOptions.h"

#include <climits>
#include <cstdint>
#include <map>

#include "filter/ParamWords.h"
#include "filter/RotationParams.h"
#include "messages/Failure.h"

namespace {

template <typename Word, std::size_t count>
std::map<std::string, std::int32_t> CodesByWord(const Word (&words)[count])
{
    std::map<std::string, std::int32_t> codes;
    for (const Word& word : words)
        codes[word.word] = word.code;
    return codes;
}

// The pivot words, and "centre" for "center".
std::map<std::string, std::int32_t> PivotCodesByWord()
{
    std::map<std::string, std::int32_t> codes = CodesByWord(kPivotWords);
    codes["centre"] = PivotCenter;
    return codes;
}

}  // namespace

std::int32_t AxisValue(const std::string& option, const std::string& word)
{
    static const std::map<std::string, std::int32_t> axes = CodesByWord(kAxisWords);
    return ChoiceValue(option, word, axes, "x, y or z");
}

std::int32_t PivotValue(const std::string& option, const std::string& word)
{
    static const std::map<std::string, std::int32_t> pivots = PivotCodesByWord();
    return ChoiceValue(option, word, pivots, "lower, center or upper");
}

AlphaMode AlphaValue(const std::string& option, const std::string& word)
{
    static const std::map<std::string, AlphaMode> alphaModes = {{"filter", AlphaMode::Filter},
                                                                {"keep", AlphaMode::Keep}};
    return ChoiceValue(option, word, alphaModes, "keep or filter");
}

ChannelFormat DepthValue(const std::string& option, const std::string& word)
{
    static const std::map<std::string, ChannelFormat> depths = {{"uint8", ChannelFormat::UInt8},
                                                                {"uint16", ChannelFormat::UInt16},
                                                                {"half", ChannelFormat::Half},
                                                                {"float", ChannelFormat::Float}};
    return ChoiceValue(option, word, depths, "uint8, uint16, half or float");
}

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

void TakeRenderOperands(const std::string& command, const std::vector<std::string>& operands, RenderRequest& render)
{
    ExpectOperands(command, operands, 2, 2);
    render.input = operands[0];
    render.output = operands[1];
    if (render.frames && render.frame)
        throw Failure("--frames and --frame", "give one or the other", FailureKind::Usage);
}
