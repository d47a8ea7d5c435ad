#include "keel/Strings.h"

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

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t minimum = 0, code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, code = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, code = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, code = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace keel
