#include "outfitter/InstallLocation.h"

#include <fstream>

#include "keel/FileManager.h"
#include "outfitter/ReleaseEnvironment.h"
#include "outfitter/UpdateVersion.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

fs::path resolved(const fs::path& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : canonical;
}

// XDG_DOWNLOAD_DIR of user-dirs.dirs: a line XDG_DOWNLOAD_DIR="$HOME/Downloads".
std::optional<fs::path> configuredDownloads(const fs::path& configFolder, const fs::path& home) {
    std::ifstream file(configFolder / "user-dirs.dirs");
    std::string line;
    while (std::getline(file, line)) {
        const std::string key = "XDG_DOWNLOAD_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) return home / fs::path(value.substr(5)).relative_path();
        if (!value.empty() && value.front() == '/') return fs::path(value);
    }
    return std::nullopt;
}

}  // namespace

bool InstallLocation::isInside(const fs::path& path, const fs::path& folder) {
    if (folder.empty()) return false;
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing slash
        if (p == path.end() || *p != *f) return false;
    }
    return true;
}

InstallLocation InstallLocation::detect(const ReleaseEnvironment& environment) {
    const SystemSources& sources = environment.sources;
    std::string sandbox;
    std::error_code ignored;
    if (sources.variable("FLATPAK_ID") || fs::exists(sources.root / ".flatpak-info", ignored))
        sandbox = "Flatpak";
    else if (sources.variable("SNAP"))
        sandbox = "Snap";

    Folders folders;
    folders.home = resolved(environment.home.empty() ? keel::FileManager::noSandboxHomeURL()
                                                     : environment.home);
    const auto configHome = sources.variable("XDG_CONFIG_HOME");
    const fs::path config = configHome && !configHome->empty() && configHome->front() == '/'
                                ? fs::path(*configHome)
                                : folders.home / ".config";
    if (auto downloads = configuredDownloads(config, folders.home))
        folders.downloads.push_back(resolved(*downloads));
    folders.downloads.push_back(resolved(folders.home / "Downloads"));
    for (const char* folder : {"/tmp", "/var/tmp", "/dev/shm"})
        folders.temporary.push_back(resolved(folder));
    if (auto tmpdir = sources.variable("TMPDIR"); tmpdir && !tmpdir->empty())
        folders.temporary.push_back(resolved(*tmpdir));

    fs::path program = environment.program;
    if (program.empty()) program = fs::read_symlink("/proc/self/exe", ignored);
    return classify(resolved(program), folders, sandbox);
}

InstallLocation InstallLocation::classify(const fs::path& program, const Folders& folders,
                                          const std::string& sandbox) {
    InstallLocation location;
    location.program = program;
    location.sandbox = sandbox;
    if (!sandbox.empty()) {
        location.kind = Kind::sandboxed;
        return location;
    }
    if (isInside(program, "/usr")) {
        location.kind = Kind::systemPackage;
        return location;
    }
    const fs::path bin = program.parent_path();
    if (bin.filename() != "bin" || program.filename().empty()) {
        location.kind = Kind::unmanaged;
        return location;
    }
    const fs::path release = bin.parent_path();
    // <prefix>/lib/quillfen/<version>/bin/<name>
    const fs::path libFolder = release.parent_path();
    if (isInside(program, folders.home) && UpdateVersion::parse(release.filename().string()) &&
        libFolder.filename() == "quillfen" && libFolder.parent_path().filename() == "lib") {
        location.kind = Kind::perUser;
        location.prefix = libFolder.parent_path().parent_path();
        location.installedVersion = release.filename().string();
        return location;
    }
    for (const fs::path& downloads : folders.downloads) {
        if (isInside(release, downloads) && release != downloads) {
            location.kind = Kind::temporaryFolder;
            location.prefix = release;
            return location;
        }
    }
    if (isInside(program, folders.home)) {
        location.kind = Kind::plainPrefix;
        location.prefix = release;
        return location;
    }
    for (const fs::path& temporary : folders.temporary) {
        if (isInside(release, temporary) && release != temporary) {
            location.kind = Kind::temporaryFolder;
            location.prefix = release;
            return location;
        }
    }
    location.kind = Kind::unmanaged;
    return location;
}

}  // namespace outfitter
