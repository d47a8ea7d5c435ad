#include "HomeGenerator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <system_error>
#include <unordered_set>

#include "catalog/SyncConfiguration.h"
#include "local/CatalogIdentities.h"

namespace fs = std::filesystem;

namespace quillfen::bench {

namespace {

// splitmix64: small, fast and the same everywhere, unlike the standard
// library's distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound).
    std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
    // Log-uniform in [low, high]: many small values, a few large ones, as
    // settings files and folders come in real homes.
    std::size_t logUniform(std::size_t low, std::size_t high) {
        const double unit = static_cast<double>(next() >> 11) / static_cast<double>(1ULL << 53);
        const double value = std::exp(
            std::log(static_cast<double>(low)) +
            unit * (std::log(static_cast<double>(high)) - std::log(static_cast<double>(low))));
        return std::clamp(static_cast<std::size_t>(value), low, high);
    }

private:
    std::uint64_t state_;
};

std::uint64_t hashOf(const std::string& text) {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

[[noreturn]] void throwErrno(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

// Writes `size` bytes of text (or of binary noise) made from `random`.
void writeFile(const fs::path& path, std::size_t size, Random& random, bool binary,
               const std::string& header = {}) {
    std::string content = header.substr(0, size);
    content.reserve(size);
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 =._-";
    while (content.size() < size) {
        std::uint64_t bits = random.next();
        for (int i = 0; i < 8 && content.size() < size; ++i, bits >>= 8) {
            if (binary) {
                content.push_back(static_cast<char>(bits & 0xff));
            } else if ((bits & 0x3f) == 0x3f) {
                content.push_back('\n');
            } else {
                content.push_back(alphabet[(bits & 0xff) % (sizeof alphabet - 1)]);
            }
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throwErrno("cannot create", path);
    for (std::size_t written = 0; written < content.size();) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            throwErrno("cannot write", path);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) throwErrno("cannot write", path);
}

// Dates a file or folder some time in the last year or so, as settings are.
void setAge(const fs::path& path, Random& random) {
    const std::time_t now = std::time(nullptr);
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec =
        now - 3600 - static_cast<std::time_t>(random.below(400 * 86400));
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(random.below(1000000000));
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throwErrno("cannot date", path);
}

enum class Shape { propertyList, dotfile, folder };

// How a catalog path is laid out on disk. The catalog does not say whether a
// path is a file or a folder; names tell well enough: property lists and
// names with an extension are files, a top-level dotfile ending like a
// configuration file is a file, everything else is a settings folder.
Shape shapeOf(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    if (name.ends_with(".plist")) return Shape::propertyList;
    const auto dot = name.find('.', 1);
    if (dot != std::string::npos && dot + 1 < name.size()) return Shape::dotfile;
    const bool topLevel = path.find('/') == std::string::npos;
    if (topLevel && name.starts_with('.') &&
        (name.ends_with("rc") || name.ends_with("config") || name.ends_with("profile") ||
         name.find("ignore") != std::string::npos)) {
        return Shape::dotfile;
    }
    return Shape::folder;
}

// Whether two settings paths are the same or one lies inside the other.
bool overlaps(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const auto inside = [](const std::string& inner, const std::string& outer) {
        return inner.size() > outer.size() && inner.starts_with(outer) &&
               inner[outer.size()] == '/';
    };
    return inside(a, b) || inside(b, a);
}

struct Builder {
    GeneratedHome& result;

    void file(const fs::path& path, std::size_t size, Random& random, bool binary,
              const std::string& header = {}) {
        writeFile(path, size, random, binary, header);
        setAge(path, random);
        ++result.fileCount;
        result.byteCount += size;
    }

    void propertyList(const fs::path& path, Random& random) {
        static const std::string header =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
            "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
            "version=\"1.0\">\n<dict>\n";
        file(path, random.logUniform(1024, 64 * 1024), random, false, header);
    }

    // A settings folder of `count` small files, in the folder itself and in a
    // few subfolders, some of them nested.
    void folder(const fs::path& path, std::size_t count, Random& random) {
        static constexpr const char* extensions[] = {"json", "xml", "conf", "txt",
                                                     "db",   "ini", "cfg",  "yml"};
        fs::create_directories(path);
        ++result.folderCount;
        std::vector<fs::path> folders{path};
        const std::size_t subfolders = count / 40;
        for (std::size_t i = 0; i < subfolders; ++i) {
            const fs::path& parent = folders[random.below(folders.size())];
            const fs::path sub = parent / ("group-" + std::to_string(i));
            fs::create_directory(sub);
            ++result.folderCount;
            folders.push_back(sub);
        }
        for (std::size_t i = 0; i < count; ++i) {
            const fs::path& parent = folders[random.below(folders.size())];
            const std::string name =
                "item-" + std::to_string(i) + "." + extensions[random.below(std::size(extensions))];
            file(parent / name, random.logUniform(64, 8 * 1024), random, false);
        }
        // Deepest first, so that filling a folder does not re-date its parent.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            setAge(*it, random);
    }
};

std::vector<std::string> catalogAppNames() {
    const auto& execs = SyncConfiguration::execNames();
    const std::unordered_set<std::string> execSet(execs.begin(), execs.end());
    std::set<std::string> names;
    for (const auto& entry : SyncConfiguration::catalog()) {
        if (!execSet.contains(entry.name)) names.insert(entry.name);
    }
    return {names.begin(), names.end()};
}

std::string identifierFor(const std::string& name, std::size_t index) {
    std::string slug;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return "com.example.bench" + std::to_string(index) + "." + (slug.empty() ? "app" : slug);
}

}  // namespace

GeneratedHome generateHome(const fs::path& home, std::size_t targetFiles) {
    if (fs::exists(home)) {
        throw fs::filesystem_error("the home folder to generate exists already", home,
                                   std::make_error_code(std::errc::file_exists));
    }
    GeneratedHome result;
    result.home = home;
    fs::create_directories(home);
    Builder build{result};

    // The large files come first so that the settings fill the rest.
    const std::size_t largeCount = std::max<std::size_t>(2, targetFiles / 2000);
    for (std::size_t i = 0; i < largeCount; ++i) {
        const std::string path = "Documents/Settings Archives/archive-" + std::to_string(i) + ".db";
        Random random(hashOf(path));
        fs::create_directories((home / path).parent_path());
        build.file(home / path, random.logUniform(3 << 20, 8 << 20), random, true);
        result.filePaths.push_back(path);
        result.settingsPaths.push_back(path);
    }

    // Catalog entries in one fixed shuffled order, applications and
    // executables mixed, each taken whole or not at all.
    const auto& execs = SyncConfiguration::execNames();
    const std::unordered_set<std::string> execSet(execs.begin(), execs.end());
    std::vector<std::string> names = catalogAppNames();
    names.insert(names.end(), execs.begin(), execs.end());
    std::sort(names.begin(), names.end());
    Random order(20240611);
    for (std::size_t i = names.size(); i > 1; --i)
        std::swap(names[i - 1], names[order.below(i)]);

    // Every path of every entry taken, whether created or not: the item
    // stands for all of them.
    std::vector<std::string> claimed = result.settingsPaths;
    const auto& byName = SyncConfiguration::catalogByName();
    for (const std::string& name : names) {
        if (result.fileCount >= targetFiles) break;
        const auto entry = byName.find(name);
        if (entry == byName.end()) continue;
        // The paths this computer uses, as the core finds them.
        const std::vector<std::string>& paths = entry->second.pathsOn(thisPlatform());
        if (paths.empty()) continue;

        // Two entries may name the same path, or one inside the other's
        // folder: such an entry is left out rather than shaped twice.
        bool clashes = false;
        for (std::size_t p = 0; p < paths.size() && !clashes; ++p) {
            if (paths[p].empty() || paths[p].starts_with('/')) clashes = true;
            for (const auto& taken : claimed)
                clashes = clashes || overlaps(paths[p], taken);
            for (std::size_t q = 0; q < p; ++q)
                clashes = clashes || overlaps(paths[p], paths[q]);
        }
        if (clashes) continue;
        claimed.insert(claimed.end(), paths.begin(), paths.end());

        // Of an entry with many paths (every version of an application, say)
        // a home holds a few; the first is always there.
        bool createdAny = false;
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const std::string& path = paths[p];
            const bool wanted = p == 0 || paths.size() <= 4 || hashOf(path) % 4 == 0;
            if (!wanted || (createdAny && result.fileCount >= targetFiles)) continue;
            createdAny = true;
            Random random(hashOf(path));
            const fs::path location = home / path;
            fs::create_directories(location.parent_path());
            switch (shapeOf(path)) {
                case Shape::propertyList:
                    build.propertyList(location, random);
                    break;
                case Shape::dotfile:
                    build.file(location, random.logUniform(1024, 64 * 1024), random, false);
                    break;
                case Shape::folder: {
                    const std::size_t files = random.logUniform(10, 500);
                    const std::size_t left =
                        targetFiles > result.fileCount ? targetFiles - result.fileCount : 0;
                    build.folder(location, std::clamp<std::size_t>(left, 10, files), random);
                    break;
                }
            }
            result.settingsPaths.push_back(path);
        }
        (execSet.contains(name) ? result.execNames : result.appNames).push_back(name);
    }
    std::sort(result.settingsPaths.begin(), result.settingsPaths.end());
    return result;
}

std::vector<std::string> generateDesktopEntries(const fs::path& folder, std::size_t count) {
    if (fs::exists(folder)) {
        throw fs::filesystem_error("the applications folder to generate exists already", folder,
                                   std::make_error_code(std::errc::file_exists));
    }
    fs::create_directories(folder);
    std::vector<std::string> names = catalogAppNames();
    if (names.size() > count) names.resize(count);
    for (std::size_t i = 1; names.size() < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Sample App %03zu", i);
        names.emplace_back(name);
    }
    // The desktop IDs the catalog knows its applications by, so that those
    // entries are named as installed ones are.
    std::map<std::string, std::string> knownIDs;
    for (const CatalogIdentity& identity : CatalogIdentities::all()) {
        if (identity.kind == CatalogIdentity::Kind::desktop)
            knownIDs.emplace(identity.catalogName, identity.id);
    }
    static constexpr const char* languages[] = {"de", "es",    "fr", "it", "ja",
                                                "nl", "pt_BR", "ru", "sv", "zh_CN"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto known = knownIDs.find(names[i]);
        const std::string id = known != knownIDs.end() ? known->second : identifierFor(names[i], i);
        // Shaped like a packaged entry: translations, categories, an action.
        std::string text = "[Desktop Entry]\nVersion=1.0\nType=Application\nName=" + names[i] +
                           "\nComment=Settings benchmark application " + std::to_string(i) + "\n";
        for (const char* language : languages) {
            text += std::string("Name[") + language + "]=" + names[i] + "\n";
            text +=
                std::string("Comment[") + language + "]=Application " + std::to_string(i) + "\n";
        }
        text += "Exec=" + id + " %U\nIcon=" + id +
                "\nTerminal=false\nCategories=Utility;Development;\n"
                "MimeType=text/plain;\nStartupNotify=true\nActions=new-window;\n\n"
                "[Desktop Action new-window]\nName=New Window\nExec=" +
                id + " --new-window\n";
        Random random(hashOf(names[i]));
        writeFile(folder / (id + ".desktop"), text.size(), random, false, text);
    }
    return names;
}

}  // namespace quillfen::bench
