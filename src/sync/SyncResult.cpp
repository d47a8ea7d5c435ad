#include "sync/SyncResult.h"

#include <utility>

namespace quillfen {

SyncResult::Error SyncResult::Error::from(std::exception_ptr exception) {
    constexpr const char* unknown = "An unknown error occurred.";
    std::string description = exception ? keel::carriedDescription(exception, unknown) : unknown;
    return Error{std::move(description), std::move(exception)};
}

}  // namespace quillfen
