#include "app/BackupProcess.h"

#include <stdexcept>

namespace quillfen {

BackupProcess::BackupProcess(BackupAction action, Block block)
    : action_(action), block_(std::move(block)) {}

void BackupProcess::run() {
    Block block = std::move(block_);
    block_ = nullptr;
    result_.reset();
    if (!block) return;
    try {
        result_ = block();
    } catch (...) {
        error_ = std::current_exception();
    }
}

std::string BackupProcess::errorDescription() const {
    if (!error_) return {};
    try {
        std::rethrow_exception(error_);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace quillfen
