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
        json row{{"path", path},
                 {"state", rawValue(pathState.action)},
                 {"backupDate", Report::date(pathState.backupDate)},
                 {"originalDate", Report::date(pathState.originalDate)},
                 {"modifyDate", Report::date(pathState.modifyDate)}};
        addExclusion(row, pathState.url);
        paths.push_back(std::move(row));
    }
    return paths;
}

template <class Entry>
json itemRows(const std::vector<Entry>& entries) {
    json rows = json::array();
    for (const auto& entry : entries) {
        rows.push_back({{"name", entry.name},
                        {"enabled", optionalBool(entry.isEnabled())},
                        {"found", entry.isFound()},
                        {"backupDate", Report::date(entry.backupDate())},
                        {"state", rawValue(entry.action())},
                        {"paths", pathStates(entry.state)}});
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

json Report::history(const std::vector<BackupEventItem>& events) {
    json list = json::array();
    for (const auto& event : events)
        list.push_back({{"action", rawValue(event.action)},
                        {"date", date(event.date)},
                        {"comment", event.comment ? json(*event.comment) : json(nullptr)}});
    return list;
}

json Report::status(const StatusRows& rows) {
    json files = json::array();
    for (const auto& entry : rows.files) {
        json row{{"path", entry.path},
                 {"enabled", optionalBool(entry.isEnabled())},
                 {"found", entry.isFound()},
                 {"backupDate", date(entry.backupDate())},
                 {"state", rawValue(entry.action())}};
        addExclusion(row, PathConverter::url(entry.path));
        files.push_back(std::move(row));
    }
    return {{"package", rows.package},
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
    return {{"action", rawValue(action)}, {"failures", failures}};
}

std::string Report::dateText(const std::optional<keel::Date>& date) {
    if (!date) return "never";
    // A package may hold any number; only dates between the years 1 and 9999
    // are converted, since converting a value out of time_t's range is
    // undefined and printed years of nine digits.
    constexpr double earliest = -62135596800.0;  // 0001-01-01 00:00 UTC
    constexpr double latest = 253402300799.0;    // 9999-12-31 23:59:59 UTC
    const double since1970 = date->timeIntervalSince1970();
    if (!std::isfinite(since1970) || since1970 < earliest || since1970 > latest)
        return "unknown date";
    const auto seconds = static_cast<std::time_t>(since1970);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return "unknown date";
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
