#include "keel/Strings.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "keel/FileManager.h"

namespace keel {

std::string removedPrefix(std::string_view text, std::string_view prefix) {
    if (text.starts_with(prefix)) text.remove_prefix(prefix.size());
    return std::string(text);
}

std::string abreviatingTildeInPath(std::string_view path) {
    std::string home = FileManager::noSandboxHomePath();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    if (home.empty() || home == "/") return std::string(path);
    if (path == home) return "~";
    if (path.starts_with(home) && path.size() > home.size() && path[home.size()] == '/')
        return "~" + std::string(path.substr(home.size()));
    return std::string(path);
}

namespace {

// The length of the well-formed UTF-8 sequence at `i` and its code point;
// a length of 0 when the bytes there are no such sequence.
std::pair<std::size_t, char32_t> sequenceAt(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t minimum = 0, code = 0;
    if (byte < 0x80) {
        return {1, byte};
    } else if ((byte & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = byte & 0x07;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return {0, 0};
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0, 0};
    return {length, code};
}

}  // namespace

bool isValidUTF8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        // Eight bytes at a time while they are all ASCII, as most text is.
        std::uint64_t block;
        if (i + sizeof block <= text.size()) {
            std::memcpy(&block, text.data() + i, sizeof block);
            if ((block & 0x8080808080808080ull) == 0) {
                i += sizeof block;
                continue;
            }
        }
        const auto length = sequenceAt(text, i).first;
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string terminalSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    const auto escape = [&safe](unsigned char byte) {
        static constexpr char digits[] = "0123456789abcdef";
        safe += "\\x";
        safe += digits[byte >> 4];
        safe += digits[byte & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto [length, code] = sequenceAt(text, i);
        if (length == 0) {
            escape(static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (code == '\n') {
            safe += "\\n";
        } else if (code == '\t') {
            safe += "\\t";
        } else if (code < 0x20 || code == 0x7F) {
            escape(static_cast<unsigned char>(code));
        } else if (code >= 0x80 && code < 0xA0) {
            // C1 controls, which some terminals obey: escaped byte by byte.
            for (std::size_t k = 0; k < length; ++k)
                escape(static_cast<unsigned char>(text[i + k]));
        } else {
            safe.append(text.substr(i, length));
        }
        i += length;
    }
    return safe;
}

}  // namespace keel
