// CatalogLookup: how a name the user typed is matched against the names this
// computer knows: the catalog's applications and executables, the aliases
// some applications are installed under, and the installed applications.
// Front ends go through it so that a window and the command line accept the
// same words for the same items.
//
// A name matches exactly first; otherwise it matches regardless of ASCII
// case ("git" is "Git"). An alias is a name of its own (SyncConfiguration
// maps it to its catalog entry). An
// executable is a catalog entry of `SyncConfiguration::execNames`; every
// other catalog entry, every alias and every installed application is an
// application.
//
// Threads: reads the immutable catalog tables and `LocalResources::shared()`;
// any thread. Nothing here throws but std::bad_alloc.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/ItemKind.h"

namespace quillfen {

struct CatalogName {
    // As the catalog (or the installed application) spells it.
    std::string name;
    // ItemKind::app or ItemKind::exec.
    ItemKind kind = ItemKind::app;

    friend bool operator==(const CatalogName&, const CatalogName&) = default;
};

class CatalogLookup {
public:
    CatalogLookup() = delete;

    // Every catalog entry once, with its kind, in Finder order.
    static std::vector<CatalogName> catalogNames();

    // The name of kind `kind` that `given` stands for, spelt as known.
    // Nothing when no name of that kind matches.
    static std::optional<CatalogName> find(const std::string& given, ItemKind kind);
    // The same for either kind: a name spelt exactly before one that differs
    // in case, and an executable before an application when both match
    // alike (the catalog's tools share some names with installed programs).
    static std::optional<CatalogName> find(const std::string& given);

    // Up to `count` known names of `kind` (either kind when nothing) closest
    // to `given` in edit distance regardless of case, nearest first, and only
    // those close enough to be a slip (about a third of the letters).
    static std::vector<std::string> suggestions(const std::string& given,
                                                std::optional<ItemKind> kind = std::nullopt,
                                                std::size_t count = 3);

    // The edit distance of `a` and `b` regardless of ASCII case: insertions,
    // deletions, substitutions and swaps of neighbours count one each.
    static std::size_t distance(const std::string& a, const std::string& b);

    // `text` with ASCII capitals made small.
    static std::string folded(const std::string& text);
};

}  // namespace quillfen
