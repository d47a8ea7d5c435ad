// UUIDs in their canonical text form: 36 characters, hexadecimal digits in
// groups of 8-4-4-4-12 separated by hyphens.
#pragma once

#include <string>
#include <string_view>

namespace keel {

// A new random (version 4) UUID, in upper case.
std::string makeUUIDString();

// Whether `text` is a UUID in canonical text form, in either case. Nothing
// else passes: no braces, no blanks, no path separators.
bool isUUIDString(std::string_view text);

}  // namespace keel
