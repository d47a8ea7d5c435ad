// String and collection conveniences.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace keel {

// `text` without `prefix` at its front; `text` unchanged when it does not start with it.
std::string removedPrefix(std::string_view text, std::string_view prefix);

// Whether `text` is well-formed UTF-8: no stray continuation byte, no
// truncated or overlong sequence, no surrogate, nothing above U+10FFFF.
bool isValidUTF8(std::string_view text);

// `text` as it may be printed on a terminal: control characters (C0, DEL
// and C1) and bytes that are no well-formed UTF-8 written as escapes ("\n",
// "\t", "\x1b"), so a name cannot move the cursor or hide itself.
std::string terminalSafe(std::string_view text);

// `path` with the user's home folder at its front shown as "~".
std::string abreviatingTildeInPath(std::string_view path);

// The element at `index`, or nothing when out of range.
template <class T>
std::optional<T> safeAccess(const std::vector<T>& items, std::size_t index) {
    if (index < items.size()) return items[index];
    return std::nullopt;
}

template <class T, class F>
auto mapToSet(const std::vector<T>& items, F f) {
    std::unordered_set<std::decay_t<decltype(f(items.front()))>> result;
    for (const auto& item : items)
        result.insert(f(item));
    return result;
}

// A dictionary of `items` keyed by `keyOf(item)`. When two items have the same
// key, the later one in `items` wins.
template <class T, class KeyOf>
auto mapEntries(const std::vector<T>& items, KeyOf keyOf) {
    std::unordered_map<std::decay_t<decltype(keyOf(items.front()))>, T> result;
    result.reserve(items.size());
    for (const auto& item : items)
        result.insert_or_assign(keyOf(item), item);
    return result;
}

}  // namespace keel
