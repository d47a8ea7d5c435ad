#include "outfitter/FeedbackContent.h"

#include <QByteArray>

#include "outfitter/FeedbackAttachments.h"

namespace outfitter {

namespace {

std::string base64(const std::string& bytes) {
    return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))
        .toBase64()
        .toStdString();
}

}  // namespace

nlohmann::ordered_json FeedbackContent::buildDictRepresentation(const BundleInfo& bundle) const {
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["bundle_name"] = bundle.name.value_or("");
    body["long_version"] = bundle.longVersion.value_or("");
    body["short_version"] = bundle.shortVersion.value_or("");
    body["bundle_version"] = bundle.version.value_or("");
    body["best_version"] = bundle.bestVersion().value_or("");
    body["type"] = std::to_string(static_cast<int>(type));
    body["user_name"] = userName;
    body["user_email"] = userEmail;
    body["message"] = message;
    nlohmann::ordered_json facts = nlohmann::ordered_json::object();
    if (system)
        for (const auto& [key, value] : *system)
            facts[key] = value;
    body["system"] = std::move(facts);
    if (console) body["console"] = base64(*console);
    if (preferences) body["preferences"] = base64(*preferences);
    if (attachments && !attachments->empty())
        body["attachments"] = base64(FeedbackAttachments::archive(*attachments));
    return body;
}

}  // namespace outfitter
