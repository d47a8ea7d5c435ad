#include "local/LocalFileItem.h"

#include "keel/FinderOrder.h"
#include "keel/URL.h"

namespace quillfen {

LocalFileItem::LocalFileItem(const std::filesystem::path& url)
    : fileURL(url), name(keel::lastPathTitle(url)) {}

bool operator<(const LocalFileItem& a, const LocalFileItem& b) {
    return keel::finderCompare(a.name, b.name) < 0;
}

}  // namespace quillfen
