#include "outfitter/UpdateVersion.h"

#include <algorithm>
#include <charconv>

namespace outfitter {

std::optional<UpdateVersion> UpdateVersion::parse(std::string_view text) {
    constexpr std::size_t kMaximumLength = 64;
    constexpr std::size_t kMaximumComponents = 8;
    if (text.empty() || text.size() > kMaximumLength) return std::nullopt;
    UpdateVersion version;
    version.text_ = std::string(text);
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (part.empty() || version.components_.size() == kMaximumComponents) return std::nullopt;
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc() || end != part.data() + part.size()) return std::nullopt;
        version.components_.push_back(value);
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return version;
}

std::strong_ordering UpdateVersion::operator<=>(const UpdateVersion& other) const {
    const std::size_t count = std::max(components_.size(), other.components_.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t mine = i < components_.size() ? components_[i] : 0;
        const std::uint64_t theirs = i < other.components_.size() ? other.components_[i] : 0;
        if (mine != theirs) return mine <=> theirs;
    }
    return std::strong_ordering::equal;
}

}  // namespace outfitter
