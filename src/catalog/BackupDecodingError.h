// BackupDecodingError: a record or a package file could not be decoded.
//
// Record decoders (the from_json functions of the package records) throw it
// with a reason only: a required member missing or of the wrong type, an
// unknown action, a data copy name that is not a UUID. BackupFileData throws it
// with the path of the file that could not be read as well, for malformed JSON
// and for any record error inside the file, so that the message names both the
// file and what is wrong with it.
//
// An immutable value; safe to copy and read from any thread.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quillfen {

class BackupDecodingError : public std::runtime_error {
public:
    explicit BackupDecodingError(std::string reason);
    BackupDecodingError(std::filesystem::path file, std::string reason);

    // The file that could not be read; empty for an error of a single record.
    const std::filesystem::path& file() const noexcept { return file_; }
    // What is wrong, without the file name.
    const std::string& reason() const noexcept { return reason_; }

private:
    std::filesystem::path file_;
    std::string reason_;
};

}  // namespace quillfen
