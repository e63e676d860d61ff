#include "farm/RendererProtocol.h"

#include <climits>

#include "farm/RunFrames.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

const char kUnrecorded[] = "cannot record it: ";

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

[[noreturn]] void BadOrder(const std::string& problem) { throw Failure("farm chunk", problem, FailureKind::Usage); }

}  // namespace

std::vector<std::string> EncodeChunkOrder(const ChunkOrder& order)
{
    std::vector<std::string> words = {order.run,
                                      "--attempt",
                                      std::to_string(order.firstAttempt),
                                      "--retries",
                                      std::to_string(order.retries),
                                      "--frames",
                                      FrameList::Of(order.frames).Text(),
                                      "--range",
                                      std::to_string(order.range.first) + "-" + std::to_string(order.range.last),
                                      "--params",
                                      order.params,
                                      "--jobs",
                                      std::to_string(order.jobs),
                                      "--"};
    words.insert(words.end(), order.renderWords.begin(), order.renderWords.end());
    return words;
}

ChunkOrder DecodeChunkOrder(const std::vector<std::string>& words)
{
    ChunkOrder order;
    std::size_t at = 0;
    if (words.empty() || StartsWith(words[0], "-"))
        BadOrder("give the run first");
    order.run = words[at++];
    bool frames = false, range = false, params = false;
    for (; at < words.size() && words[at] != "--"; at += 2) {
        const std::string& option = words[at];
        if (at + 1 >= words.size())
            BadOrder(option + " needs a value");
        const std::string& value = words[at + 1];
        const auto count = [&](long long low, long long high) {
            const auto number = ParseInteger(value, low, high);
            if (!number)
                BadOrder(option + ": bad value '" + value + "'");
            return static_cast<int>(*number);
        };
        if (option == "--attempt") {
            order.firstAttempt = count(1, 1000);
        } else if (option == "--retries") {
            order.retries = count(0, 100);
        } else if (option == "--jobs") {
            order.jobs = count(1, 1024);
        } else if (option == "--frames") {
            order.frames = FramesOfRun(FrameList::Parse(option, value), option);
            frames = true;
        } else if (option == "--range") {
            order.range = FrameList::ParseSpan(option, value);
            range = true;
        } else if (option == "--params") {
            order.params = value;
            params = true;
        } else {
            BadOrder("unknown option " + option);
        }
    }
    if (at >= words.size())
        BadOrder("give the render's words after --");
    if (!frames || !range || !params)
        BadOrder("give --frames, --range and --params");
    order.renderWords.assign(words.begin() + static_cast<std::ptrdiff_t>(at) + 1, words.end());
    return order;
}

std::string StartLine(int frame, int attempt)
{
    return "frame " + std::to_string(frame) + ", attempt " + std::to_string(attempt) + ": rendering";
}

std::string FinishLine(int frame, bool ok, const std::string& message)
{
    return "frame " + std::to_string(frame) + (ok ? ": done" : ": failed: " + message);
}

std::string UnrecordedMessage(const std::string& why) { return kUnrecorded + why; }

std::optional<ProgressEvent> ReadProgressLine(const std::string& line)
{
    const std::string start = "frame ";
    if (!StartsWith(line, start))
        return std::nullopt;
    const std::size_t end = line.find_first_of(",:", start.size());
    if (end == std::string::npos)
        return std::nullopt;
    const auto frame = ParseInteger(line.substr(start.size(), end - start.size()), INT_MIN, INT_MAX);
    if (!frame)
        return std::nullopt;
    ProgressEvent event;
    event.frame = static_cast<int>(*frame);
    const std::string rest = line.substr(end);
    const std::string done = ": done", failed = ": failed: ";
    if (rest == done || StartsWith(rest, failed)) {
        event.finished = true;
        event.ok = rest == done;
        if (!event.ok)
            event.message = rest.substr(failed.size());
        if (StartsWith(event.message, kUnrecorded))
            event.unrecorded = event.message.substr(sizeof kUnrecorded - 1);
        return event;
    }
    const std::string attempt = ", attempt ", rendering = ": rendering";
    if (!StartsWith(rest, attempt) || rest.size() <= attempt.size() + rendering.size() ||
        rest.compare(rest.size() - rendering.size(), rendering.size(), rendering) != 0)
        return std::nullopt;
    const auto number = ParseInteger(rest.substr(attempt.size(), rest.size() - attempt.size() - rendering.size()), 1,
                                     INT_MAX);
    if (!number)
        return std::nullopt;
    event.attempt = static_cast<int>(*number);
    return event;
}

std::optional<std::string> ReadErrorLine(const std::string& line)
{
    const std::string error = "veldra: ", warning = "veldra: warning: ";
    if (!StartsWith(line, error) || StartsWith(line, warning))
        return std::nullopt;
    return line.substr(error.size());
}
