// JSONLimits: bounded reading of the JSON files that other computers, cloud
// drives or other people may write: the files of a backup package and the
// settings file.
//
// A file larger than `maximumSize` is refused before it is read (its size is
// taken from the file system, and no more than one byte past the bound is ever
// read), and a document nesting deeper than `maximumDepth` is refused before a
// document is built: the check is one pass over the text with a few bytes of
// state. Deep documents are refused because the parser's tree is destroyed
// and printed recursively, so one hostile file of brackets would overflow the
// stack; nothing Quillfen writes nests more than three levels.
//
// Errors: JSONLimitError for a refused size or depth, nlohmann::json's
// parse_error for malformed text, std::filesystem::filesystem_error for a
// file that cannot be read or is not a regular file.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace keel {

struct JSONLimits {
    static constexpr std::size_t defaultMaximumSize = 64 * 1024 * 1024;
    static constexpr std::size_t defaultMaximumDepth = 64;

    // Bytes of text; a file of exactly this size is accepted.
    std::size_t maximumSize = defaultMaximumSize;
    // Levels of arrays and objects; "[]" is one level, "[[]]" two.
    std::size_t maximumDepth = defaultMaximumDepth;
};

class JSONLimitError : public std::runtime_error {
public:
    enum class Limit { size, depth };

    JSONLimitError(Limit limit, std::size_t maximum);

    Limit limit() const noexcept { return limit_; }
    std::size_t maximum() const noexcept { return maximum_; }

private:
    Limit limit_;
    std::size_t maximum_;
};

// Throws JSONLimitError when `text` exceeds one of the limits.
void checkJSONLimits(std::string_view text, const JSONLimits& limits = {});

// Checks the limits, then parses `text` strictly (no comments, nothing after
// the document but white space, no NUL byte anywhere).
nlohmann::json parseBoundedJSON(std::string_view text, const JSONLimits& limits = {});

// The whole content of the regular file at `url`, refused with JSONLimitError
// when it holds more than `maximumSize` bytes, also when it grows past the
// bound while being read. Anything but a regular file (a pipe, a device, a
// folder) is refused with a filesystem_error without waiting on it; a
// symbolic link is followed only when `followLinks` is set.
std::string readBoundedFile(const std::filesystem::path& url,
                            std::size_t maximumSize = JSONLimits::defaultMaximumSize,
                            bool followLinks = true);

}  // namespace keel
