#include "app/ErrorDescription.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "backup/BackupError.h"
#include "keel/CarriedException.h"

namespace quillfen {

std::vector<std::string> ErrorDescription::lines(const std::exception_ptr& error) {
    std::vector<std::string> lines = keel::carriedDescriptions(error, "Unknown error");
    if (lines.empty()) return lines;
    const auto backupError = keel::carriedException<BackupError>(error);
    const auto url = backupError ? backupError->url() : std::nullopt;
    if (!url || url->empty()) return lines;
    const std::string package = url->string();
    if (lines.size() == 1) {
        lines.push_back(package);
    } else if (std::none_of(lines.begin() + 1, lines.end(), [&](const std::string& line) {
                   return line.find(package) != std::string::npos;
               })) {
        lines[1] = package + ": " + lines[1];
    }
    return lines;
}

namespace {

namespace fs = std::filesystem;

// Whether keel's text for a failed call ("cannot open", "cannot read the
// folder", ...) names one that reads; every other call it names writes.
bool isReading(std::string_view what) {
    for (const std::string_view verb : {"cannot open:", "cannot read", "cannot examine"})
        if (what.find(verb) != std::string_view::npos &&
            what.find("cannot open for flushing") == std::string_view::npos)
            return true;
    return false;
}

std::string causeLine(const fs::filesystem_error& error, bool reading) {
    fs::path path = error.path1();
    // A run writes through a temporary file beside the item; its name means
    // nothing to the user, its folder does.
    if (path.filename().string().find(".qftmp-") != std::string::npos) path = path.parent_path();
    std::string line = error.code().message();
    if (!path.empty()) line += ": " + path.string();
    return line + (reading ? " (reading)" : " (writing)");
}

}  // namespace

std::vector<std::string> ErrorDescription::pathFailureLines(const std::exception_ptr& error) {
    std::vector<std::string> lines;
    for (auto current = error; current; current = keel::nestedException(current)) {
        const auto fileSystemError = keel::carriedException<fs::filesystem_error>(current);
        if (!fileSystemError) {
            lines.push_back(keel::carriedDescription(current));
            continue;
        }
        const bool reading = isReading(fileSystemError->what());
        if (lines.empty())
            lines.push_back(reading ? "Could not be read." : "Could not be written.");
        lines.push_back(causeLine(*fileSystemError, reading));
    }
    return lines;
}

std::string ErrorDescription::text(const std::exception_ptr& error, const std::string& separator) {
    std::string text;
    for (const std::string& line : lines(error))
        text += (text.empty() ? "" : separator) + line;
    return text;
}

}  // namespace quillfen
