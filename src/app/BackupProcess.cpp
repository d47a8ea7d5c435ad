#include "app/BackupProcess.h"

#include "keel/CarriedException.h"

namespace quillfen {

BackupProcess::BackupProcess(BackupAction action, Block block)
    : action_(action), block_(std::move(block)) {}

void BackupProcess::run() {
    Block block = std::move(block_);
    block_ = nullptr;
    result_ = std::monostate();
    if (!block) return;
    try {
        result_ = block();
    } catch (...) {
        error_ = std::current_exception();
    }
}

std::string BackupProcess::errorDescription() const {
    return keel::carriedDescription(error_);
}

}  // namespace quillfen
