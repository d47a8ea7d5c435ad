// CatalogIdentities: which catalog entry an application installed on Linux
// stands for, by an ID it is installed under: its desktop ID, its Flatpak
// application ID or its snap name. The table is generated at build time from
// the catalog's Linux data, so this computer can name what it finds as the
// catalog names it, and a package made on a Mac and one made on Linux call
// the same application alike.
//
// Constant data: every function may be called from any thread; nothing
// throws.
#pragma once

#include <span>
#include <string_view>

namespace quillfen {

struct CatalogIdentity {
    enum class Kind { desktop, flatpak, snap };

    Kind kind;
    std::string_view id;
    std::string_view catalogName;
    // Whether the catalog lists the entry as a command-line tool rather than
    // an application.
    bool isExecutable;
};

class CatalogIdentities {
public:
    CatalogIdentities() = delete;

    // Every ID, in the order of the catalog's Linux data.
    static std::span<const CatalogIdentity> all();
    // The identity of `id` among the IDs of `kind`, or null. IDs are compared
    // exactly.
    static const CatalogIdentity* find(CatalogIdentity::Kind kind, std::string_view id);
};

}  // namespace quillfen
