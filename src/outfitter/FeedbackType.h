// FeedbackType: what a report sent to the feedback service is. The raw values
// are what the service receives.
#pragma once

#include <optional>

namespace outfitter {

enum class FeedbackType : int {
    suggestion = 0,
    supportRequest = 1,
    bugReport = 2,
    newsletter = 3,
};

// The type of a raw value; nothing outside 0 to 3.
inline std::optional<FeedbackType> feedbackTypeFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 3) return std::nullopt;
    return static_cast<FeedbackType>(rawValue);
}

}  // namespace outfitter
