#include "render/SettingWords.h"

#include "filter/ParamWords.h"
#include "messages/Failure.h"

namespace {

[[noreturn]] void BadWord(const std::string& option, const std::string& word, const char* expected)
{
    throw Failure(option, "bad value '" + word + "' (expected " + expected + ")", FailureKind::Value);
}

template <typename Value>
struct Choice {
    const char* word;
    Value value;
};

// The value `word` stands for among `choices`; throws Failure naming
// `option` and saying what `expected` lists (in the order users read).
template <typename Value, std::size_t count>
Value ValueOfWord(const std::string& option, const std::string& word, const Choice<Value> (&choices)[count],
                  const char* expected)
{
    for (const Choice<Value>& choice : choices) {
        if (word == choice.word)
            return choice.value;
    }
    BadWord(option, word, expected);
}

template <typename Value, std::size_t count>
const char* WordOfValue(Value value, const Choice<Value> (&choices)[count])
{
    for (const Choice<Value>& choice : choices) {
        if (value == choice.value)
            return choice.word;
    }
    return "";
}

constexpr Choice<AlphaMode> kAlphaChoices[] = {{"filter", AlphaMode::Filter}, {"keep", AlphaMode::Keep}};

constexpr Choice<ChannelFormat> kDepthChoices[] = {{"uint8", ChannelFormat::UInt8},
                                                   {"uint16", ChannelFormat::UInt16},
                                                   {"half", ChannelFormat::Half},
                                                   {"float", ChannelFormat::Float}};

}  // namespace

std::int32_t AxisValue(const std::string& option, const std::string& word)
{
    for (const AxisWord& axis : kAxisWords) {
        if (word == axis.word)
            return axis.code;
    }
    BadWord(option, word, "x, y or z");
}

std::int32_t PivotValue(const std::string& option, const std::string& word)
{
    if (word == "centre")
        return PivotCenter;
    for (const PivotWord& pivot : kPivotWords) {
        if (word == pivot.word)
            return pivot.code;
    }
    BadWord(option, word, "lower, center or upper");
}

AlphaMode AlphaValue(const std::string& option, const std::string& word)
{
    return ValueOfWord(option, word, kAlphaChoices, "keep or filter");
}

ChannelFormat DepthValue(const std::string& option, const std::string& word)
{
    return ValueOfWord(option, word, kDepthChoices, "uint8, uint16, half or float");
}

const char* AlphaWord(AlphaMode mode) { return WordOfValue(mode, kAlphaChoices); }

const char* DepthWord(ChannelFormat depth) { return WordOfValue(depth, kDepthChoices); }
