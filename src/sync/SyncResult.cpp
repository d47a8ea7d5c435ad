#include "sync/SyncResult.h"

#include <utility>

namespace quillfen {

SyncResult::Error SyncResult::Error::from(std::exception_ptr exception) {
    std::string description = "An unknown error occurred.";
    if (exception) {
        try {
            std::rethrow_exception(exception);
        } catch (const std::exception& error) {
            description = error.what();
        } catch (...) {
        }
    }
    return Error{std::move(description), std::move(exception)};
}

}  // namespace quillfen
