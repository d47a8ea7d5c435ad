// Printer: where a command's output goes. With --json a command prints one
// JSON document on standard output and no text; without it, text for people.
// Messages about single items (and warnings) go to standard error either way.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "keel/JSON.h"

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
    void warn(const std::string& message) const {
        std::fprintf(err, "quillfen: %s\n", message.c_str());
    }
    void warning(const std::string& message) const {
        std::fprintf(err, "quillfen: warning: %s\n", message.c_str());
    }
};

}  // namespace quillfen::cli
