#include "local/CatalogIdentities.h"

#include <string>
#include <unordered_map>

namespace quillfen {

const CatalogIdentity* CatalogIdentities::find(CatalogIdentity::Kind kind, std::string_view id) {
    // Built once, on first use from any thread (a function-local static), and
    // only read afterwards. The key is the kind's number, a space and the ID.
    static const std::unordered_map<std::string, const CatalogIdentity*> index = [] {
        std::unordered_map<std::string, const CatalogIdentity*> result;
        for (const CatalogIdentity& identity : all()) {
            result.emplace(
                std::to_string(static_cast<int>(identity.kind)) + " " + std::string(identity.id),
                &identity);
        }
        return result;
    }();
    const auto found = index.find(std::to_string(static_cast<int>(kind)) + " " + std::string(id));
    return found == index.end() ? nullptr : found->second;
}

}  // namespace quillfen
