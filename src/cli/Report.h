// Report: what the command line prints, as JSON documents (stable for
// scripts: every document has "ok"; a date as seconds since 1 January 2001,
// with an ISO 8601 twin in UTC under the same name and "ISO"; states and
// actions as the raw strings of SyncAction; absent values as null) and as
// text for people.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"
#include "app/StatusSummary.h"
#include "backup/BackupEventItem.h"
#include "keel/Date.h"
#include "sync/SyncLogs.h"

namespace quillfen::cli {

struct StatusRows {
    std::string package;
    std::vector<BackupAppEntry> apps;
    std::vector<BackupExecEntry> execs;
    std::vector<BackupFileEntry> files;
    std::optional<std::string> note;
    std::vector<BackupEventItem> history;
    // What the user should look at in the package (conflict copies, data
    // copies that have not arrived), one sentence each.
    std::vector<std::string> warnings;
    // Whether the text shows the items and paths with nothing on either side
    // instead of counting them.
    bool verbose = false;
};

class Report {
public:
    static nlohmann::json date(const std::optional<keel::Date>& date);
    // "2026-12-07T21:04:05Z"; null when absent or out of the years 1 to 9999.
    static nlohmann::json isoDate(const std::optional<keel::Date>& date);
    // Sets `key` to `date` and `key` + "ISO" to its ISO 8601 twin.
    static void addDate(nlohmann::json& object, const std::string& key,
                        const std::optional<keel::Date>& date);
    static nlohmann::json status(const StatusRows& rows);
    static nlohmann::json history(const std::vector<BackupEventItem>& events);
    static nlohmann::json run(SyncAction action, const std::optional<SyncLogs>& logs);

    // A date in local time, "2026-12-07 21:04"; "never" when absent.
    static std::string dateText(const std::optional<keel::Date>& date);
    static std::string statusText(const StatusRows& rows);
    // "3 to back up, 1 to install, 12 up to date; run `quillfen sync`." and,
    // when items have settings only in the package, a line that names install.
    static std::string summaryText(const StatusSummary& summary);
    static std::string historyText(const std::vector<BackupEventItem>& events);
    static std::string runText(SyncAction action, const std::optional<SyncLogs>& logs);
    // "512 bytes", "12.0 KiB", "3.5 MiB", "1.2 GiB".
    static std::string sizeText(std::uint64_t bytes);
};

}  // namespace quillfen::cli
