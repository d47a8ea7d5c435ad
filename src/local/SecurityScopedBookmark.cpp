#include "local/SecurityScopedBookmark.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen {

namespace {

[[noreturn]] void fail(const char* what, const fs::path& url, std::errc code) {
    throw fs::filesystem_error(what, url, std::make_error_code(code));
}

[[noreturn]] void failWithErrno(const char* what, const fs::path& url) {
    throw fs::filesystem_error(what, url, std::error_code(errno, std::generic_category()));
}

}  // namespace

std::vector<std::uint8_t> createBookmark(const fs::path& url) {
    std::error_code error;
    const fs::path absolute = fs::absolute(url, error);
    if (error) throw fs::filesystem_error("cannot bookmark", url, error);
    struct stat info {};
    if (::stat(absolute.c_str(), &info) != 0) failWithErrno("cannot bookmark", absolute);

    const json bookmark = {
        {"path", absolute.string()},
        {"device", static_cast<std::uint64_t>(info.st_dev)},
        {"inode", static_cast<std::uint64_t>(info.st_ino)},
    };
    std::string text;
    try {
        text = bookmark.dump();
    } catch (const json::exception&) {
        // JSON holds only UTF-8; a path in another encoding cannot be recorded.
        fail("cannot bookmark", absolute, std::errc::illegal_byte_sequence);
    }
    return {text.begin(), text.end()};
}

ResolvedBookmark resolveBookmark(const std::vector<std::uint8_t>& data) {
    const json bookmark = json::parse(data.begin(), data.end(), nullptr, false);
    const auto member = [&](const char* name) -> const json* {
        if (!bookmark.is_object()) return nullptr;
        const auto found = bookmark.find(name);
        return found == bookmark.end() ? nullptr : &*found;
    };
    const json* path = member("path");
    const json* device = member("device");
    const json* inode = member("inode");
    if (!path || !path->is_string() || !device || !device->is_number_unsigned() || !inode ||
        !inode->is_number_unsigned())
        fail("not a bookmark", {}, std::errc::invalid_argument);
    const fs::path url = path->get<std::string>();
    if (!url.is_absolute()) fail("not a bookmark", url, std::errc::invalid_argument);

    struct stat info {};
    if (::stat(url.c_str(), &info) != 0) failWithErrno("cannot resolve bookmark", url);
    const bool sameItem = static_cast<std::uint64_t>(info.st_dev) == device->get<std::uint64_t>() &&
                          static_cast<std::uint64_t>(info.st_ino) == inode->get<std::uint64_t>();
    return {url, !sameItem};
}

bool startAccessingSecurityScopedResource(const fs::path& url) {
    return ::access(url.c_str(), R_OK) == 0;
}

void stopAccessingSecurityScopedResource(const fs::path&) {}

}  // namespace quillfen
