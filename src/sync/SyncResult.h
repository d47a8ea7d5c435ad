// SyncResult: the outcome of one item of a run: the item's identifier (the
// application name, executable name or custom file's settings path) and, for
// every settings path of the item whose copy failed, the error it failed with.
//
// A plain value; copies may be read on any thread.
#pragma once

#include <exception>
#include <map>
#include <optional>
#include <string>

#include "keel/CarriedException.h"

namespace quillfen {

struct SyncResult {
    // One failure, kept both as the text the logs show and as the exception
    // itself, for callers that need to tell one kind of failure from another.
    struct Error {
        // The exception's what(): for a BackupError its fixed English text.
        std::string description;
        std::exception_ptr exception;

        // The failure `exception` stands for.
        static Error from(std::exception_ptr exception);

        // The exception as an `E`, or nothing when it is not one.
        template <class E>
        std::optional<E> as() const {
            return keel::carriedException<E>(exception);
        }
    };

    std::string identifier;
    // By settings path; empty when every path went through.
    std::map<std::string, Error> errors;
};

}  // namespace quillfen
