// PropertyList: a parsed property list (XML or binary), read for the few
// values the application needs from it: the strings of its top-level
// dictionary and the keys of a nested dictionary.
//
// Errors: reading never throws and never fails loudly. A missing, unreadable,
// oversized, special (a pipe, a device) or malformed file gives an empty list,
// and every query on an empty list, or on a value of another type than asked
// for, answers "absent".
//
// Thread safety: a value may be read from several threads at once; it is not
// meant to be shared while being assigned.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

class PropertyList {
public:
    // Larger files are not parsed: no bundle description comes near this, and
    // a bound keeps a hostile or broken file from exhausting memory.
    static constexpr std::size_t maximumFileSize = 16 * 1024 * 1024;
    // Lists nested deeper, or that would unfold into more values, are not
    // parsed either. The parser recurses once per level and copies a binary
    // list's shared values once per reference, so a small hostile file could
    // otherwise overflow the stack or unfold into billions of values. Bundle
    // descriptions nest a handful of levels and hold a few thousand values.
    static constexpr std::size_t maximumDepth = 256;
    static constexpr std::size_t maximumValueCount = 1024 * 1024;

    PropertyList() = default;

    // Parses `bytes`, which may be in the XML or the binary form.
    static PropertyList fromData(std::string_view bytes);
    // Reads and parses the regular file at `url`.
    static PropertyList fromFile(const std::filesystem::path& url);

    // Whether anything was parsed, and whether its root is a dictionary.
    bool isEmpty() const { return !root_; }
    bool isDictionary() const;

    // The string stored under `key` in the root dictionary.
    std::optional<std::string> string(const std::string& key) const;

    // The keys of the dictionary stored under `key` in the root dictionary, in
    // the order the list holds them; empty when that value is no dictionary.
    std::vector<std::string> dictionaryKeys(const std::string& key) const;

private:
    // The parsed tree, freed with the last copy; immutable once parsed.
    std::shared_ptr<void> root_;

    void* rootDictionaryItem(const std::string& key) const;
};

}  // namespace quillfen
