#include "messages/Warnings.h"

#include <cstdio>

namespace {

std::function<void(const std::string&)>& Handler()
{
    static std::function<void(const std::string&)> handler;
    return handler;
}

}  // namespace

void Warn(const std::string& text)
{
    if (const auto& handler = Handler())
        handler(text);
    else
        std::fprintf(stderr, "veldra: warning: %s\n", text.c_str());
}

void SetWarningHandler(std::function<void(const std::string& text)> handler) { Handler() = std::move(handler); }
