// FeedbackContent: one report for the feedback service, and the request body
// it becomes.
//
// Thread safety: a plain value; `buildDictRepresentation` reads the
// attachments from disk and may run on any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outfitter/BundleInfo.h"
#include "outfitter/FeedbackType.h"
#include "outfitter/SystemProfile.h"

namespace outfitter {

struct FeedbackContent {
    FeedbackType type = FeedbackType::suggestion;
    std::string userName;
    std::string userEmail;
    std::string message;
    std::optional<SystemProfile::Features> system;  // the system facts, in their order
    std::optional<std::string> console;             // recent log messages
    std::optional<std::string> preferences;         // the application's settings
    std::optional<std::vector<std::filesystem::path>> attachments;  // already selected

    // The request body, members in this order: "bundle_name", "long_version",
    // "short_version", "bundle_version", "best_version" (empty strings where
    // the bundle has no value), "type" (the raw value as a decimal string),
    // "user_name", "user_email", "message", "system" (an object of strings,
    // empty when there are no facts), and, only when present, "console" and
    // "preferences" as Base64 of their UTF-8 bytes and "attachments" as Base64
    // of a ZIP archive of the files (see FeedbackAttachments). Throws
    // AttachmentError when the attachments cannot be archived.
    nlohmann::ordered_json buildDictRepresentation(const BundleInfo& bundle) const;
};

}  // namespace outfitter
