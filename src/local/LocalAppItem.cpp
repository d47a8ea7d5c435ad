#include "local/LocalAppItem.h"

#include <algorithm>

#include "keel/FinderOrder.h"
#include "keel/URL.h"
#include "local/PropertyList.h"

namespace quillfen {

namespace {

// "Contents/Resources/<name>", with the ".icns" extension added when the
// property list names the file without one, as bundles commonly do. Anything
// but a plain file name (a path, "..", an empty name) is refused.
std::optional<std::filesystem::path> iconFileURLFor(const std::filesystem::path& bundleURL,
                                                    const std::optional<std::string>& iconFile) {
    if (!iconFile || iconFile->empty() || *iconFile == "." || *iconFile == "..") {
        return std::nullopt;
    }
    if (iconFile->find('/') != std::string::npos) return std::nullopt;
    std::filesystem::path fileName(*iconFile);
    if (!fileName.has_extension()) fileName += ".icns";
    return bundleURL / "Contents" / "Resources" / fileName;
}

}  // namespace

LocalAppItem::LocalAppItem(const std::filesystem::path& bundle)
    : bundleURL(bundle),
      name(keel::lastPathTitle(bundle)),
      infoURL(bundle / "Contents" / "Info.plist") {
    PropertyList info = PropertyList::fromFile(infoURL);
    identifier = info.string("CFBundleIdentifier");
    version = info.string("CFBundleShortVersionString");
    containers = info.dictionaryKeys("NSUbiquitousContainers");
    std::sort(containers.begin(), containers.end());
    iconFileURL = iconFileURLFor(bundleURL, info.string("CFBundleIconFile"));
}

bool operator<(const LocalAppItem& a, const LocalAppItem& b) {
    return keel::finderCompare(a.name, b.name) < 0;
}

}  // namespace quillfen
