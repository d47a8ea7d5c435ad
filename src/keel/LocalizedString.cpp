#include "keel/LocalizedString.h"

#include <cctype>
#include <charconv>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace keel {

namespace resources {
std::string_view localizableStrings();
}

namespace {

// Reads a quoted string starting at `text[i]` (which is '"'), handling the
// escapes \" \\ \n \t; leaves `i` after the closing quote.
std::optional<std::string> readQuoted(std::string_view text, size_t& i) {
    std::string value;
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            ++i;
            return value;
        }
        if (c == '\\' && i + 1 < text.size()) {
            c = text[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
        }
        value.push_back(c);
    }
    return std::nullopt;
}

void skipBlanksAndComments(std::string_view text, size_t& i) {
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text.substr(i, 2) == "/*") {
            const auto end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
        } else if (text.substr(i, 2) == "//") {
            const auto end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else {
            return;
        }
    }
}

// The table in the strings-file form: "Key" = "Text"; with comments.
std::unordered_map<std::string, std::string> parseStrings(std::string_view text) {
    std::unordered_map<std::string, std::string> table;
    size_t i = 0;
    for (;;) {
        skipBlanksAndComments(text, i);
        if (i >= text.size() || text[i] != '"') break;
        auto key = readQuoted(text, i);
        skipBlanksAndComments(text, i);
        if (!key || i >= text.size() || text[i] != '=') break;
        ++i;
        skipBlanksAndComments(text, i);
        if (i >= text.size() || text[i] != '"') break;
        auto value = readQuoted(text, i);
        if (!value) break;
        skipBlanksAndComments(text, i);
        if (i < text.size() && text[i] == ';') ++i;
        table.insert_or_assign(std::move(*key), std::move(*value));
    }
    return table;
}

const std::unordered_map<std::string, std::string>& table() {
    static const auto strings = parseStrings(resources::localizableStrings());
    return strings;
}

std::string argumentText(const LocalizedArgument& argument) {
    if (const auto* s = std::get_if<std::string>(&argument)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&argument)) return std::to_string(*i);
    return std::to_string(std::get<std::uint64_t>(argument));
}

}  // namespace

std::string LocalizedString(std::string_view key) {
    const auto& strings = table();
    if (auto it = strings.find(std::string(key)); it != strings.end()) return it->second;
    return std::string(key);
}

std::string formatLocalized(std::string_view format, const std::vector<LocalizedArgument>& args) {
    std::string out;
    out.reserve(format.size());
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out.push_back(format[i]);
            continue;
        }
        size_t j = i + 1;
        if (format[j] == '%') {
            out.push_back('%');
            i = j;
            continue;
        }
        // An optional position: "%2$@".
        size_t index = next;
        size_t digitsEnd = j;
        while (digitsEnd < format.size() &&
               std::isdigit(static_cast<unsigned char>(format[digitsEnd])))
            ++digitsEnd;
        bool positional = false;
        if (digitsEnd > j && digitsEnd < format.size() && format[digitsEnd] == '$') {
            size_t position = 0;
            std::from_chars(format.data() + j, format.data() + digitsEnd, position);
            if (position >= 1) {
                index = position - 1;
                positional = true;
                j = digitsEnd + 1;
            }
        }
        // Length modifiers, then the conversion.
        while (j < format.size() &&
               (format[j] == 'l' || format[j] == 'h' || format[j] == 'q' || format[j] == 'z'))
            ++j;
        if (j >= format.size() ||
            std::string_view("@dius").find(format[j]) == std::string_view::npos) {
            out.push_back(format[i]);
            continue;
        }
        if (index < args.size()) out += argumentText(args[index]);
        if (!positional) ++next;
        i = j;
    }
    return out;
}

}  // namespace keel
