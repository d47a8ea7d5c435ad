#include "outfitter/UpdateError.h"

#include "keel/LocalizedString.h"

namespace outfitter {

namespace {

std::string describe(UpdateError::Kind kind, const std::string& detail) {
    std::string text = keel::LocalizedString(UpdateError::localizationKey(kind));
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

}  // namespace

UpdateError::UpdateError(Kind kind, std::string detail)
    : std::runtime_error(describe(kind, detail)), kind_(kind), detail_(std::move(detail)) {}

std::string_view UpdateError::localizationKey(Kind kind) {
    switch (kind) {
        case Kind::feedUnavailable:
            return "UpdateErrorFeedUnavailable";
        case Kind::feedTooLarge:
            return "UpdateErrorFeedTooLarge";
        case Kind::feedUnreadable:
            return "UpdateErrorFeedUnreadable";
        case Kind::enclosureRefused:
            return "UpdateErrorEnclosureRefused";
        case Kind::downloadFailed:
            return "UpdateErrorDownloadFailed";
        case Kind::lengthMismatch:
            return "UpdateErrorLengthMismatch";
        case Kind::signatureInvalid:
            return "UpdateErrorSignatureInvalid";
        case Kind::publicKeyInvalid:
            return "UpdateErrorPublicKeyInvalid";
        case Kind::archiveRefused:
            return "UpdateErrorArchiveRefused";
        case Kind::installFailed:
            return "UpdateErrorInstallFailed";
        case Kind::updateInProgress:
            return "UpdateErrorUpdateInProgress";
    }
    return {};
}

}  // namespace outfitter
