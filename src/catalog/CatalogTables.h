// CatalogTables: the app catalog as constant data, generated at build time
// from the text files of this folder (Catalog.txt, Aliases.txt,
// Executables.txt, Linux.txt). SyncConfiguration builds its entries from these tables;
// nothing else should read them.
//
// The tables are constant and hold no state: callable from any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace quillfen {

struct CatalogTables {
    // One entry: its name and its strings, `paths()[firstPath]` onwards,
    // `pathCount` of them, exactly as written (notes beginning with "#"
    // included); its Linux paths, `linuxPaths()[firstLinuxPath]` onwards,
    // `linuxPathCount` of them (none for most entries).
    struct Entry {
        std::string_view name;
        std::size_t firstPath;
        std::size_t pathCount;
        std::size_t firstLinuxPath;
        std::size_t linuxPathCount;
    };

    // An application's installed name and the catalog name to use for it.
    struct Alias {
        std::string_view installedName;
        std::string_view catalogName;
    };

    // The entries in catalog order.
    static std::span<const Entry> entries();
    // The strings of all entries, one after the other.
    static std::span<const std::string_view> paths();
    // The Linux paths of all entries, one after the other.
    static std::span<const std::string_view> linuxPaths();
    static std::span<const Alias> aliases();
    // The names of the entries that are command-line tools or system settings.
    static std::span<const std::string_view> execNames();
};

}  // namespace quillfen
