// ReleaseSettings: the release kit's keys in the application's settings store,
// and the one rule about the file they live in: once it holds the user's
// e-mail address it is readable by its owner only.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "keel/UserSettings.h"

namespace outfitter {

struct ReleaseSettings {
    // The name and address the user last sent a feedback with.
    static inline const keel::OptionalUserSettingKey<std::string> userName{"NotewellUserName"};
    static inline const keel::OptionalUserSettingKey<std::string> userEmail{"NotewellUserEmail"};
    // How many times the newsletter prompt rule ran, and when it last ran past
    // its first three times.
    static inline const keel::EvaluedUserSettingKey<std::int64_t> askStayInTouchCount{
        "NotewellAskStayInTouchCount", 0};
    static inline const keel::OptionalUserSettingKey<keel::Date> askStayInTouchDate{
        "NotewellAskStayInTouchDateKey"};
    // Set once the user subscribed to the newsletter.
    static inline const keel::EvaluedUserSettingKey<bool> hasRegisteredEmail{
        "NotewellHasRegisteredEmailKey", false};
    // Set when the user asked not to be invited to the newsletter again.
    static inline const keel::EvaluedUserSettingKey<bool> askStayInTouchDeclined{
        "NotewellAskStayInTouchDeclined", false};
    // The user's consent to usage statistics; off until they switch it on.
    static inline const keel::EvaluedUserSettingKey<bool> enableUsageAnalytics{
        "EnableUsageAnalytics", false};
    // The version the user chose to skip: background checks do not offer it.
    static inline const keel::OptionalUserSettingKey<std::string> updateSkippedVersion{
        "UpdaterSkippedVersion"};
    // Whether the updater checks for a new version every day; the build's
    // default until the user chooses.
    static inline const keel::OptionalUserSettingKey<bool> updateAutomaticChecks{
        "UpdaterAutomaticallyChecks"};
    // When the update feed was last read.
    static inline const keel::OptionalUserSettingKey<keel::Date> updateLastCheckDate{
        "UpdaterLastCheckDate"};
    // Set once the program offered to install itself from a downloads or
    // temporary folder, whatever the answer: it asks only once.
    static inline const keel::EvaluedUserSettingKey<bool> moveToApplicationsFolderAlertSuppress{
        "MoveToApplicationsFolderAlertSuppress", false};
    // The random identifier of this installation in usage statistics; exists
    // only while statistics are on.
    static const keel::OptionalUserSettingKey<std::string>& analyticsClientID();

    // Stores the name and address of a sent feedback, in a settings file
    // made readable by its owner only first. Throws like UserSettings::set.
    static void storeUserContact(const std::string& name, const std::string& email);

    // Makes the settings file owner-only (mode 0600), creating it empty when
    // there is none, so that the next write keeps that mode. Never throws;
    // a file that cannot be opened (or is a link) is left as it is.
    static void makeSettingsFileOwnerOnly();
};

}  // namespace outfitter
