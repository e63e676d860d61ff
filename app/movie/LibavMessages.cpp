#include "movie/LibavMessages.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>

namespace {

// The first complaints name the fault; those after them follow from it (a
// damaged stream complains of every block).
constexpr int kMostLines = 3;

std::mutex logMutex;
std::string logged;
int loggedLines = 0;

void Collect(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int prefix = 0;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
    std::string text = line;
    // "[h264 @ 0x55d0c0e0] error while decoding": the address says nothing.
    const std::size_t bracket = text.find("] ");
    if (text.rfind('[', 0) == 0 && bracket != std::string::npos)
        text = text.substr(bracket + 2);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::lock_guard<std::mutex> lock(logMutex);
    if (text.empty() || loggedLines > kMostLines || logged.find(text) != std::string::npos)
        return;
    logged += loggedLines == kMostLines ? "; ..." : (logged.empty() ? "" : "; ") + text;
    ++loggedLines;
}

}  // namespace

void RouteLibavMessages()
{
    static std::once_flag routed;
    std::call_once(routed, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(Collect);
    });
}

std::string TakeLibavLog()
{
    const std::lock_guard<std::mutex> lock(logMutex);
    std::string text;
    text.swap(logged);
    loggedLines = 0;
    return text;
}

std::string LibavWords(int code)
{
    char words[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, words, sizeof words);
    const std::string log = TakeLibavLog();
    const std::string said = words;
    return log.empty() || log.find(said) != std::string::npos ? (log.empty() ? said : log) : said + " (" + log + ")";
}
