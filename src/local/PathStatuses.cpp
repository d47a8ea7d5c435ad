#include "local/PathStatuses.h"

namespace quillfen {

PathStatuses::Status PathStatuses::lstatOf(const std::string& location) {
    Status status;
    status.exists = ::lstat(location.c_str(), &status.info) == 0;
    return status;
}

void PathStatuses::remember(std::string location, const Status& status) {
    statuses_.emplace_back(std::move(location), status);
}

std::optional<PathStatuses::Status> PathStatuses::find(const std::string& location) const {
    for (auto entry = statuses_.rbegin(); entry != statuses_.rend(); ++entry) {
        if (entry->first == location) return entry->second;
    }
    return std::nullopt;
}

}  // namespace quillfen
