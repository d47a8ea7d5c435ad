#include "local/LocalFileItem.h"

#include "keel/FinderOrder.h"
#include "keel/URL.h"

namespace quillfen {

LocalFileItem::LocalFileItem(const std::filesystem::path& fileURL)
    : fileURL(fileURL), name(keel::lastPathTitle(fileURL)) {}

bool operator<(const LocalFileItem& a, const LocalFileItem& b) {
    return keel::finderCompare(a.name, b.name) < 0;
}

}  // namespace quillfen
