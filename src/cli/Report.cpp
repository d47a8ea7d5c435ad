#include "cli/Report.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "keel/Strings.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"

using nlohmann::json;

namespace quillfen::cli {

namespace {

json optionalBool(const std::optional<bool>& value) {
    return value ? json(*value) : json(nullptr);
}

// What the exclusion list does to a settings path: leaves it alone, or
// leaves the given entries of its folder out.
struct Exclusion {
    bool excluded = false;
    std::vector<std::string> inside;
};

Exclusion exclusionOf(const keel::URL& url) {
    const auto& local = LocalResources::shared();
    Exclusion exclusion;
    exclusion.excluded = local.isExcluded(url);
    if (!exclusion.excluded)
        for (const auto& relative : local.excludedInside(url))
            exclusion.inside.push_back(relative.string());
    return exclusion;
}

void addExclusion(json& row, const keel::URL& url) {
    const Exclusion exclusion = exclusionOf(url);
    row["excluded"] = exclusion.excluded;
    if (!exclusion.inside.empty()) row["excludedInside"] = exclusion.inside;
}

std::string exclusionText(const keel::URL& url) {
    const Exclusion exclusion = exclusionOf(url);
    if (exclusion.excluded) return "  (excluded)";
    if (exclusion.inside.empty()) return {};
    std::string text = "  (leaves out";
    for (std::size_t i = 0; i < exclusion.inside.size(); ++i)
        text += (i == 0 ? " " : ", ") + exclusion.inside[i];
    return text + ")";
}

json pathStates(const SyncItemState& state) {
    json paths = json::array();
    for (const auto& [path, pathState] : state.states) {
        json row{{"path", path}, {"state", rawValue(pathState.action)}};
        Report::addDate(row, "backupDate", pathState.backupDate);
        Report::addDate(row, "originalDate", pathState.originalDate);
        Report::addDate(row, "modifyDate", pathState.modifyDate);
        addExclusion(row, pathState.url);
        paths.push_back(std::move(row));
    }
    return paths;
}

template <class Entry>
json itemRows(const std::vector<Entry>& entries) {
    json rows = json::array();
    for (const auto& entry : entries) {
        json row{{"name", entry.name},
                 {"enabled", optionalBool(entry.isEnabled())},
                 {"found", entry.isFound()},
                 {"state", rawValue(entry.action())},
                 {"paths", pathStates(entry.state)}};
        Report::addDate(row, "backupDate", entry.backupDate());
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string switchText(const std::optional<bool>& enabled) {
    if (!enabled) return "[ ]";
    return *enabled ? "[x]" : "[-]";
}

template <class Entry>
void itemText(std::ostringstream& out, const char* heading, const std::vector<Entry>& entries) {
    out << heading << " (" << entries.size() << ")\n";
    for (const auto& entry : entries) {
        out << "  " << switchText(entry.isEnabled()) << " " << entry.name << "  "
            << (entry.isFound() ? "found" : "not found") << ", backed up "
            << Report::dateText(entry.backupDate()) << ", " << localizedTitle(entry.action())
            << "\n";
        for (const auto& [path, state] : entry.state.states)
            out << "        " << path << "  " << localizedTitle(state.action)
                << exclusionText(state.url) << "\n";
    }
}

}  // namespace

json Report::date(const std::optional<keel::Date>& date) {
    return date ? json(date->timeIntervalSinceReferenceDate) : json(nullptr);
}

namespace {

// Converting a value out of time_t's range is undefined, and a package may
// hold any number: only dates between the years 1 and 9999 are converted.
std::optional<std::time_t> convertibleSeconds(const keel::Date& date) {
    constexpr double earliest = -62135596800.0;  // 0001-01-01 00:00 UTC
    constexpr double latest = 253402300799.0;    // 9999-12-31 23:59:59 UTC
    const double since1970 = date.timeIntervalSince1970();
    if (!std::isfinite(since1970) || since1970 < earliest || since1970 > latest)
        return std::nullopt;
    return static_cast<std::time_t>(std::floor(since1970));
}

}  // namespace

json Report::isoDate(const std::optional<keel::Date>& date) {
    const auto seconds = date ? convertibleSeconds(*date) : std::nullopt;
    std::tm utc{};
    if (!seconds || gmtime_r(&*seconds, &utc) == nullptr) return nullptr;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void Report::addDate(json& object, const std::string& key, const std::optional<keel::Date>& date) {
    object[key] = Report::date(date);
    object[key + "ISO"] = isoDate(date);
}

json Report::history(const std::vector<BackupEventItem>& events) {
    json list = json::array();
    for (const auto& event : events) {
        json row{{"action", rawValue(event.action)},
                 {"comment", event.comment ? json(*event.comment) : json(nullptr)}};
        addDate(row, "date", event.date);
        list.push_back(std::move(row));
    }
    return list;
}

json Report::status(const StatusRows& rows) {
    json files = json::array();
    for (const auto& entry : rows.files) {
        json row{{"path", entry.path},
                 {"enabled", optionalBool(entry.isEnabled())},
                 {"found", entry.isFound()},
                 {"state", rawValue(entry.action())}};
        addDate(row, "backupDate", entry.backupDate());
        addExclusion(row, PathConverter::url(entry.path));
        files.push_back(std::move(row));
    }
    return {{"ok", true},
            {"package", rows.package},
            {"apps", itemRows(rows.apps)},
            {"execs", itemRows(rows.execs)},
            {"files", files},
            {"note", rows.note ? json(*rows.note) : json(nullptr)},
            {"history", history(rows.history)},
            {"warnings", rows.warnings}};
}

json Report::run(SyncAction action, const std::optional<SyncLogs>& logs) {
    json failures = json::array();
    if (logs) {
        for (const auto& result : logs->results()) {
            json errors = json::object();
            for (const auto& [path, error] : result.errors)
                errors[path] = error.description;
            failures.push_back({{"identifier", result.identifier}, {"errors", errors}});
        }
    }
    // A run that finished with failed paths did not do all it was asked.
    return {{"ok", failures.empty()}, {"action", rawValue(action)}, {"failures", failures}};
}

std::string Report::dateText(const std::optional<keel::Date>& date) {
    if (!date) return "never";
    const auto seconds = convertibleSeconds(*date);
    std::tm local{};
    if (!seconds || localtime_r(&*seconds, &local) == nullptr) return "unknown date";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string Report::statusText(const StatusRows& rows) {
    std::ostringstream out;
    out << "Package: " << keel::abreviatingTildeInPath(rows.package) << "\n";
    itemText(out, "Applications", rows.apps);
    itemText(out, "Executables", rows.execs);
    out << "Files (" << rows.files.size() << ")\n";
    for (const auto& entry : rows.files) {
        out << "  " << switchText(entry.isEnabled()) << " " << entry.path << "  "
            << (entry.isFound() ? "found" : "not found") << ", backed up "
            << dateText(entry.backupDate()) << ", " << localizedTitle(entry.action())
            << exclusionText(PathConverter::url(entry.path)) << "\n";
    }
    if (rows.note) {
        const auto firstLine = rows.note->substr(0, rows.note->find('\n'));
        out << "Note: " << firstLine << "\n";
    } else {
        out << "Note: none\n";
    }
    if (!rows.history.empty()) {
        const auto& last = rows.history.front();
        out << "Last run: " << localizedTitle(last.action) << " on "
            << last.comment.value_or("an unnamed computer") << ", " << dateText(last.date) << "\n";
    }
    return out.str();
}

std::string Report::historyText(const std::vector<BackupEventItem>& events) {
    std::ostringstream out;
    if (events.empty()) out << "No history.\n";
    for (const auto& event : events)
        out << dateText(event.date) << "  " << localizedTitle(event.action) << "  "
            << event.comment.value_or("") << "\n";
    return out.str();
}

std::string Report::runText(SyncAction action, const std::optional<SyncLogs>& logs) {
    std::ostringstream out;
    const auto results = logs ? logs->results() : std::vector<SyncResult>{};
    if (results.empty()) {
        out << localizedTitle(action) << ": done, no failures.\n";
        return out.str();
    }
    out << localizedTitle(action) << ": some settings paths failed.\n";
    for (const auto& result : results) {
        out << result.identifier << "\n";
        for (const auto& [path, error] : result.errors)
            out << "  " << path << ": " << error.description << "\n";
    }
    return out.str();
}

std::string Report::sizeText(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

}  // namespace quillfen::cli
