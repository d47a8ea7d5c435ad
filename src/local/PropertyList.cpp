#include "local/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include <plist/plist.h>

namespace quillfen {

namespace {

// Frees strings that libplist hands over to the caller.
struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using OwnedText = std::unique_ptr<char, FreeDeleter>;

// An open file descriptor, closed on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The whole content of a regular file of at most `limit` bytes, or nothing.
// The file is opened without blocking and checked through the open descriptor,
// so a pipe or a device put in place of the file cannot stall the reader, and
// a file that grows past the limit while being read is refused as well.
std::optional<std::string> readBoundedRegularFile(const std::filesystem::path& url,
                                                  std::size_t limit) {
    FileDescriptor fd(::open(url.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > limit) return std::nullopt;

    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (count == 0) break;
        if (bytes.size() + static_cast<std::size_t>(count) > limit) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return bytes;
}

}  // namespace

PropertyList PropertyList::fromData(std::string_view bytes) {
    PropertyList list;
    if (bytes.empty() || bytes.size() > maximumFileSize) return list;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root) list.root_ = std::shared_ptr<void>(root, [](void* node) { plist_free(node); });
    return list;
}

PropertyList PropertyList::fromFile(const std::filesystem::path& url) {
    if (auto bytes = readBoundedRegularFile(url, maximumFileSize)) return fromData(*bytes);
    return {};
}

bool PropertyList::isDictionary() const {
    return root_ && plist_get_node_type(root_.get()) == PLIST_DICT;
}

void* PropertyList::rootDictionaryItem(const std::string& key) const {
    if (!isDictionary()) return nullptr;
    return plist_dict_get_item(root_.get(), key.c_str());
}

std::optional<std::string> PropertyList::string(const std::string& key) const {
    plist_t item = rootDictionaryItem(key);
    if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
    char* raw = nullptr;
    plist_get_string_val(item, &raw);
    OwnedText text(raw);
    if (!text) return std::nullopt;
    return std::string(text.get());
}

std::vector<std::string> PropertyList::dictionaryKeys(const std::string& key) const {
    std::vector<std::string> keys;
    plist_t dictionary = rootDictionaryItem(key);
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT) return keys;

    plist_dict_iter rawIterator = nullptr;
    plist_dict_new_iter(dictionary, &rawIterator);
    std::unique_ptr<void, void (*)(void*)> iterator(rawIterator, std::free);
    if (!iterator) return keys;
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator.get(), &rawKey, &value);
        OwnedText itemKey(rawKey);
        if (!value) break;
        if (itemKey) keys.emplace_back(itemKey.get());
    }
    return keys;
}

}  // namespace quillfen
