#include "cli/WordReader.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "sequence/ParseInteger.h"

void WordReader::Add(const std::string& option, const std::string& shortName, int valueCount, Handler handler,
                     HandOn handOn)
{
    options_[option] = Option{valueCount, std::move(handler), handOn};
    if (!shortName.empty())
        shortNames_[shortName] = option;
}

std::vector<std::string> WordReader::Read(const std::vector<std::string>& words, std::vector<std::string>* rest)
{
    std::vector<std::string> operands;
    handedOn_.clear();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            operands.push_back(word);
            continue;
        }
        if (word == "--") {
            if (rest) {
                rest->assign(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
                break;
            }
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::optional<std::string> attached;
        if (word[1] == '-') {
            const std::size_t equals = word.find('=');
            name = word.substr(0, equals);
            if (equals != std::string::npos)
                attached = word.substr(equals + 1);
        } else {
            const auto longName = shortNames_.find(word.substr(0, 2));
            if (longName == shortNames_.end())
                throw Failure(word.substr(0, 2), "unknown option for '" + command_ + "'", FailureKind::Usage);
            name = longName->second;
            if (word.size() > 2)
                attached = word.substr(2);
        }
        const auto found = options_.find(name);
        if (found == options_.end())
            throw Failure(name, "unknown option for '" + command_ + "'", FailureKind::Usage);
        const Option& option = found->second;
        const bool handOn = option.handOn == HandOn::Yes;
        if (option.valueCount == 0) {
            if (attached)
                throw Failure(name, "takes no value", FailureKind::Usage);
            if (handOn)
                handedOn_.push_back(word);
            option.handler(name, {});
            continue;
        }
        if (option.valueCount == 2) {
            if (attached || i + 2 >= words.size())
                throw Failure(name, "takes two values: " + name + " A B", FailureKind::Usage);
            const std::string first = words[++i], second = words[++i];
            if (first.empty() || second.empty())
                throw Failure(name, "empty value", FailureKind::Value);
            if (handOn)
                handedOn_.insert(handedOn_.end(), {word, first, second});
            option.handler(name, {first, second});
            continue;
        }
        if (!attached && i + 1 >= words.size())
            throw Failure(name, "missing value", FailureKind::Usage);
        if (handOn)
            handedOn_.push_back(word);
        const std::string value = attached ? *attached : words[++i];
        if (handOn && !attached)
            handedOn_.push_back(value);
        if (value.empty())
            throw Failure(name, "empty value", FailureKind::Value);
        option.handler(name, {value});
    }
    return operands;
}

bool AsksForHelp(const std::vector<std::string>& words)
{
    for (const std::string& word : words) {
        if (word == "--")
            return false;
        if (word == "--help" || word == "-h")
            return true;
    }
    return false;
}

void ExpectOperands(const std::string& command, const std::vector<std::string>& operands, std::size_t least,
                    std::size_t most)
{
    if (operands.size() < least || operands.size() > most)
        throw Failure(command, "wrong number of operands (see 'veldra " + command + " --help')", FailureKind::Usage);
}

int IntegerValue(const std::string& option, const std::string& text, int low, int high, const std::string& expected)
{
    const auto value = ParseInteger(text, low, high);
    if (!value)
        throw Failure(option, "bad value '" + text + "' (expected " + expected + ")", FailureKind::Value);
    return static_cast<int>(*value);
}

float DegreesValue(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || errno != 0 || *end != '\0' ||
        !std::isfinite(value) || std::fabs(value) > 1e30)
        throw Failure(option, "bad value '" + text + "' (expected an angle in degrees)", FailureKind::Value);
    return static_cast<float>(value);
}
