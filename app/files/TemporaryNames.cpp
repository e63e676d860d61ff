#include "files/TemporaryNames.h"

#include <cctype>

namespace {

const char kStart[] = ".veldra-";
const char kEnd[] = ".tmp";
constexpr std::size_t kDigits = 16;

std::string& Tag()
{
    static std::string tag;
    return tag;
}

std::string PrefixOf(const std::string& tag) { return tag.empty() ? kStart : kStart + tag + "-"; }

}  // namespace

std::string TemporaryName(std::uint64_t number, const std::string& tag)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex(kDigits, '0');
    for (std::size_t at = kDigits; at-- > 0; number >>= 4)
        hex[at] = digits[number & 15];
    return PrefixOf(tag) + hex + kEnd;
}

bool IsTemporaryName(const std::string& name, const std::string& tag)
{
    const std::string prefix = PrefixOf(tag);
    const std::string end = kEnd;
    if (name.size() != prefix.size() + kDigits + end.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - end.size(), end.size(), end) != 0)
        return false;
    for (std::size_t at = prefix.size(); at < prefix.size() + kDigits; ++at) {
        if (!std::isdigit(static_cast<unsigned char>(name[at])) && (name[at] < 'a' || name[at] > 'f'))
            return false;
    }
    return true;
}

std::string TemporaryTagFrom(const std::string& text)
{
    std::string tag = text;
    for (char& c : tag) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            c = '_';
    }
    return tag;
}

void SetTemporaryNameTag(const std::string& tag) { Tag() = tag; }

const std::string& TemporaryNameTag() { return Tag(); }
