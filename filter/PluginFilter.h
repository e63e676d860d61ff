// The module's abstract filter: answers the host's information queries from
// the module-wide texts and numbers; rendering and the about box are left to
// the concrete filter.
#pragma once

#include "flt/ImageFilter.h"

class PluginFilter : public ImageFilter {
public:
    PluginFilter() = default;
    ~PluginFilter() override = default;

    const char* FilterName() override;
    const char* AuthorText() override;
    const char* NoticeText() override;
    std::uint32_t VersionTag() override;
    std::uint32_t CapabilityFlags() override;
};
