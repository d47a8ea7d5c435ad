#include "app/ErrorDescription.h"

#include <algorithm>

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

std::string ErrorDescription::text(const std::exception_ptr& error, const std::string& separator) {
    std::string text;
    for (const std::string& line : lines(error))
        text += (text.empty() ? "" : separator) + line;
    return text;
}

}  // namespace quillfen
