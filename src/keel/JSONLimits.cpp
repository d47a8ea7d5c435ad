#include "keel/JSONLimits.h"

#include "keel/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace fs = std::filesystem;

namespace keel {

namespace {

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t mebibyte = 1024 * 1024;
    if (bytes >= mebibyte && bytes % mebibyte == 0)
        return std::to_string(bytes / mebibyte) + " MiB";
    return std::to_string(bytes) + " bytes";
}

std::string describe(JSONLimitError::Limit limit, std::size_t maximum) {
    switch (limit) {
        case JSONLimitError::Limit::size:
            return "the file is larger than " + sizeText(maximum) + ", the most that is read";
        case JSONLimitError::Limit::depth:
            return "the document nests arrays and objects deeper than " + std::to_string(maximum) +
                   " levels";
    }
    return "the document exceeds a limit";
}

}  // namespace

JSONLimitError::JSONLimitError(Limit limit, std::size_t maximum)
    : std::runtime_error(describe(limit, maximum)), limit_(limit), maximum_(maximum) {}

void checkJSONLimits(std::string_view text, const JSONLimits& limits) {
    if (text.size() > limits.maximumSize) {
        throw JSONLimitError(JSONLimitError::Limit::size, limits.maximumSize);
    }
    // Brackets inside strings do not nest; an escaped quote does not end a
    // string. Unbalanced or otherwise malformed text is left to the parser.
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > limits.maximumDepth) {
                    throw JSONLimitError(JSONLimitError::Limit::depth, limits.maximumDepth);
                }
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;
                break;
            default:
                break;
        }
    }
}

nlohmann::json parseBoundedJSON(std::string_view text, const JSONLimits& limits) {
    checkJSONLimits(text, limits);
    // The parser takes a NUL byte for the end of the input, so a document
    // followed by NULs and anything else (a file a crash left zero-filled, or
    // something appended after one) would read as whole. JSON text never holds
    // one: a string escapes it as \u0000.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        throw nlohmann::json::parse_error::create(
            101, nul + 1, "syntax error: a NUL byte, which JSON text never holds", nullptr);
    }
    return nlohmann::json::parse(text);
}

std::string readBoundedFile(const fs::path& url, std::size_t maximumSize, bool followLinks) {
    // Non-blocking, so that opening a pipe planted under a file's name returns
    // at once; the descriptor is then refused as not being a regular file.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    FileDescriptor file(::open(url.c_str(), flags));
    if (file.get() < 0) throwFileSystemError("cannot open", url, errno);

    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throwFileSystemError("cannot examine", url, errno);
    if (!S_ISREG(info.st_mode)) {
        throw fs::filesystem_error("cannot read what is not a regular file", url,
                                   std::make_error_code(std::errc::invalid_argument));
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maximumSize) {
        throw JSONLimitError(JSONLimitError::Limit::size, maximumSize);
    }

    // The file may grow between the size check and the read (another computer
    // replicating it): read at most one byte past the bound to notice that.
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const std::size_t left = maximumSize - content.size();
        const std::size_t wanted = left < sizeof buffer ? left + 1 : sizeof buffer;
        const ssize_t n = ::read(file.get(), buffer, wanted);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwFileSystemError("cannot read", url, errno);
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > maximumSize) {
            throw JSONLimitError(JSONLimitError::Limit::size, maximumSize);
        }
    }
    return content;
}

}  // namespace keel
