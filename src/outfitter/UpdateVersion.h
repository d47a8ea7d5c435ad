// UpdateVersion: a release's version as updates compare it: dot-separated
// decimal numbers ("1.3.0", "2.10"). Versions compare component by component,
// numerically, a missing component counting as 0: 1.10 is newer than 1.9, and
// 1.3 equals 1.3.0. Its text also names a release's folder in a per-user
// install, so a version holds digits and single dots only, at most 8
// components and 64 characters, and can never be a path of its own.
//
// Thread safety: a plain value.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace outfitter {

class UpdateVersion {
public:
    // The version written in `text`, or nothing when it is not one (empty,
    // letters, a leading, trailing or doubled dot, a number too large).
    static std::optional<UpdateVersion> parse(std::string_view text);

    const std::string& text() const { return text_; }
    const std::vector<std::uint64_t>& components() const { return components_; }

    std::strong_ordering operator<=>(const UpdateVersion& other) const;
    bool operator==(const UpdateVersion& other) const {
        return (*this <=> other) == std::strong_ordering::equal;
    }

private:
    UpdateVersion() = default;
    std::string text_;
    std::vector<std::uint64_t> components_;
};

}  // namespace outfitter
