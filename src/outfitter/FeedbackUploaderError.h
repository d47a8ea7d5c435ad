// FeedbackUploaderError: why a report did not reach the feedback service.
// Every case may carry a message (the transport's or the server's words);
// the description is that message, else the case's own text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace outfitter {

class FeedbackUploaderError {
public:
    enum class Kind {
        dataEncodingFailed,      // the report could not be put into a request
        dataSendingFailed,       // the request did not get through
        responseIsEmpty,         // the service answered nothing
        responseDecodingFailed,  // the answer is not what the service sends
        serverHandlingFailed,    // the service did not take the report
    };

    explicit FeedbackUploaderError(Kind kind, std::optional<std::string> message = std::nullopt)
        : kind_(kind), message_(std::move(message)) {}

    Kind kind() const { return kind_; }
    const std::optional<std::string>& message() const { return message_; }
    std::string errorDescription() const;

    static std::string_view localizationKey(Kind kind);

private:
    Kind kind_;
    std::optional<std::string> message_;
};

}  // namespace outfitter
