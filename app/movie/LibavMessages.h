// libav's own messages. Its decoders and encoders log from their own
// threads; what they log as errors is collected here, from every thread,
// so that it can become part of veldra's one-line message about the file,
// and nothing else they log reaches the terminal.
#pragma once

#include <string>

// Routes libav's log here; called by every user of libav before its first
// call, any number of times.
void RouteLibavMessages();

// The words of libav's error `code` (a negative AVERROR), followed by the
// error lines libav logged since they were last taken, on one line.
std::string LibavWords(int code);

// The error lines libav logged since they were last taken, on one line;
// "" when there are none.
std::string TakeLibavLog();
