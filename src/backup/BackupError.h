// BackupError: the errors of the backup store, the backup manager and the sync
// engine. Each case has one fixed English text, returned by what(). An error
// may also carry the location of the package it is about, as data for a front
// end to name; it is neither part of the text nor of the error's identity, so
// two errors of the same case are equal and hash alike.
//
// An immutable value; safe to copy and read from any thread.
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

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
        // The package location names nothing, and the operation does not
        // create packages.
        backupFileDoesNotExist,
        // Another run on this computer holds the package, and the caller
        // asked not to wait for it.
        backupFileIsInUse,
        // The package folder disappeared or was replaced while a run used it.
        backupFileWasMovedOrDeleted,
        // A record names a data copy that is not in the package: the cloud
        // drive has not brought it yet, or it is gone.
        dataCopyHasNotArrived,
        // The package holds data copies but no "Data.json" naming them: a
        // run that writes it would orphan every copy.
        dataListHasNotArrived,
    };

    explicit BackupError(Code code) noexcept : code_(code) {}
    // An error about the package at `url`.
    BackupError(Code code, std::filesystem::path url)
        : code_(code), url_(std::make_shared<const std::filesystem::path>(std::move(url))) {}

    Code code() const noexcept { return code_; }
    // The package the error is about, when the code that threw it knew it.
    std::optional<std::filesystem::path> url() const {
        if (!url_) return std::nullopt;
        return *url_;
    }

    // The fixed English text of the case.
    const char* what() const noexcept override;
    static const char* description(Code code) noexcept;

    friend bool operator==(const BackupError& a, const BackupError& b) noexcept {
        return a.code_ == b.code_;
    }

private:
    Code code_;
    // Shared, so that copying the error (as throwing does) cannot fail.
    std::shared_ptr<const std::filesystem::path> url_;
};

}  // namespace quillfen

template <>
struct std::hash<quillfen::BackupError> {
    std::size_t operator()(const quillfen::BackupError& error) const noexcept {
        return std::hash<quillfen::BackupError::Code>{}(error.code());
    }
};
