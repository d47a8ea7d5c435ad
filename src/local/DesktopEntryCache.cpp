#include "local/DesktopEntryCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "keel/FileDescriptor.h"
#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

constexpr std::string_view kHeader = "Quillfen desktop entries 2\n";
// Hundreds of entries of a few KiB each; far more is no cache of ours.
constexpr std::size_t kMaximumCacheSize = 64u << 20;

// The whole file at `url`, when it is a regular file of at most
// kMaximumCacheSize bytes.
std::optional<std::string> readBounded(const fs::path& url) {
    keel::FileDescriptor file(::open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid()) return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > kMaximumCacheSize)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t length = 0;
    while (length < text.size()) {
        const ssize_t n = ::read(file.get(), text.data() + length, text.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    // Grown while being read: a writer is at work; this run goes without.
    if (length > static_cast<std::size_t>(info.st_size)) return std::nullopt;
    text.resize(length);
    return text;
}

// Reads one unsigned decimal number and the one space or line break after it.
template <class Number>
bool readNumber(std::string_view& rest, Number& value, char separator) {
    std::uintmax_t parsed = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parsed);
    if (error != std::errc() || end == rest.data() || end == rest.data() + rest.size() ||
        *end != separator)
        return false;
    value = static_cast<Number>(parsed);
    if (static_cast<std::uintmax_t>(value) != parsed) return false;
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()) + 1);
    return true;
}

void appendNumber(std::string& out, std::uintmax_t value, char separator) {
    out += std::to_string(value);
    out += separator;
}

// The body of a record (see the header).
void appendString(std::string& out, std::string_view value) {
    appendNumber(out, value.size(), ':');
    out += value;
}

void appendOptional(std::string& out, const std::optional<std::string>& value) {
    if (value) {
        appendString(out, *value);
    } else {
        out += '-';
    }
}

void appendList(std::string& out, const std::vector<std::string>& values) {
    appendNumber(out, values.size(), '*');
    for (const std::string& value : values)
        appendString(out, value);
}

std::string bodyOf(const DesktopEntry& entry) {
    std::string out;
    appendString(out, entry.type);
    appendString(out, entry.name);
    appendOptional(out, entry.icon);
    out += entry.noDisplay ? '1' : '0';
    out += entry.hidden ? '1' : '0';
    if (entry.onlyShowIn) {
        appendList(out, *entry.onlyShowIn);
    } else {
        out += '-';
    }
    appendList(out, entry.notShowIn);
    appendOptional(out, entry.flatpakID);
    appendOptional(out, entry.snapInstanceName);
    appendOptional(out, entry.appImageVersion);
    return out;
}

// Reads what bodyOf wrote, consuming `body` exactly; false for anything else.
class BodyReader {
public:
    explicit BodyReader(std::string_view body) : rest_(body) {}

    bool string(std::string& value) {
        std::size_t length = 0;
        if (!readNumber(rest_, length, ':') || rest_.size() < length) return false;
        value.assign(rest_.substr(0, length));
        rest_.remove_prefix(length);
        return true;
    }
    bool optional(std::optional<std::string>& value) {
        if (absent()) return true;
        return string(value.emplace());
    }
    bool flag(bool& value) {
        if (rest_.empty() || (rest_[0] != '0' && rest_[0] != '1')) return false;
        value = rest_[0] == '1';
        rest_.remove_prefix(1);
        return true;
    }
    bool list(std::vector<std::string>& values) {
        std::size_t count = 0;
        // Each string takes two bytes at the least: no count beyond that.
        if (!readNumber(rest_, count, '*') || count > rest_.size() / 2) return false;
        values.resize(count);
        for (std::string& value : values) {
            if (!string(value)) return false;
        }
        return true;
    }
    bool optionalList(std::optional<std::vector<std::string>>& values) {
        if (absent()) return true;
        return list(values.emplace());
    }
    bool done() const { return rest_.empty(); }

private:
    bool absent() {
        if (!rest_.starts_with('-')) return false;
        rest_.remove_prefix(1);
        return true;
    }
    std::string_view rest_;
};

std::optional<DesktopEntry> entryOf(std::string_view body) {
    DesktopEntry entry;
    BodyReader reader(body);
    if (!reader.string(entry.type) || !reader.string(entry.name) || !reader.optional(entry.icon) ||
        !reader.flag(entry.noDisplay) || !reader.flag(entry.hidden) ||
        !reader.optionalList(entry.onlyShowIn) || !reader.list(entry.notShowIn) ||
        !reader.optional(entry.flatpakID) || !reader.optional(entry.snapInstanceName) ||
        !reader.optional(entry.appImageVersion) || !reader.done())
        return std::nullopt;
    return entry;
}

}  // namespace

DesktopEntryCache::DesktopEntryCache(fs::path url) : url_(std::move(url)) {
    load();
}

std::optional<fs::path> DesktopEntryCache::defaultURL() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/')
        return fs::path(cache) / "Quillfen" / "Desktop Entries";
    const fs::path home = keel::FileManager::noSandboxHomeURL();
    if (home.empty() || home == "/") return std::nullopt;
    return home / ".cache" / "Quillfen" / "Desktop Entries";
}

DesktopEntryCache::Record DesktopEntryCache::recordOf(const struct stat& info, DesktopEntry entry) {
    return Record{info.st_dev,  info.st_ino,  info.st_size,
                  info.st_mtim, info.st_ctim, std::move(entry)};
}

bool DesktopEntryCache::matches(const Record& record, const struct stat& info) {
    return record.device == info.st_dev && record.inode == info.st_ino &&
           record.size == info.st_size && record.modified.tv_sec == info.st_mtim.tv_sec &&
           record.modified.tv_nsec == info.st_mtim.tv_nsec &&
           record.changed.tv_sec == info.st_ctim.tv_sec &&
           record.changed.tv_nsec == info.st_ctim.tv_nsec;
}

void DesktopEntryCache::load() {
    const std::optional<std::string> stored = readBounded(url_);
    if (!stored || !std::string_view(*stored).starts_with(kHeader)) return;
    std::string_view rest = std::string_view(*stored).substr(kHeader.size());
    Records records;
    while (!rest.empty()) {
        std::size_t pathLength = 0;
        std::size_t bodyLength = 0;
        Record record;
        std::uintmax_t modifiedSeconds = 0, modifiedNanoseconds = 0;
        std::uintmax_t changedSeconds = 0, changedNanoseconds = 0;
        if (!readNumber(rest, pathLength, ' ') || !readNumber(rest, record.device, ' ') ||
            !readNumber(rest, record.inode, ' ') || !readNumber(rest, record.size, ' ') ||
            !readNumber(rest, modifiedSeconds, ' ') ||
            !readNumber(rest, modifiedNanoseconds, ' ') || !readNumber(rest, changedSeconds, ' ') ||
            !readNumber(rest, changedNanoseconds, ' ') || !readNumber(rest, bodyLength, '\n'))
            return;
        // The path, the body and the closing line break must all be there.
        if (pathLength == 0 || rest.size() < pathLength ||
            rest.size() - pathLength < bodyLength + 1 || rest[pathLength + bodyLength] != '\n' ||
            modifiedNanoseconds >= 1000000000u || changedNanoseconds >= 1000000000u)
            return;
        record.modified = {static_cast<time_t>(modifiedSeconds),
                           static_cast<long>(modifiedNanoseconds)};
        record.changed = {static_cast<time_t>(changedSeconds),
                          static_cast<long>(changedNanoseconds)};
        std::string path(rest.substr(0, pathLength));
        std::optional<DesktopEntry> entry = entryOf(rest.substr(pathLength, bodyLength));
        if (!entry) return;
        record.entry = std::move(*entry);
        rest.remove_prefix(pathLength + bodyLength + 1);
        records.insert_or_assign(std::move(path), std::move(record));
    }
    records_ = std::move(records);
}

std::optional<DesktopEntry> DesktopEntryCache::entry(std::string_view path,
                                                     const struct stat& info) const {
    const auto found = records_.find(path);
    if (found == records_.end() || !matches(found->second, info)) return std::nullopt;
    return found->second.entry;
}

void DesktopEntryCache::remember(std::string_view path, const struct stat& info,
                                 DesktopEntry entry) {
    Record record = recordOf(info, std::move(entry));
    std::lock_guard lock(mutex_);
    fresh_.insert_or_assign(std::string(path), std::move(record));
}

void DesktopEntryCache::save(const std::vector<std::string_view>& paths) {
    std::lock_guard lock(mutex_);
    // A cached file no longer found leaves a record that none of `paths` names.
    std::size_t kept = 0;
    for (const std::string_view path : paths)
        kept += records_.contains(path) ? 1 : 0;
    if (fresh_.empty() && kept == records_.size()) return;

    std::string out(kHeader);
    const auto append = [&out](std::string_view path, const Record& record) {
        appendNumber(out, path.size(), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.device), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.inode), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.size), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.modified.tv_sec), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.modified.tv_nsec), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.changed.tv_sec), ' ');
        appendNumber(out, static_cast<std::uintmax_t>(record.changed.tv_nsec), ' ');
        const std::string body = bodyOf(record.entry);
        appendNumber(out, body.size(), '\n');
        out += path;
        out += body;
        out += '\n';
    };
    for (const std::string_view path : paths) {
        if (const auto fresh = fresh_.find(path); fresh != fresh_.end()) {
            append(path, fresh->second);
        } else if (const auto old = records_.find(path); old != records_.end()) {
            append(path, old->second);
        }
    }
    if (out.size() > kMaximumCacheSize) return;
    try {
        std::error_code ignored;
        fs::create_directories(url_.parent_path(), ignored);
        keel::FileManager::writeAtomically(url_, out);
    } catch (const std::exception&) {
        // Only an aid: the next run reads the entries themselves.
    }
}

}  // namespace quillfen
