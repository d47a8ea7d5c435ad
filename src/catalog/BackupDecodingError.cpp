#include "catalog/BackupDecodingError.h"

#include <utility>

namespace quillfen {

BackupDecodingError::BackupDecodingError(std::string reason)
    : std::runtime_error(reason), reason_(std::move(reason)) {}

BackupDecodingError::BackupDecodingError(std::filesystem::path file, std::string reason)
    : std::runtime_error("The file \"" + file.string() + "\" cannot be read: " + reason),
      file_(std::move(file)),
      reason_(std::move(reason)) {}

}  // namespace quillfen
