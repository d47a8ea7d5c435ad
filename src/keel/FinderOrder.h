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
#include <vector>

namespace keel {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int finderCompare(std::string_view a, std::string_view b);

inline bool finderLess(std::string_view a, std::string_view b) {
    return finderCompare(a, b) < 0;
}

inline void finderSort(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return finderCompare(a, b) < 0; });
}

inline std::vector<std::string> finderSorted(std::vector<std::string> names) {
    finderSort(names);
    return names;
}

// Sorts any sequence by a name taken from each element.
template <class T, class KeyOf>
void finderSort(std::vector<T>& items, KeyOf keyOf) {
    std::sort(items.begin(), items.end(),
              [&](const T& a, const T& b) { return finderCompare(keyOf(a), keyOf(b)) < 0; });
}

template <class T, class KeyOf>
std::vector<T> finderSorted(std::vector<T> items, KeyOf keyOf) {
    finderSort(items, keyOf);
    return items;
}

}  // namespace keel
