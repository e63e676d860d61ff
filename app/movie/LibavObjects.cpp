#include "movie/LibavObjects.h"

#include "movie/LibavMessages.h"

InputFormat OpenInput(const std::string& path, int& error)
{
    RouteLibavMessages();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* format = nullptr;
    // "file:" keeps a name with a colon in it from being read as a protocol.
    error = avformat_open_input(&format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    return InputFormat(error < 0 ? nullptr : format);
}
