#include "cli/UndoReport.h"

#include <sstream>

#include "cli/Report.h"
#include "keel/Strings.h"

using nlohmann::json;

namespace quillfen::cli {

namespace {

std::uint64_t totalOf(const std::vector<std::shared_ptr<UndoRun>>& runs) {
    std::uint64_t total = 0;
    for (const auto& run : runs)
        total += run->size();
    return total;
}

std::vector<std::string> leftAloneOf(const UndoRun& run) {
    std::vector<std::string> paths;
    for (const auto& entry : run.entries())
        if (entry.leftAlone) paths.push_back(entry.path);
    return paths;
}

}  // namespace

json UndoReport::run(const UndoStore::Result& result) {
    json failures = json::object();
    for (const auto& [path, message] : result.failures)
        failures[path] = message;
    json document{{"ok", result.failures.empty() && result.leftAlone.empty()},
                  {"run", result.run},
                  {"action", std::string(rawValue(result.action))},
                  {"package", result.package},
                  {"restored", result.restored},
                  {"removed", result.removed},
                  {"leftAlone", result.leftAlone},
                  {"failures", failures}};
    Report::addDate(document, "date", result.date);
    return document;
}

json UndoReport::list(const UndoStore& store, const std::vector<std::shared_ptr<UndoRun>>& runs) {
    json list = json::array();
    for (const auto& run : runs) {
        json row{{"run", run->name()},        {"action", std::string(rawValue(run->action()))},
                 {"package", run->package()}, {"paths", run->entries().size()},
                 {"size", run->size()},       {"leftAlone", leftAloneOf(*run)}};
        Report::addDate(row, "date", run->date());
        Report::addDate(row, "undone", run->undoneDate());
        list.push_back(std::move(row));
    }
    return {{"ok", true},
            {"runs", list},
            {"size", totalOf(runs)},
            {"maximumSize", store.maximumSize()},
            {"maximumRuns", UndoStore::maximumRuns}};
}

std::string UndoReport::text(const UndoStore::Result& result) {
    std::ostringstream out;
    out << "Undid the " << localizedTitle(result.action) << " run of "
        << Report::dateText(result.date) << " (package "
        << keel::abreviatingTildeInPath(result.package) << "): " << result.restored.size()
        << " put back, " << result.removed.size() << " removed.\n";
    for (const auto& path : result.restored)
        out << "  put back  " << path << "\n";
    for (const auto& path : result.removed)
        out << "  removed   " << path << "\n";
    return out.str();
}

std::string UndoReport::listText(const UndoStore& store,
                                 const std::vector<std::shared_ptr<UndoRun>>& runs) {
    std::ostringstream out;
    out << "Kept runs, newest first: " << runs.size() << " of at most " << UndoStore::maximumRuns
        << ", " << Report::sizeText(totalOf(runs)) << " of at most "
        << Report::sizeText(store.maximumSize()) << "\n";
    if (runs.empty()) out << "Nothing to undo.\n";
    for (const auto& run : runs) {
        const auto count = run->entries().size();
        out << "  " << Report::dateText(run->date()) << "  " << localizedTitle(run->action())
            << "  " << count << (count == 1 ? " path" : " paths") << "  "
            << Report::sizeText(run->size()) << "  "
            << keel::abreviatingTildeInPath(run->package());
        if (const auto undone = run->undoneDate())
            out << "  (undone " << Report::dateText(undone) << ")";
        out << "\n";
        for (const auto& path : leftAloneOf(*run))
            out << "      left as changed since: " << path << "\n";
    }
    return out.str();
}

}  // namespace quillfen::cli
