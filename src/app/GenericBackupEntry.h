// GenericBackupEntry: what every row of the viewer offers alike, so that a
// list can filter applications, executables, custom files and the note with
// the same code: a title to match against, and whether the item exists on
// this computer.
#pragma once

#include <concepts>
#include <string>

namespace quillfen {

template <class Entry>
concept GenericBackupEntry = requires(const Entry& entry) {
    { entry.title() } -> std::convertible_to<std::string>;
    { entry.isFound() } -> std::same_as<bool>;
};

}  // namespace quillfen
