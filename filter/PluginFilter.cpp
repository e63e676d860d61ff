#include "filter/PluginFilter.h"

#include "filter/Identity.h"
#include "filter/ModuleTexts.h"

const char* PluginFilter::FilterName() { return ModuleNameText; }
const char* PluginFilter::AuthorText() { return ModuleAuthorText; }
const char* PluginFilter::NoticeText() { return ModuleNoticeText; }
std::uint32_t PluginFilter::VersionTag() { return VELDRA_TAG; }
std::uint32_t PluginFilter::CapabilityFlags() { return VELDRA_CAPABILITY_FLAGS; }
