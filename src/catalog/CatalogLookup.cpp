#include "catalog/CatalogLookup.h"

#include <algorithm>
#include <unordered_set>

#include "catalog/SyncConfiguration.h"
#include "keel/FinderOrder.h"
#include "local/LocalResources.h"

namespace quillfen {

namespace {

bool isExecName(const std::string& name) {
    const auto& names = SyncConfiguration::execNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Every known name of `kind`.
template <class Visit>
void forEachName(ItemKind kind, Visit visit) {
    if (kind == ItemKind::exec) {
        for (const auto& name : SyncConfiguration::execNames())
            visit(name);
        return;
    }
    for (const auto& [name, entry] : SyncConfiguration::catalogByName())
        if (!isExecName(name)) visit(name);
    for (const auto& [alias, name] : SyncConfiguration::nameAliases())
        visit(alias);
    for (const auto& name : LocalResources::shared().appNames())
        visit(name);
}

}  // namespace

std::string CatalogLookup::folded(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::size_t CatalogLookup::distance(const std::string& a, const std::string& b) {
    const std::string x = folded(a), y = folded(b);
    // Optimal string alignment over three rows.
    std::vector<std::size_t> before(y.size() + 1), previous(y.size() + 1), current(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[y.size()];
}

std::vector<CatalogName> CatalogLookup::catalogNames() {
    std::vector<CatalogName> names;
    std::unordered_set<std::string> seen;
    for (const auto& entry : SyncConfiguration::catalog())
        if (seen.insert(entry.name).second)
            names.push_back({entry.name, isExecName(entry.name) ? ItemKind::exec : ItemKind::app});
    return keel::finderSorted(std::move(names), [](const CatalogName& n) { return n.name; });
}

std::optional<CatalogName> CatalogLookup::find(const std::string& given, ItemKind kind) {
    if (kind == ItemKind::file) return std::nullopt;
    std::optional<std::string> exact, folding;
    const std::string key = folded(given);
    forEachName(kind, [&](const std::string& name) {
        if (name == given) exact = name;
        // Of several names that differ in case only, the first in Finder
        // order, so that the answer does not depend on a table's order.
        else if (folded(name) == key && (!folding || keel::finderCompare(name, *folding) < 0))
            folding = name;
    });
    if (exact) return CatalogName{*exact, kind};
    if (folding) return CatalogName{*folding, kind};
    return std::nullopt;
}

std::optional<CatalogName> CatalogLookup::find(const std::string& given) {
    // An exact name of either kind wins over a match that ignores case.
    auto app = find(given, ItemKind::app);
    auto exec = find(given, ItemKind::exec);
    if (app && app->name == given && !(exec && exec->name == given)) return app;
    return exec ? exec : app;
}

std::vector<std::string> CatalogLookup::suggestions(const std::string& given,
                                                    std::optional<ItemKind> kind,
                                                    std::size_t count) {
    const std::size_t bound = std::max<std::size_t>(1, (given.size() + 1) / 3);
    std::vector<std::pair<std::size_t, std::string>> near;
    std::unordered_set<std::string> seen;
    const auto consider = [&](const std::string& name) {
        if (!seen.insert(name).second) return;
        const std::size_t d = distance(given, name);
        if (d <= bound) near.emplace_back(d, name);
    };
    for (const ItemKind k : {ItemKind::app, ItemKind::exec})
        if (!kind || *kind == k) forEachName(k, consider);
    std::sort(near.begin(), near.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : keel::finderCompare(a.second, b.second) < 0;
    });
    std::vector<std::string> result;
    for (std::size_t i = 0; i < near.size() && result.size() < count; ++i)
        result.push_back(near[i].second);
    return result;
}

}  // namespace quillfen
