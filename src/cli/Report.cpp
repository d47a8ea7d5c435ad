#include "cli/Report.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "app/ErrorDescription.h"
#include "app/StatusSummary.h"
#include "keel/CarriedException.h"
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

std::string foundText(bool found) {
    return found ? "settings here" : "no settings here";
}

std::string countText(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

constexpr const char* kEmptyItems = "with nothing here or in the package";

template <class Entry>
void itemText(std::ostringstream& out, const char* heading, const std::vector<Entry>& entries,
              bool verbose) {
    out << heading << " (" << entries.size() << ")\n";
    std::size_t folded = 0;
    for (const auto& entry : entries) {
        if (!verbose && StatusSummary::isEmpty(entry.state)) {
            ++folded;
            continue;
        }
        out << "  " << switchText(entry.isEnabled()) << " " << keel::terminalSafe(entry.name)
            << "  " << foundText(entry.isFound()) << ", backed up "
            << Report::dateText(entry.backupDate()) << ", " << localizedTitle(entry.action())
            << "\n";
        std::size_t emptyPaths = 0;
        for (const auto& [path, state] : entry.state.states) {
            if (!verbose && StatusSummary::isEmpty(state)) {
                ++emptyPaths;
                continue;
            }
            out << "        " << keel::terminalSafe(path) << "  " << localizedTitle(state.action)
                << exclusionText(state.url) << "\n";
        }
        if (emptyPaths > 0)
            out << "        (" << countText(emptyPaths, "path", "paths") << " " << kEmptyItems
                << ")\n";
    }
    if (folded > 0)
        out << "  " << countText(folded, "item", "items") << " " << kEmptyItems
            << " (shown with --verbose)\n";
}

// The reasons of a failure, outermost first, without its headline.
std::vector<std::string> causeLines(const SyncResult::Error& error) {
    auto lines = ErrorDescription::pathFailureLines(error.exception);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

std::string headline(const SyncResult::Error& error) {
    const auto lines = ErrorDescription::pathFailureLines(error.exception);
    return lines.empty() ? error.description : lines.front();
}

json summaryDocument(const StatusSummary& summary) {
    const auto command = summary.command();
    return {{"backUp", summary.toBackUp},
            {"install", summary.toInstall},
            {"synchronize", summary.toSynchronize},
            {"upToDate", summary.upToDate},
            {"switchedOff", summary.switchedOff},
            {"empty", summary.empty},
            {"lackingHere", summary.lackingHere},
            {"command", command.empty() ? json(nullptr) : json("quillfen " + command)}};
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
            {"warnings", rows.warnings},
            {"summary", summaryDocument(StatusSummary::of(rows.apps, rows.execs, rows.files))}};
}

json Report::run(SyncAction action, const std::optional<SyncLogs>& logs) {
    json failures = json::array();
    if (logs) {
        for (const auto& result : logs->results()) {
            json errors = json::object();
            json causes = json::object();
            for (const auto& [path, error] : result.errors) {
                errors[path] = error.description;
                const auto lines = causeLines(error);
                if (!lines.empty()) causes[path] = lines;
            }
            json failure{{"identifier", result.identifier}, {"errors", errors}};
            if (!causes.empty()) failure["causes"] = causes;
            failures.push_back(std::move(failure));
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

std::string Report::summaryText(const StatusSummary& summary) {
    std::vector<std::string> parts;
    if (summary.toBackUp > 0) parts.push_back(std::to_string(summary.toBackUp) + " to back up");
    if (summary.toInstall > 0) parts.push_back(std::to_string(summary.toInstall) + " to install");
    if (summary.toSynchronize > 0)
        parts.push_back(std::to_string(summary.toSynchronize) + " to synchronize both ways");
    if (summary.upToDate > 0) parts.push_back(std::to_string(summary.upToDate) + " up to date");
    if (summary.switchedOff > 0)
        parts.push_back(std::to_string(summary.switchedOff) + " switched off");
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    const auto command = summary.command();
    if (text.empty())
        text = summary.lackingHere > 0 ? "Nothing to synchronize"
                                       : "No settings to back up or install";
    text += !command.empty()          ? "; run `quillfen " + command + "`.\n"
            : summary.lackingHere > 0 ? ".\n"
                                      : "; nothing to do.\n";
    if (summary.lackingHere > 0)
        text += (summary.lackingHere == 1 ? std::string("1 item has")
                                          : std::to_string(summary.lackingHere) + " items have") +
                " settings in the package and none on this computer: `quillfen install` puts "
                "them here" +
                (summary.command().empty() ? std::string(".\n")
                                           : " (on a new computer, install before the first "
                                             "back-up).\n");
    return text;
}

std::string Report::statusText(const StatusRows& rows) {
    std::ostringstream out;
    out << "Package: " << keel::terminalSafe(keel::abreviatingTildeInPath(rows.package)) << "\n";
    out << summaryText(StatusSummary::of(rows.apps, rows.execs, rows.files));
    itemText(out, "Applications", rows.apps, rows.verbose);
    itemText(out, "Executables", rows.execs, rows.verbose);
    out << "Files (" << rows.files.size() << ")\n";
    std::size_t folded = 0;
    for (const auto& entry : rows.files) {
        if (!rows.verbose && StatusSummary::isEmpty(entry.state)) {
            ++folded;
            continue;
        }
        out << "  " << switchText(entry.isEnabled()) << " " << keel::terminalSafe(entry.path)
            << "  " << foundText(entry.isFound()) << ", backed up " << dateText(entry.backupDate())
            << ", " << localizedTitle(entry.action())
            << exclusionText(PathConverter::url(entry.path)) << "\n";
    }
    if (folded > 0)
        out << "  " << countText(folded, "file", "files") << " " << kEmptyItems
            << " (shown with --verbose)\n";
    if (rows.note) {
        const auto firstLine = rows.note->substr(0, rows.note->find('\n'));
        out << "Note: " << keel::terminalSafe(firstLine) << "\n";
    } else {
        out << "Note: none\n";
    }
    if (!rows.history.empty()) {
        const auto& last = rows.history.front();
        out << "Last run: " << localizedTitle(last.action) << " on "
            << keel::terminalSafe(last.comment.value_or("an unnamed computer")) << ", "
            << dateText(last.date) << "\n";
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
        out << keel::terminalSafe(result.identifier) << "\n";
        for (const auto& [path, error] : result.errors) {
            out << "  " << keel::terminalSafe(path) << ": " << keel::terminalSafe(headline(error))
                << "\n";
            for (const auto& line : causeLines(error))
                out << "    " << keel::terminalSafe(line) << "\n";
        }
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
