// The names of the temporary files a write is made in until it is put in
// place, and how they are told from every other name:
//
//   .veldra-XXXXXXXXXXXXXXXX.tmp       or, with a tag,
//   .veldra-TAG-XXXXXXXXXXXXXXXX.tmp
//
// X: 16 lower-case hexadecimal digits, random for each file. TAG holds
// letters, digits and '_' only. A process that is killed outright has no
// chance to remove its temporary files; when it named them with a tag of
// its own, the process that started it finds them by that tag.
#pragma once

#include <cstdint>
#include <string>

// The temporary name with the digits of `number` and `tag` ("": none).
std::string TemporaryName(std::uint64_t number, const std::string& tag = "");
// True when `name` is a temporary name with exactly `tag` ("": untagged).
bool IsTemporaryName(const std::string& name, const std::string& tag = "");
// `text` as a tag: every character other than a letter, digit or '_'
// becomes '_'.
std::string TemporaryTagFrom(const std::string& text);

// The tag this process names its temporary files with ("" until set); set
// it before any file is made.
void SetTemporaryNameTag(const std::string& tag);
const std::string& TemporaryNameTag();
