#include "local/DesktopEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>
#include <vector>

#include "keel/Strings.h"

namespace quillfen {

namespace {

constexpr std::string_view kMainGroup = "Desktop Entry";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmedLeft(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimmedRight(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isLocaleCharacter(char c) {
    return isKeyCharacter(c) || c == '_' || c == '@' || c == '.';
}

// Whether `key` is a key name, optionally followed by "[locale]".
bool isValidKey(std::string_view key) {
    // Loops rather than std::all_of over a function pointer: this runs for
    // every key of hundreds of entries at each start.
    std::size_t i = 0;
    while (i < key.size() && isKeyCharacter(key[i]))
        ++i;
    if (i == 0) return false;
    if (i == key.size()) return true;
    if (key[i] != '[' || !key.ends_with(']') || i + 2 == key.size()) return false;
    for (++i; i + 1 < key.size(); ++i)
        if (!isLocaleCharacter(key[i])) return false;
    return true;
}

bool isValidGroupName(std::string_view name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

// The value of a string key with its escapes resolved; in a list, "\;" stands
// for a ";" inside an element and is kept for `split` to resolve.
std::string unescaped(std::string_view value, bool inList) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (const char next = value[++i]) {
            case 's':
                result += ' ';
                break;
            case 'n':
                result += '\n';
                break;
            case 't':
                result += '\t';
                break;
            case 'r':
                result += '\r';
                break;
            case '\\':
                result += '\\';
                break;
            case ';':
                result += inList ? "\\;" : ";";
                break;
            default:
                // Not an escape: kept as written.
                result += '\\';
                result += next;
        }
    }
    return result;
}

// The elements of a list value: separated by ";", the last one optionally
// followed by a ";", "\;" standing for a ";" inside an element.
std::vector<std::string> split(std::string_view value) {
    const std::string text = unescaped(value, true);
    std::vector<std::string> elements;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ';') {
            current += ';';
            ++i;
        } else if (text[i] == ';') {
            elements.push_back(std::move(current));
            current.clear();
        } else {
            current += text[i];
        }
    }
    if (!current.empty()) elements.push_back(std::move(current));
    return elements;
}

bool isTrue(std::string_view value) {
    return value == "true" || value == "1";
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::parse(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || !keel::isValidUTF8(text)) return std::nullopt;

    std::set<std::string, std::less<>> groups;
    // Of the main group, raw values; views into `text`, which outlives them.
    // An entry holds dozens of translations, of which only a few keys are
    // read: gathered in a vector and sorted once, rather than a tree node
    // made for each.
    using Key = std::pair<std::string_view, std::string_view>;
    std::vector<Key> keys;
    keys.reserve(64);
    std::string_view group;
    bool inMainGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trimmedLeft(line);
        if (line.empty() || line.front() == '#') continue;

        if (line.front() == '[') {
            line = trimmedRight(line);
            if (!line.ends_with(']')) return std::nullopt;
            group = line.substr(1, line.size() - 2);
            if (!isValidGroupName(group)) return std::nullopt;
            if (groups.empty() && group != kMainGroup) return std::nullopt;
            if (!groups.emplace(group).second) return std::nullopt;
            inMainGroup = group == kMainGroup;
            continue;
        }
        if (groups.empty()) return std::nullopt;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::string_view key = trimmedRight(line.substr(0, equals));
        if (!isValidKey(key)) return std::nullopt;
        if (!inMainGroup) continue;
        keys.emplace_back(key, trimmedLeft(line.substr(equals + 1)));
    }
    if (groups.empty()) return std::nullopt;
    const auto byKey = [](const Key& a, const Key& b) { return a.first < b.first; };
    std::sort(keys.begin(), keys.end(), byKey);
    const auto sameKey = [](const Key& a, const Key& b) { return a.first == b.first; };
    if (std::adjacent_find(keys.begin(), keys.end(), sameKey) != keys.end()) return std::nullopt;

    const auto value = [&](std::string_view key) -> const std::string_view* {
        const auto found = std::lower_bound(keys.begin(), keys.end(), Key{key, {}}, byKey);
        return found == keys.end() || found->first != key ? nullptr : &found->second;
    };
    const auto string = [&](std::string_view key) -> std::optional<std::string> {
        if (const std::string_view* raw = value(key)) return unescaped(*raw, false);
        return std::nullopt;
    };

    const std::optional<std::string> type = string("Type");
    const std::optional<std::string> name = string("Name");
    if (!type || !name) return std::nullopt;
    DesktopEntry entry;
    entry.type = *type;
    entry.name = *name;
    entry.icon = string("Icon");
    if (const std::string_view* raw = value("NoDisplay")) entry.noDisplay = isTrue(*raw);
    if (const std::string_view* raw = value("Hidden")) entry.hidden = isTrue(*raw);
    if (const std::string_view* raw = value("OnlyShowIn")) entry.onlyShowIn = split(*raw);
    if (const std::string_view* raw = value("NotShowIn")) entry.notShowIn = split(*raw);
    entry.flatpakID = string("X-Flatpak");
    entry.snapInstanceName = string("X-SnapInstanceName");
    entry.appImageVersion = string("X-AppImage-Version");
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::read(const std::filesystem::path& url) {
    // Without O_NONBLOCK, opening a FIFO that was left under a ".desktop" name
    // would wait for a writer forever.
    const int fd = ::open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::size_t>(info.st_size) <= maximumFileSize) {
        // Room for the size the file has and one byte more, to tell a file
        // that grew meanwhile; it grows up to one byte more than allowed. An
        // entry is a few KiB: a buffer of the largest size allowed, filled
        // for each of hundreds of entries, would cost more than reading them.
        const std::size_t limit = maximumFileSize + 1;
        text.emplace(std::min(static_cast<std::size_t>(info.st_size) + 1, limit), '\0');
        std::size_t length = 0;
        while (length < limit) {
            if (length == text->size()) text->resize(std::min(text->size() * 2, limit));
            const ssize_t n = ::read(fd, text->data() + length, text->size() - length);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) text.reset();
            if (n <= 0) break;
            length += static_cast<std::size_t>(n);
        }
        if (text && length <= maximumFileSize) {
            text->resize(length);
        } else {
            text.reset();
        }
    }
    ::close(fd);
    if (!text) return std::nullopt;
    return parse(*text);
}

bool DesktopEntry::isShownIn(const std::vector<std::string>& desktops) const {
    const auto named = [&](const std::vector<std::string>& list) {
        return std::any_of(desktops.begin(), desktops.end(), [&](const std::string& desktop) {
            return std::find(list.begin(), list.end(), desktop) != list.end();
        });
    };
    if (onlyShowIn && !named(*onlyShowIn)) return false;
    return !named(notShowIn);
}

}  // namespace quillfen
