// LocalizedString and TL: the text of a localization key. Quillfen ships one
// English table ("Localizable.strings" in the resources, compiled in); an
// unknown key gives the key itself. TL formats printf-style: "%@" takes a
// string, "%d", "%ld" and "%lu" take integers, "%%" is a percent sign;
// positions such as "%1$@" are accepted too.
//
// Thread safety: callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace keel {

using LocalizedArgument = std::variant<std::string, std::int64_t, std::uint64_t>;

std::string LocalizedString(std::string_view key);

std::string formatLocalized(std::string_view format, const std::vector<LocalizedArgument>& args);

namespace detail {
inline LocalizedArgument toLocalizedArgument(std::string s) {
    return s;
}
inline LocalizedArgument toLocalizedArgument(const char* s) {
    return std::string(s);
}
inline LocalizedArgument toLocalizedArgument(std::string_view s) {
    return std::string(s);
}
template <class I>
requires std::is_integral_v<I> LocalizedArgument toLocalizedArgument(I value) {
    if constexpr (std::is_signed_v<I>)
        return static_cast<std::int64_t>(value);
    else
        return static_cast<std::uint64_t>(value);
}
}  // namespace detail

template <class... Args>
std::string TL(std::string_view key, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatLocalized(LocalizedString(key), {});
    } else {
        return formatLocalized(LocalizedString(key),
                               {detail::toLocalizedArgument(std::forward<Args>(args))...});
    }
}

}  // namespace keel
