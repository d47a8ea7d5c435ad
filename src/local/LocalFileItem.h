// LocalFileItem: a file or folder on this computer that the user picked to
// keep in the backup, described by its location and the name lists show.
//
// Thread safety: a plain value; copies may be used on any thread. Building
// one never touches the disk and never fails.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

namespace quillfen {

struct LocalFileItem {
    std::filesystem::path fileURL;
    // The last path component without its extension.
    std::string name;

    LocalFileItem() = default;
    explicit LocalFileItem(const std::filesystem::path& url);

    friend bool operator==(const LocalFileItem& a, const LocalFileItem& b) {
        return a.fileURL == b.fileURL;
    }
    // Lists show files by name, in Finder order.
    friend bool operator<(const LocalFileItem& a, const LocalFileItem& b);
};

}  // namespace quillfen

template <>
struct std::hash<quillfen::LocalFileItem> {
    std::size_t operator()(const quillfen::LocalFileItem& item) const noexcept {
        return std::filesystem::hash_value(item.fileURL);
    }
};
