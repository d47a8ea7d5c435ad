#include "outfitter/FeedbackUploaderError.h"

#include "keel/LocalizedString.h"

namespace outfitter {

std::string_view FeedbackUploaderError::localizationKey(Kind kind) {
    switch (kind) {
        case Kind::dataEncodingFailed:
            return "FeedbackUploderDataEncodingFailed";
        case Kind::dataSendingFailed:
            return "FeedbackUploderDataSendingFailed";
        case Kind::responseIsEmpty:
            return "FeedbackUploderResponseIsEmpty";
        case Kind::responseDecodingFailed:
            return "FeedbackUploderResponseDecodingFailed";
        case Kind::serverHandlingFailed:
            return "FeedbackUploderCorruptedResponseError";
    }
    return {};
}

std::string FeedbackUploaderError::errorDescription() const {
    if (message_) return *message_;
    return keel::LocalizedString(localizationKey(kind_));
}

}  // namespace outfitter
