// UpdateError: why a software update did not happen. Thrown by the parts of
// the updater (the feed reader, the download check, the installer) and shown
// to the user by the updater. Every case says in its description what went
// wrong; `detail` adds the particular (the server's error, the refused
// archive entry, the system's error).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace outfitter {

class UpdateError : public std::runtime_error {
public:
    enum class Kind {
        feedUnavailable,   // the feed could not be fetched
        feedTooLarge,      // the feed is larger than a feed may be
        feedUnreadable,    // the feed is not an RSS appcast
        enclosureRefused,  // the feed's download is not one we may fetch
        downloadFailed,    // the download did not arrive whole
        lengthMismatch,    // the download's length differs from the feed's
        signatureInvalid,  // the download is not signed with our key
        publicKeyInvalid,  // the program's public key cannot be read
        archiveRefused,    // the archive holds something an update may not
        installFailed,     // the file system refused a step of the install
        updateInProgress,  // another process is installing an update
    };

    UpdateError(Kind kind, std::string detail = {});

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

    static std::string_view localizationKey(Kind kind);

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace outfitter
