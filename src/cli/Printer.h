// Printer: where a command's output goes. With --json a command prints one
// JSON document on standard output and no text; without it, text for people.
// Messages about single items (and warnings) go to standard error either way.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "keel/JSON.h"
#include "keel/Strings.h"

namespace quillfen::cli {

struct Printer {
    std::FILE* out;
    std::FILE* err;
    bool json;

    void text(const std::string& text) const {
        if (!json) std::fputs(text.c_str(), out);
    }
    void document(const nlohmann::json& document) const {
        if (json) std::fputs(keel::prettyJSON(document).c_str(), out);
    }
    // Messages name what the user or a package gave (names, paths), so their
    // control characters are escaped; the lines of a message stay lines.
    void warn(const std::string& message) const {
        std::fprintf(err, "quillfen: %s\n", safeLines(message).c_str());
    }
    void warning(const std::string& message) const {
        std::fprintf(err, "quillfen: warning: %s\n", safeLines(message).c_str());
    }

    static std::string safeLines(const std::string& message) {
        std::string safe;
        std::size_t start = 0;
        for (;;) {
            const auto end = message.find('\n', start);
            safe += keel::terminalSafe(std::string_view(message).substr(start, end - start));
            if (end == std::string::npos) break;
            safe += '\n';
            start = end + 1;
        }
        return safe;
    }
};

}  // namespace quillfen::cli
