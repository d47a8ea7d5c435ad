// Finder order: how names are sorted for people. ICU collation for the current
// locale, case-insensitive, with numbers compared by value ("App 2" before
// "App 10"). Ties between names that compare equal (differing only in case,
// say) are broken by code points, so the order is total and stable.
//
// Thread safety: callable from any thread.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace keel {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int finderCompare(std::string_view a, std::string_view b);

// A key whose byte order (std::string's <) is the order of finderCompare:
// sorting by keys collates each name once instead of at every comparison.
std::string finderSortKey(std::string_view name);

inline bool finderLess(std::string_view a, std::string_view b) {
    return finderCompare(a, b) < 0;
}

// Sorts any sequence by a name taken from each element.
template <class T, class KeyOf>
void finderSort(std::vector<T>& items, KeyOf keyOf) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        keys.emplace_back(finderSortKey(keyOf(items[i])), i);
    std::sort(keys.begin(), keys.end());
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

inline void finderSort(std::vector<std::string>& names) {
    finderSort(names, [](const std::string& name) -> const std::string& { return name; });
}

inline std::vector<std::string> finderSorted(std::vector<std::string> names) {
    finderSort(names);
    return names;
}

template <class T, class KeyOf>
std::vector<T> finderSorted(std::vector<T> items, KeyOf keyOf) {
    finderSort(items, keyOf);
    return items;
}

}  // namespace keel
