#include "local/LocalAppItem.h"

#include <algorithm>

#include "keel/FinderOrder.h"
#include "keel/URL.h"
#include "local/DesktopEntry.h"
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

LocalAppItem LocalAppItem::fromDesktopEntry(std::filesystem::path file,
                                            const std::string& desktopID, const DesktopEntry& entry,
                                            std::string name, bool inSnapFolder) {
    LocalAppItem item;
    item.packaging = Packaging::desktopEntry;
    item.infoURL = file;
    item.bundleURL = std::move(file);
    item.name = std::move(name);
    item.identifier = desktopID;
    item.version = entry.appImageVersion;
    item.iconName = entry.icon;
    if (entry.flatpakID && isFlatpakID(*entry.flatpakID)) {
        item.packaging = Packaging::flatpak;
        item.identifier = *entry.flatpakID;
        item.sandboxID = *entry.flatpakID;
    } else if (entry.snapInstanceName && isSnapName(*entry.snapInstanceName)) {
        item.packaging = Packaging::snap;
        item.sandboxID = *entry.snapInstanceName;
    } else if (const auto underscore = desktopID.find('_');
               inSnapFolder && underscore != std::string::npos &&
               isSnapName(desktopID.substr(0, underscore))) {
        item.packaging = Packaging::snap;
        item.sandboxID = desktopID.substr(0, underscore);
    }
    return item;
}

bool LocalAppItem::isFlatpakID(std::string_view id) {
    if (id.empty() || id.size() > 255) return false;
    std::size_t elements = 0;
    for (std::size_t start = 0; start <= id.size();) {
        const std::size_t end = std::min(id.find('.', start), id.size());
        const std::string_view element = id.substr(start, end - start);
        if (element.empty() || (element.front() >= '0' && element.front() <= '9')) return false;
        const bool plain = std::all_of(element.begin(), element.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-';
        });
        if (!plain) return false;
        ++elements;
        start = end + 1;
    }
    return elements >= 3;
}

bool LocalAppItem::isSnapName(std::string_view name) {
    const auto lowerOrDigit = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    const auto underscore = name.find('_');
    const std::string_view snap = name.substr(0, underscore);
    if (snap.empty() || snap.size() > 40 || snap.front() == '-' || snap.back() == '-' ||
        snap.find("--") != std::string_view::npos ||
        std::none_of(snap.begin(), snap.end(), [](char c) { return c >= 'a' && c <= 'z'; }) ||
        !std::all_of(snap.begin(), snap.end(),
                     [&](char c) { return lowerOrDigit(c) || c == '-'; })) {
        return false;
    }
    if (underscore == std::string_view::npos) return true;
    const std::string_view key = name.substr(underscore + 1);
    return !key.empty() && key.size() <= 10 && std::all_of(key.begin(), key.end(), lowerOrDigit);
}

bool operator<(const LocalAppItem& a, const LocalAppItem& b) {
    return keel::finderCompare(a.name, b.name) < 0;
}

}  // namespace quillfen
