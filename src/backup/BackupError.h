// BackupError: the errors of the backup store, the backup manager and the sync
// engine. Each case has one fixed English text, returned by what(); there is no
// other detail, so two errors of the same case are equal and hash alike.
//
// An immutable value; safe to copy and read from any thread.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>

namespace quillfen {

class BackupError : public std::exception {
public:
    enum class Code {
        autorizationRequired,
        noBackupLocation,
        backupFileIsNotReadable,
        syncActionIsNotSupported,
        backupFileIsNotADirectory,
        backupFileExtensionIsInvalid,
        localDataCannotBeWritten,
    };

    explicit BackupError(Code code) noexcept : code_(code) {}

    Code code() const noexcept { return code_; }

    // The fixed English text of the case.
    const char* what() const noexcept override;
    static const char* description(Code code) noexcept;

    friend bool operator==(const BackupError& a, const BackupError& b) noexcept {
        return a.code_ == b.code_;
    }

private:
    Code code_;
};

}  // namespace quillfen

template <>
struct std::hash<quillfen::BackupError> {
    std::size_t operator()(const quillfen::BackupError& error) const noexcept {
        return std::hash<quillfen::BackupError::Code>{}(error.code());
    }
};
