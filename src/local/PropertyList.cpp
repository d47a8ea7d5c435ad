#include "local/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>

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

// Whether an XML list stays within the nesting and value bounds. Every "<"
// that starts a tag counts: a start tag as one value and one level, a
// self-closing tag as one value, an end tag closes a level (never below zero,
// so stray end tags cannot hide the levels that follow); declarations,
// comments and processing instructions count for nothing, and their content
// is scanned like the rest. This may overestimate a list's depth and size,
// never underestimate them. One pass: the next ">" is looked up only when the
// scan has passed the previous one.
bool xmlStructureIsBounded(std::string_view bytes) {
    std::size_t depth = 0;
    std::size_t values = 0;
    std::size_t tagEnd = 0;
    bool tagEndFound = false;
    std::size_t position = bytes.find('<');
    while (position != std::string_view::npos && position + 1 < bytes.size()) {
        const std::size_t nextTag = bytes.find('<', position + 1);
        if (!tagEndFound || tagEnd <= position) {
            tagEnd = bytes.find('>', position + 1);
            tagEndFound = true;
            if (tagEnd == std::string_view::npos) break;  // unterminated: the parser refuses it
        }
        const char next = bytes[position + 1];
        if (next == '/') {
            if (depth > 0) --depth;
        } else if (next != '!' && next != '?') {
            if (++values > PropertyList::maximumValueCount) return false;
            // Self-closing only when the "/>" belongs to this tag and not to a later one.
            const bool selfClosing = bytes[tagEnd - 1] == '/' && nextTag > tagEnd;
            if (!selfClosing && ++depth > PropertyList::maximumDepth) return false;
        }
        position = nextTag;
    }
    return true;
}

// Reads binary lists' big-endian unsigned integers of 1 to 8 bytes.
std::optional<std::uint64_t> readUnsigned(std::string_view bytes, std::uint64_t offset,
                                          std::size_t width) {
    if (width == 0 || width > 8 || offset > bytes.size() || bytes.size() - offset < width) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

// The objects a binary list's object table refers to from each object, and a
// walk over them from the top object that measures the depth and the number of
// values the parser would build, stopping at the first bound exceeded. A list
// whose tables cannot be read, or whose references form a cycle, is refused:
// the parser would refuse it too, or loop. So is one holding a UTF-16 string
// with a NUL character, which the parser accepts but cannot hand out.
class BinaryStructureCheck {
public:
    explicit BinaryStructureCheck(std::string_view bytes) : bytes_(bytes) {}

    bool isBounded() {
        constexpr std::size_t trailerSize = 32;
        if (bytes_.size() < 8 + trailerSize) return false;
        const std::uint64_t trailer = bytes_.size() - trailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        const auto objectCount = readUnsigned(bytes_, trailer + 8, 8);
        const auto topObject = readUnsigned(bytes_, trailer + 16, 8);
        const auto tableOffset = readUnsigned(bytes_, trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) {
            return false;
        }
        if (!objectCount || !topObject || !tableOffset || *objectCount == 0 ||
            *objectCount > PropertyList::maximumValueCount || *topObject >= *objectCount ||
            *tableOffset > trailer || *objectCount > (trailer - *tableOffset) / offsetSize_) {
            return false;
        }
        tableOffset_ = *tableOffset;
        states_.assign(static_cast<std::size_t>(*objectCount), State{});
        return walk(static_cast<std::size_t>(*topObject));
    }

private:
    struct State {
        enum class Mark : unsigned char { unvisited, open, done } mark = Mark::unvisited;
        std::size_t depth = 0;   // levels below and including this object
        std::size_t values = 0;  // values built for this object, its own included
    };
    struct Frame {
        std::size_t object;
        std::vector<std::size_t> children;
        std::size_t next = 0;
    };

    // The objects that object `index` refers to (none for a value that is no
    // container); nothing when its entry or its references cannot be read, or
    // when it is a UTF-16 string holding a NUL character.
    std::optional<std::vector<std::size_t>> childrenOf(std::size_t index) const {
        const auto offset = readUnsigned(bytes_, tableOffset_ + index * offsetSize_, offsetSize_);
        if (!offset || *offset >= tableOffset_) return std::nullopt;
        const auto marker = static_cast<unsigned char>(bytes_[*offset]);
        const unsigned type = marker >> 4;
        std::vector<std::size_t> children;
        if (type != 0xA && type != 0xC && type != 0xD && type != 0x6) return children;

        std::uint64_t count = marker & 0x0F;
        std::uint64_t position = *offset + 1;
        if (count == 0x0F) {  // the count follows as an integer object
            if (position >= tableOffset_) return std::nullopt;
            const auto intMarker = static_cast<unsigned char>(bytes_[position]);
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return std::nullopt;
            const std::size_t width = std::size_t{1} << (intMarker & 0x0F);
            const auto extended = readUnsigned(bytes_, position + 1, width);
            if (!extended) return std::nullopt;
            count = *extended;
            position += 1 + width;
        }
        if (type == 0x6) {
            // libplist turns a UTF-16 string into UTF-8 keeping any NUL
            // character, then aborts the process when that string, or that
            // key, is read. No real list holds one: refuse the list.
            for (std::uint64_t unit = position; unit + 1 < bytes_.size() && count > 0;
                 unit += 2, --count) {
                if (bytes_[unit] == '\0' && bytes_[unit + 1] == '\0') return std::nullopt;
            }
            return children;
        }
        if (type == 0xD) {
            if (count > std::numeric_limits<std::uint64_t>::max() / 2) return std::nullopt;
            count *= 2;  // keys, then values
        }
        if (position > tableOffset_ || count > (tableOffset_ - position) / referenceSize_) {
            return std::nullopt;
        }
        children.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto reference =
                readUnsigned(bytes_, position + i * referenceSize_, referenceSize_);
            if (!reference || *reference >= states_.size()) return std::nullopt;
            children.push_back(static_cast<std::size_t>(*reference));
        }
        return children;
    }

    // Depth-first, iteratively, each object measured once however often it
    // is referred to.
    bool walk(std::size_t top) {
        std::vector<Frame> stack;
        auto open = [&](std::size_t object) {
            if (stack.size() >= PropertyList::maximumDepth) return false;
            auto children = childrenOf(object);
            if (!children) return false;
            states_[object].mark = State::Mark::open;
            stack.push_back({object, std::move(*children)});
            return true;
        };
        if (!open(top)) return false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < frame.children.size()) {
                const std::size_t child = frame.children[frame.next++];
                if (states_[child].mark == State::Mark::open) return false;  // a cycle
                if (states_[child].mark == State::Mark::unvisited && !open(child)) return false;
                continue;  // `frame` is stale once a child is opened
            }
            State& state = states_[frame.object];
            std::size_t depth = 0;
            std::size_t values = 1;
            for (std::size_t child : frame.children) {
                depth = std::max(depth, states_[child].depth);
                values += states_[child].values;  // each bounded, so no overflow
                if (values > PropertyList::maximumValueCount) return false;
            }
            state.depth = depth + 1;
            if (state.depth > PropertyList::maximumDepth) return false;
            state.values = values;
            state.mark = State::Mark::done;
            stack.pop_back();
        }
        return true;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::vector<State> states_;
};

}  // namespace

PropertyList PropertyList::fromData(std::string_view bytes) {
    PropertyList list;
    if (bytes.empty() || bytes.size() > maximumFileSize) return list;
    // The same test the parser makes to choose between its two forms.
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const bool bounded = plist_is_binary(bytes.data(), length)
                             ? BinaryStructureCheck(bytes).isBounded()
                             : xmlStructureIsBounded(bytes);
    if (!bounded) return list;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), length, &root);
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
    // Read in place with its length: libplist's copying accessor aborts the
    // process on a string that holds a NUL character, which a binary list can.
    // Such a string is malformed, and would name something else once used in
    // a path, so it counts as absent.
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(item, &length);
    if (!text) return std::nullopt;
    const std::string_view value(text, static_cast<std::size_t>(length));
    if (value.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(value);
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
