// quillfen_bench: measures what a user feels of Quillfen on a realistic home
// folder, each figure against what the system's own tools need for the same
// files, timed in the same run:
//   - a back-up into an empty package, against `cp -a` of the same paths;
//   - an install into an empty home, against `cp -a` back;
//   - a synchronize with nothing changed, against a loop that only reads the
//     modification date of every settings path and of everything in the
//     folders among them, and against `rsync -a --dry-run` of the same paths;
//   - a full viewer reload (500 applications installed from desktop entries),
//     against the same loop over its paths;
//   - the save after one edit of one list: the files and bytes it writes;
//   - the `quillfen backup` command: its time and peak memory, against
//     `cp -a` as the back-up inside it;
//   - the `quillfen status` command, against the stat floor of the reload it
//     shows;
//   - on a btrfs image that the harness loop-mounts when it runs as root, a
//     back-up and an install, whose copies are clones there, against
//     `cp -a --reflink=always` and against the stat floor of the copied
//     paths, and the space the back-up took.
// Every figure is taken for each size, so the growth per file shows.
//
// In-process figures are timed by Google Benchmark (real time, the engine
// works on threads); commands and tools are timed from start to exit. Each
// benchmark checks what it did (every path restored, nothing copied by a
// synchronize, one file written by a save) and fails loudly otherwise: a
// fast wrong run is no result. The repetitions of all benchmarks run in
// random order, so that a busy moment of a shared machine spreads over the
// figures instead of spoiling one.
//
// Usage: quillfen_bench --work DIR [--quillfen PATH] [--runs N] [--check]
//        [SIZE...] [--benchmark_...]; see bench/run. With --check the exit
//        status is 1 when a goal of the table is missed.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FileTree.h"
#include "HomeGenerator.h"
#include "Process.h"
#include "ReflinkVolume.h"
#include "TextTable.h"
#include "app/BackupViewer.h"
#include "backup/BackupFile.h"
#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "sync/SyncEngine.h"

namespace fs = std::filesystem;
using namespace quillfen;
using namespace quillfen::bench;

namespace {

constexpr std::size_t kApplicationCount = 500;
constexpr double kCopyGoal = 1.25;        // back-up and install, against cp -a
constexpr double kCommandCopyGoal = 1.5;  // the whole `quillfen backup` process, against cp -a
constexpr double kScanGoal = 1.5;         // nothing-changed synchronize and reload, against stat
constexpr double kCommandScanGoal = 2.0;  // the whole `quillfen status` process, against stat
constexpr double kGrowthMargin = 1.2;     // cost growth allowed per growth in files
constexpr double kMemoryGoalMiB = 64.0;   // peak memory of a back-up
constexpr int kFloorLoopsPerRun = 10;     // the stat floors are too short to time once
constexpr int kShortFigureRunFactor = 3;  // more runs of the figures of a few milliseconds

struct Options {
    fs::path work;
    fs::path quillfen;
    std::vector<std::size_t> sizes{1000, 10000};
    int runs = 9;
    // Exit with 1 when a goal is missed.
    bool check = false;
    std::vector<std::string> benchmarkFlags;
};

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr,
                 "quillfen_bench: %s\n"
                 "usage: quillfen_bench --work DIR [--quillfen PATH] [--runs N] [--check] "
                 "[SIZE...]\n"
                 "  SIZE   number of files of a generated home (default 1000 10000; one SIZE\n"
                 "         replaces the larger)\n",
                 message.c_str());
    std::exit(2);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(argument + " needs a value");
            return argv[++i];
        };
        if (argument == "--work") {
            options.work = value();
        } else if (argument == "--quillfen") {
            options.quillfen = value();
        } else if (argument == "--runs") {
            options.runs = std::atoi(value().c_str());
            if (options.runs < 1 || options.runs > 100) usage("--runs takes 1 to 100");
        } else if (argument == "--check") {
            options.check = true;
        } else if (argument.starts_with("--benchmark_")) {
            options.benchmarkFlags.push_back(argument);
        } else if (!argument.empty() &&
                   argument.find_first_not_of("0123456789") == std::string::npos) {
            const std::size_t size = argument.size() > 7 ? 0 : std::stoul(argument);
            if (size < 100 || size > 1000000) usage("a size is 100 to 1000000 files");
            sizes.push_back(size);
        } else {
            usage("unknown argument " + argument);
        }
    }
    if (options.work.empty()) usage("--work is required");
    if (sizes.size() == 1) sizes.insert(sizes.begin(), options.sizes.front());
    if (!sizes.empty()) options.sizes = sizes;
    std::sort(options.sizes.begin(), options.sizes.end());
    options.sizes.erase(std::unique(options.sizes.begin(), options.sizes.end()),
                        options.sizes.end());
#ifdef QUILLFEN_BINARY
    if (options.quillfen.empty()) options.quillfen = QUILLFEN_BINARY;
#endif
    if (options.quillfen.empty()) usage("--quillfen is required");
    options.work = fs::absolute(options.work);
    options.quillfen = fs::absolute(options.quillfen);
    return options;
}

// A line on standard error with the seconds since the start, so that a slow
// stage shows.
[[gnu::format(printf, 1, 2)]] void progress(const char* format, ...) {
    static const auto start = std::chrono::steady_clock::now();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "bench [%6.1f s]: ", elapsed);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

void require(bool condition, const std::string& message) {
    if (!condition) throw std::runtime_error(message);
}

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < 5; ++i)
        text += (i ? ", " : "") + items[i];
    if (items.size() > 5) text += ", ... (" + std::to_string(items.size()) + " in all)";
    return text;
}

std::string describe(const SyncLogs& logs) {
    std::vector<std::string> failures;
    for (const SyncResult& result : logs.results()) {
        for (const auto& [path, error] : result.errors)
            failures.push_back(path + ": " + error.description);
    }
    return listed(failures);
}

void setHome(const fs::path& home) {
    ::setenv("HOME", home.c_str(), 1);
}

// Delivers the announcements the package and the viewer posted to the main
// queue, as a front end's event loop would between two actions.
void drainAnnouncements() {
    keel::DispatchQueue::drainMain();
}

std::size_t countEntries(const fs::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

// Reads the modification date of every path, and of everything inside the
// paths that are folders, and nothing else: what telling whether anything
// changed needs at the least. Each folder is read relative to its parent.
// Returns how many dates it read.
std::size_t statFloor(const std::vector<std::string>& paths) {
    using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;
    const auto open = [](int parent, const char* name) -> Directory {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return {nullptr, ::closedir};
        DIR* dir = ::fdopendir(fd);
        if (!dir) ::close(fd);
        return {dir, ::closedir};
    };
    std::size_t count = 0;
    std::int64_t sum = 0;
    for (const auto& path : paths) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        ++count;
        sum += info.st_mtim.tv_nsec;
        if (!S_ISDIR(info.st_mode)) continue;
        std::vector<Directory> stack;
        if (Directory root = open(AT_FDCWD, path.c_str())) stack.push_back(std::move(root));
        while (!stack.empty()) {
            DIR* current = stack.back().get();
            const dirent* entry = ::readdir(current);
            if (!entry) {
                stack.pop_back();
                continue;
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (::fstatat(::dirfd(current), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            ++count;
            sum += info.st_mtim.tv_nsec;
            if (S_ISDIR(info.st_mode)) {
                if (Directory child = open(::dirfd(current), entry->d_name))
                    stack.push_back(std::move(child));
            }
        }
    }
    benchmark::DoNotOptimize(sum);
    return count;
}

// The differences between a tree and its copy, dates included, but for the
// own dates of the folders among `roots` (paths in the snapshots): a
// folder's copy, in the package and then installed, is dated by the newest
// date in it, so that its date tells the age of its content.
std::vector<std::string> copyDifferences(TreeSnapshot expected, TreeSnapshot found,
                                         const std::vector<std::string>& roots) {
    for (const auto& root : roots) {
        for (TreeSnapshot* tree : {&expected, &found}) {
            const auto entry = tree->find(root);
            if (entry != tree->end() && entry->second.type == S_IFDIR) entry->second.modified = {};
        }
    }
    return differences(expected, found, true, false);
}

// One generated home with its packages, reference copies and path lists.
struct Scenario {
    std::size_t size = 0;
    fs::path root;
    GeneratedHome home;
    TreeSnapshot homeSnapshot;             // of the settings paths
    fs::path templatePackage;              // the records only
    fs::path fullPackage;                  // after one back-up
    fs::path savePackage;                  // a copy of the full package that the save figure edits
    fs::path reference;                    // cp -a of the settings paths
    std::vector<std::string> syncPaths;    // every settings path a run looks at
    std::vector<std::string> viewerPaths;  // every settings path a full reload looks at
    std::shared_ptr<BackupViewer> viewer;
    std::size_t execCount = 0;
    long copyMaxResidentKiB = 0;      // of cp -a copying the settings paths
    std::size_t syncDateCount = 0;    // dates the stat floor of a run reads
    std::size_t viewerDateCount = 0;  // dates the stat floor of a reload reads
};

// The same home again on a file system that shares blocks between files.
struct ReflinkScenario {
    const Scenario* base = nullptr;
    fs::path root;
    fs::path home;
    TreeSnapshot homeSnapshot;  // of the settings paths, on btrfs
    fs::path templatePackage;
    fs::path fullPackage;
    fs::path reference;                    // cp -a --reflink=always of the settings paths
    std::vector<std::string> copiedPaths;  // every settings path, absolute
    std::size_t copiedDateCount = 0;       // dates the stat floor of the copied paths reads
};

class Harness {
public:
    explicit Harness(Options options) : options_(std::move(options)) {}

    void prepare();
    void registerBenchmarks();
    int report(const class TableReporter& reporter) const;

    const Options& options() const { return options_; }

private:
    void prepareScenario(Scenario& scenario);
    std::vector<std::string> environmentFor(const fs::path& home) const;
    ProcessSpec copySpec(const Scenario& s, const fs::path& from, const fs::path& to) const;
    ProcessSpec rsyncSpec(const Scenario& s, bool itemize) const;
    ProcessSpec backupCommandSpec(const Scenario& s, const fs::path& package) const;
    ProcessSpec statusCommandSpec(const Scenario& s) const;
    void runOrThrow(const ProcessSpec& spec, const std::string& what) const;
    void prepareReflinkFigures();
    void prepareReflinkScenario(ReflinkScenario& r);
    ProcessSpec reflinkCopySpec(const ReflinkScenario& r, const fs::path& from,
                                const fs::path& to) const;
    void registerReflinkBenchmarks();
    void addReflinkRows(TextTable& table, const class TableReporter& reporter) const;

    Options options_;
    fs::path systemData_;
    fs::path logs_;
    std::vector<std::unique_ptr<Scenario>> scenarios_;
    // The btrfs volume, or why there is none; its scenarios go before it.
    std::unique_ptr<ReflinkVolume> reflinkVolume_;
    std::string reflinkSkipped_;
    std::vector<std::unique_ptr<ReflinkScenario>> reflinkScenarios_;
};

std::vector<std::string> Harness::environmentFor(const fs::path& home) const {
    // The commands keep their cache of the desktop entries in the work
    // folder too: after the first command, every one finds it, as on a
    // computer where Quillfen has run before.
    return {"HOME=" + home.string(),
            "XDG_CONFIG_HOME=" + (options_.work / "config").string(),
            "XDG_DATA_HOME=" + (options_.work / "data").string(),
            "XDG_CACHE_HOME=" + (options_.work / "cache").string(),
            "XDG_DATA_DIRS=" + systemData_.string(),
            "LC_ALL=C.UTF-8"};
}

ProcessSpec Harness::copySpec(const Scenario& s, const fs::path& from, const fs::path& to) const {
    ProcessSpec spec;
    spec.arguments = {"cp", "-a", "--parents"};
    spec.arguments.insert(spec.arguments.end(), s.home.settingsPaths.begin(),
                          s.home.settingsPaths.end());
    spec.arguments.push_back(to.string());
    spec.directory = from;
    spec.log = logs_ / "cp.log";
    return spec;
}

ProcessSpec Harness::rsyncSpec(const Scenario& s, bool itemize) const {
    ProcessSpec spec;
    spec.arguments = {"rsync", "-a", "--dry-run", "--relative", "--no-implied-dirs"};
    if (itemize) spec.arguments.push_back("--itemize-changes");
    spec.arguments.insert(spec.arguments.end(), s.home.settingsPaths.begin(),
                          s.home.settingsPaths.end());
    spec.arguments.push_back(s.reference.string() + "/");
    spec.directory = s.home.home;
    spec.log = logs_ / (itemize ? "rsync-check-" + std::to_string(s.size) + ".log" : "rsync.log");
    return spec;
}

ProcessSpec Harness::backupCommandSpec(const Scenario& s, const fs::path& package) const {
    ProcessSpec spec;
    spec.arguments = {options_.quillfen.string(), "--package", package.string(), "backup"};
    spec.environment = environmentFor(s.home.home);
    spec.log = logs_ / "quillfen.log";
    return spec;
}

// `quillfen status` of the package after one back-up, on the home it was
// made of: a read and one reload of the viewer, as a whole process.
ProcessSpec Harness::statusCommandSpec(const Scenario& s) const {
    ProcessSpec spec;
    spec.arguments = {options_.quillfen.string(), "--package", s.fullPackage.string(), "status"};
    spec.environment = environmentFor(s.home.home);
    spec.log = logs_ / "quillfen-status.log";
    return spec;
}

void Harness::runOrThrow(const ProcessSpec& spec, const std::string& what) const {
    const ProcessResult result = runProcess(spec);
    require(result.status == 0, what + " failed with status " + std::to_string(result.status) +
                                    "; see " + spec.log.string());
}

void Harness::prepare() {
    // The work folder is emptied: only a new or empty folder, or one that an
    // earlier run marked as its own, so that a mistyped path loses nothing.
    const fs::path marker = options_.work / ".quillfen-bench";
    if (fs::exists(options_.work) && !fs::is_empty(options_.work) && !fs::exists(marker)) {
        throw std::runtime_error(options_.work.string() +
                                 " is not empty and not a work folder of an earlier run; give "
                                 "a new or empty folder");
    }
    progress("emptying %s", options_.work.c_str());
    emptyFolder(options_.work);
    std::ofstream(marker) << "Work folder of quillfen_bench; emptied by every run.\n";
    logs_ = options_.work / "logs";
    fs::create_directories(logs_);
    fs::create_directories(options_.work / "config");
    fs::create_directories(options_.work / "data");
    ::setenv("XDG_CONFIG_HOME", (options_.work / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (options_.work / "data").c_str(), 1);
    keel::UserSettings::standard().setFileURL(options_.work / "config" / "bench-settings.json");
    keel::DispatchQueue::markCurrentThreadAsMain();
    // No preferences tool: the figures are about Quillfen's own work.
    SyncEngine::setPreferencesToolPath(options_.work / "no-preferences-tool");

    // Installed applications come from desktop entries, as on a Linux
    // desktop: one system data folder whose applications folder holds them.
    systemData_ = options_.work / "share";
    progress("generating %zu desktop entries", kApplicationCount);
    generateDesktopEntries(systemData_ / "applications", kApplicationCount);
    ::setenv("XDG_DATA_DIRS", systemData_.c_str(), 1);
    LocalResources::setApplicationsDirectory({});
    LocalResources::setDesktopEntryFolders({systemData_ / "applications"});
    require(LocalResources::shared().appItems().size() == kApplicationCount,
            "the desktop entries do not list every generated application");

    // The command keeps its disk-access grant in the settings folder given.
    ProcessSpec authorize;
    authorize.arguments = {options_.quillfen.string(), "authorize", "--yes"};
    authorize.environment = environmentFor(options_.work);
    authorize.log = logs_ / "quillfen.log";
    runOrThrow(authorize, "quillfen authorize");

    for (const std::size_t size : options_.sizes) {
        auto scenario = std::make_unique<Scenario>();
        scenario->size = size;
        scenario->root = options_.work / std::to_string(size);
        prepareScenario(*scenario);
        scenarios_.push_back(std::move(scenario));
    }
    prepareReflinkFigures();
}

void Harness::prepareScenario(Scenario& s) {
    progress("generating a home of about %zu files", s.size);
    s.home = generateHome(s.root / "home", s.size);
    s.homeSnapshot = snapshot(s.home.home, s.home.settingsPaths);
    setHome(s.home.home);

    // The package records every generated item, enabled.
    s.templatePackage = s.root / "template.qfbackup";
    {
        auto file = BackupFile::open(s.templatePackage);
        std::vector<BackupAppItem> apps;
        for (const auto& name : s.home.appNames)
            apps.push_back({name, true, std::nullopt});
        std::vector<BackupExecItem> execs;
        for (const auto& name : s.home.execNames)
            execs.push_back({name, true, std::nullopt});
        std::vector<BackupFileItem> files;
        for (const auto& path : s.home.filePaths)
            files.push_back({path, true, std::nullopt});
        file->setAppItems(apps);
        file->setExecItems(execs);
        file->setFileItems(files);
        file->save();
    }
    drainAnnouncements();

    // The paths a run and a full reload look at, as the core finds them.
    for (const auto& name : s.home.appNames) {
        for (const auto& path : SyncPathsFinder::forApp(name).paths)
            s.syncPaths.push_back(PathConverter::url(path).string());
    }
    for (const auto& name : s.home.execNames) {
        const auto paths = SyncPathsFinder::forExec(name).paths;
        for (const auto& path : std::set<std::string>(paths.begin(), paths.end()))
            s.syncPaths.push_back(PathConverter::url(path).string());
    }
    for (const auto& path : s.home.filePaths)
        s.syncPaths.push_back(PathConverter::url(path).string());

    // One back-up makes the package the other figures start from; it must
    // hold a copy of every settings path, byte for byte.
    progress("checking a back-up, an install and a synchronize of %zu files", s.home.fileCount);
    s.fullPackage = s.root / "full.qfbackup";
    keel::FileManager::overwritingCopy(s.templatePackage, s.fullPackage);
    {
        auto file = BackupFile::open(s.fullPackage);
        const SyncLogs logs = SyncEngine(file, SyncAction::backUp).run();
        require(logs.results().empty(), "the back-up failed: " + describe(logs));
        std::vector<std::string> missing;
        for (const auto& path : s.home.settingsPaths) {
            const auto record = file->dataItem(path);
            if (!record) {
                missing.push_back(path);
                continue;
            }
            const fs::path copy = s.fullPackage / "Data" / (record->uuid + ".qfdata");
            const TreeSnapshot original = snapshot(s.home.home / path);
            const TreeSnapshot copied = snapshot(copy);
            if (!copyDifferences(original, copied, {""}).empty()) missing.push_back(path);
            for (const auto& [relative, entry] : original) {
                const auto inside = [&](const fs::path& root) {
                    return relative.empty() ? root : root / relative;
                };
                if (entry.type == S_IFREG &&
                    !sameContents(inside(s.home.home / path), inside(copy)))
                    missing.push_back(path + "/" + relative);
            }
        }
        require(missing.empty(), "the back-up did not copy " + listed(missing));
        require(countEntries(s.fullPackage / "Data") == s.home.settingsPaths.size(),
                "the back-up left other data copies behind");
    }
    drainAnnouncements();

    // An install into an empty home restores every path with its contents
    // and dates.
    {
        const fs::path home = s.root / "check-home";
        emptyFolder(home);
        setHome(home);
        auto file = BackupFile::open(s.fullPackage);
        const SyncLogs logs = SyncEngine(file, SyncAction::install).run();
        setHome(s.home.home);
        require(logs.results().empty(), "the install failed: " + describe(logs));
        const TreeSnapshot restored = snapshot(home, s.home.settingsPaths);
        std::vector<std::string> wrong =
            copyDifferences(s.homeSnapshot, restored, s.home.settingsPaths);
        for (const auto& [path, entry] : s.homeSnapshot) {
            if (entry.type == S_IFREG && !sameContents(s.home.home / path, home / path))
                wrong.push_back(path + " (contents)");
        }
        require(wrong.empty(), "the install did not restore " + listed(wrong));
        removeTree(home);
    }
    drainAnnouncements();

    // A synchronize right after the back-up copies nothing either way.
    {
        const TreeSnapshot data = snapshot(s.fullPackage / "Data");
        auto file = BackupFile::open(s.fullPackage);
        const SyncLogs logs = SyncEngine(file, SyncAction::synchronize).run();
        require(logs.results().empty(), "the synchronize failed: " + describe(logs));
        require(differences(data, snapshot(s.fullPackage / "Data"), true, true).empty(),
                "a synchronize with nothing changed rewrote data copies");
        require(differences(s.homeSnapshot, snapshot(s.home.home, s.home.settingsPaths), true, true)
                    .empty(),
                "a synchronize with nothing changed rewrote local settings");
    }
    drainAnnouncements();

    progress("copying with cp -a and comparing with rsync");
    // The system's copy of the same paths, which rsync then finds up to date.
    s.reference = s.root / "reference";
    emptyFolder(s.reference);
    ProcessSpec copy = copySpec(s, s.home.home, s.reference);
    copy.measureMemory = true;
    const ProcessResult copied = runProcess(copy);
    require(copied.status == 0, "cp -a failed; see " + copy.log.string());
    s.copyMaxResidentKiB = copied.maxResidentKiB;
    runOrThrow(rsyncSpec(s, true), "rsync --dry-run");
    require(fs::file_size(logs_ / ("rsync-check-" + std::to_string(s.size) + ".log")) == 0,
            "rsync finds differences between the home and its copy");

    // The viewer shows the package with every installed application and
    // every executable of the catalog.
    s.viewer = BackupViewer::create();
    s.viewer->setBackupFile(BackupFile::open(s.fullPackage));
    s.viewer->reload(true);
    drainAnnouncements();
    s.execCount = s.viewer->backupExecEntries().size();
    require(s.viewer->backupAppEntries().size() == kApplicationCount,
            "the viewer does not list every installed application");
    require(s.execCount == SyncConfiguration::execNames().size(),
            "the viewer does not list every executable of the catalog");
    for (const auto& entry : s.viewer->backupAppEntries()) {
        for (const auto& [path, state] : entry.state.states)
            s.viewerPaths.push_back(state.url.string());
    }
    for (const auto& entry : s.viewer->backupExecEntries()) {
        for (const auto& [path, state] : entry.state.states)
            s.viewerPaths.push_back(state.url.string());
    }
    for (const auto& entry : s.viewer->backupFileEntries())
        s.viewerPaths.push_back(entry.state.url.string());

    s.syncDateCount = statFloor(s.syncPaths);
    s.viewerDateCount = statFloor(s.viewerPaths);

    s.savePackage = s.root / "save.qfbackup";
    keel::FileManager::overwritingCopy(s.fullPackage, s.savePackage);
}

// The btrfs figures: each home again on a loop-mounted btrfs image, where a
// back-up and an install clone every file. Without root, btrfs-progs or a
// loop device they are left out, and the table says why.
void Harness::prepareReflinkFigures() {
    std::uintmax_t bytes = 0;
    for (const auto& s : scenarios_)
        bytes += s->home.byteCount;
    // Sparse: the image takes only what is written, and clones write little.
    // Room for every home, its reference copy and a copy of each that a
    // fallback to plain copies would need, with btrfs's own margin.
    const unsigned long long imageBytes = std::max<unsigned long long>(
        4 * static_cast<unsigned long long>(bytes) + (1ULL << 30), 2ULL << 30);
    auto attempt = ReflinkVolume::mount(options_.work / "btrfs.img", options_.work / "btrfs",
                                        imageBytes, logs_ / "btrfs.log");
    if (!attempt.volume) {
        reflinkSkipped_ = attempt.reason;
        progress("btrfs figures skipped: %s", reflinkSkipped_.c_str());
        return;
    }
    reflinkVolume_ = std::move(attempt.volume);
    for (const auto& s : scenarios_) {
        auto r = std::make_unique<ReflinkScenario>();
        r->base = s.get();
        r->root = reflinkVolume_->root() / std::to_string(s->size);
        prepareReflinkScenario(*r);
        reflinkScenarios_.push_back(std::move(r));
    }
}

void Harness::prepareReflinkScenario(ReflinkScenario& r) {
    const Scenario& s = *r.base;
    progress("generating the home of about %zu files on btrfs", s.size);
    // The same seeds give the same tree as on the work folder.
    const GeneratedHome home = generateHome(r.root / "home", s.size);
    require(home.settingsPaths == s.home.settingsPaths,
            "the home on btrfs differs from the one on the work folder");
    r.home = home.home;
    r.homeSnapshot = snapshot(r.home, home.settingsPaths);
    for (const auto& path : home.settingsPaths)
        r.copiedPaths.push_back((r.home / path).string());
    r.copiedDateCount = statFloor(r.copiedPaths);
    r.templatePackage = r.root / "template.qfbackup";
    keel::FileManager::overwritingCopy(s.templatePackage, r.templatePackage);

    progress("checking a back-up and an install of %zu files on btrfs", s.home.fileCount);
    setHome(r.home);
    r.fullPackage = r.root / "full.qfbackup";
    keel::FileManager::overwritingCopy(r.templatePackage, r.fullPackage);
    {
        auto file = BackupFile::open(r.fullPackage);
        const SyncLogs logs = SyncEngine(file, SyncAction::backUp).run();
        require(logs.results().empty(), "the back-up on btrfs failed: " + describe(logs));
        require(countEntries(r.fullPackage / "Data") == s.home.settingsPaths.size(),
                "the back-up on btrfs did not copy every settings path");
    }
    drainAnnouncements();
    {
        const fs::path check = r.root / "check-home";
        emptyFolder(check);
        setHome(check);
        auto file = BackupFile::open(r.fullPackage);
        const SyncLogs logs = SyncEngine(file, SyncAction::install).run();
        setHome(s.home.home);
        require(logs.results().empty(), "the install on btrfs failed: " + describe(logs));
        std::vector<std::string> wrong = copyDifferences(
            r.homeSnapshot, snapshot(check, s.home.settingsPaths), s.home.settingsPaths);
        for (const auto& [path, entry] : r.homeSnapshot) {
            if (entry.type == S_IFREG && !sameContents(r.home / path, check / path))
                wrong.push_back(path + " (contents)");
        }
        require(wrong.empty(), "the install on btrfs did not restore " + listed(wrong));
        removeTree(check);
    }
    drainAnnouncements();

    r.reference = r.root / "reference";
    emptyFolder(r.reference);
    runOrThrow(reflinkCopySpec(r, r.home, r.reference), "cp -a --reflink=always");
}

ProcessSpec Harness::reflinkCopySpec(const ReflinkScenario& r, const fs::path& from,
                                     const fs::path& to) const {
    ProcessSpec spec = copySpec(*r.base, from, to);
    spec.arguments.insert(spec.arguments.begin() + 2, "--reflink=always");
    return spec;
}

// Runs `body` once per iteration with the timer stopped, turning a failed
// check into the benchmark's error. The body starts the timer for exactly the
// work it measures and stops it again; its locals (snapshots of thousands of
// entries, open packages) are gone before the timer runs on to the loop's end.
template <class Body>
void guarded(benchmark::State& state, Body body) {
    try {
        for (auto _ : state) {
            state.PauseTiming();
            body(state);
            state.ResumeTiming();
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

void Harness::registerBenchmarks() {
    // The figures of a few milliseconds get more runs: on a busy machine one
    // unlucky moment is a large share of them, and they cost little.
    const int shortRuns = options_.runs * kShortFigureRunFactor;
    const auto add = [&](const std::string& name, auto body) {
        return benchmark::RegisterBenchmark(name.c_str(), body)
            ->Iterations(1)
            ->Repetitions(options_.runs)
            ->Unit(benchmark::kMillisecond);
    };

    for (const auto& owned : scenarios_) {
        Scenario* s = owned.get();
        const std::string n = "/" + std::to_string(s->size);

        add("backup" + n, [this, s](benchmark::State& state) {
            guarded(state, [this, s](benchmark::State& st) {
                setHome(s->home.home);
                const fs::path package = s->root / "backup.qfbackup";
                removeTree(package);
                keel::FileManager::overwritingCopy(s->templatePackage, package);
                auto file = BackupFile::open(package);
                std::optional<SyncEngine> engine(std::in_place, file, SyncAction::backUp);
                st.ResumeTiming();
                const SyncLogs logs = engine->run();
                st.PauseTiming();
                engine.reset();
                file.reset();
                drainAnnouncements();
                require(logs.results().empty(), "the back-up failed: " + describe(logs));
                require(countEntries(package / "Data") == s->home.settingsPaths.size(),
                        "the back-up did not copy every settings path");
            });
        })->UseRealTime();

        add("cp" + n, [this, s](benchmark::State& state) {
            guarded(state, [this, s](benchmark::State& st) {
                const fs::path target = s->root / "cp";
                emptyFolder(target);
                const ProcessResult result = runProcess(copySpec(*s, s->home.home, target));
                require(result.status == 0, "cp -a failed");
                st.SetIterationTime(result.seconds);
            });
        })->UseManualTime();

        add("install" + n, [s](benchmark::State& state) {
            guarded(state, [s](benchmark::State& st) {
                const fs::path home = s->root / "install-home";
                emptyFolder(home);
                setHome(home);
                auto file = BackupFile::open(s->fullPackage);
                std::optional<SyncEngine> engine(std::in_place, file, SyncAction::install);
                st.ResumeTiming();
                const SyncLogs logs = engine->run();
                st.PauseTiming();
                engine.reset();
                file.reset();
                setHome(s->home.home);
                drainAnnouncements();
                require(logs.results().empty(), "the install failed: " + describe(logs));
                const auto wrong = copyDifferences(
                    s->homeSnapshot, snapshot(home, s->home.settingsPaths), s->home.settingsPaths);
                require(wrong.empty(), "the install did not restore " + listed(wrong));
            });
        })->UseRealTime();

        add("cp-back" + n, [this, s](benchmark::State& state) {
            guarded(state, [this, s](benchmark::State& st) {
                const fs::path target = s->root / "cp-back";
                emptyFolder(target);
                const ProcessResult result = runProcess(copySpec(*s, s->reference, target));
                require(result.status == 0, "cp -a back failed");
                st.SetIterationTime(result.seconds);
            });
        })->UseManualTime();

        add("sync" + n,
            [s](benchmark::State& state) {
                guarded(state, [s](benchmark::State& st) {
                    setHome(s->home.home);
                    const TreeSnapshot data = snapshot(s->fullPackage / "Data");
                    auto file = BackupFile::open(s->fullPackage);
                    std::optional<SyncEngine> engine(std::in_place, file, SyncAction::synchronize);
                    // The last item's end marks where the scan ends; closing the
                    // item queue, the history event and the save follow.
                    using Clock = std::chrono::steady_clock;
                    std::atomic<Clock::rep> lastItem{0};
                    engine->setProgressHandler([&lastItem](std::size_t, std::size_t) {
                        lastItem = Clock::now().time_since_epoch().count();
                    });
                    const auto start = Clock::now();
                    st.ResumeTiming();
                    const SyncLogs logs = engine->run();
                    st.PauseTiming();
                    const double scan =
                        std::chrono::duration<double>(Clock::duration(lastItem.load()) -
                                                      start.time_since_epoch())
                            .count();
                    engine.reset();
                    file.reset();
                    drainAnnouncements();
                    require(logs.results().empty(), "the synchronize failed: " + describe(logs));
                    require(
                        differences(data, snapshot(s->fullPackage / "Data"), true, true).empty(),
                        "a synchronize with nothing changed rewrote data copies");
                    require(differences(s->homeSnapshot,
                                        snapshot(s->home.home, s->home.settingsPaths), true, true)
                                .empty(),
                            "a synchronize with nothing changed rewrote local settings");
                    st.counters["scan_s"] = scan;
                });
            })
            ->Repetitions(shortRuns)
            ->UseRealTime();

        add("stat" + n,
            [s](benchmark::State& state) {
                for (auto _ : state)
                    statFloor(s->syncPaths);
            })
            ->Iterations(kFloorLoopsPerRun)
            ->Repetitions(shortRuns)
            ->UseRealTime();

        add("rsync" + n, [this, s](benchmark::State& state) {
            guarded(state, [this, s](benchmark::State& st) {
                const ProcessResult result = runProcess(rsyncSpec(*s, false));
                require(result.status == 0, "rsync --dry-run failed");
                st.SetIterationTime(result.seconds);
            });
        })->UseManualTime();

        add("viewer" + n,
            [s](benchmark::State& state) {
                guarded(state, [s](benchmark::State& st) {
                    setHome(s->home.home);
                    st.ResumeTiming();
                    s->viewer->reload(true);
                    st.PauseTiming();
                    drainAnnouncements();
                    require(s->viewer->backupAppEntries().size() == kApplicationCount,
                            "the viewer lost applications");
                });
            })
            ->Repetitions(shortRuns)
            ->UseRealTime();

        add("viewer-stat" + n,
            [s](benchmark::State& state) {
                for (auto _ : state)
                    statFloor(s->viewerPaths);
            })
            ->Iterations(kFloorLoopsPerRun)
            ->Repetitions(shortRuns)
            ->UseRealTime();

        add("save" + n,
            [s](benchmark::State& state) {
                int edition = 0;
                guarded(state, [s, &edition](benchmark::State& st) {
                    auto file = BackupFile::open(s->savePackage);
                    const std::string name = s->home.appNames.front();
                    const std::vector<BackupAppItem> edited{
                        {name, true, "edited " + std::to_string(++edition)}};
                    const TreeSnapshot before = snapshot(s->savePackage);
                    st.ResumeTiming();
                    file->setAppItems(edited);
                    file->save();
                    st.PauseTiming();
                    file.reset();
                    drainAnnouncements();
                    // A file is written when it is new or was replaced.
                    const TreeSnapshot after = snapshot(s->savePackage);
                    double files = 0, bytes = 0;
                    for (const auto& [path, entry] : after) {
                        if (entry.type != S_IFREG) continue;
                        const auto old = before.find(path);
                        if (old == before.end() || old->second.inode != entry.inode ||
                            old->second.modified.tv_sec != entry.modified.tv_sec ||
                            old->second.modified.tv_nsec != entry.modified.tv_nsec) {
                            files += 1;
                            bytes += static_cast<double>(entry.size);
                        }
                    }
                    st.counters["files"] = files;
                    st.counters["bytes"] = bytes;
                });
            })
            ->Repetitions(shortRuns)
            ->UseRealTime();

        add("command" + n, [this, s](benchmark::State& state) {
            guarded(state, [this, s](benchmark::State& st) {
                const fs::path package = s->root / "command.qfbackup";
                // Timed as it is, like cp; its peak memory comes from a second,
                // untimed run under /usr/bin/time, which costs a process start.
                ProcessResult timed, measured;
                for (const bool measuresMemory : {false, true}) {
                    removeTree(package);
                    keel::FileManager::overwritingCopy(s->templatePackage, package);
                    ProcessSpec spec = backupCommandSpec(*s, package);
                    spec.measureMemory = measuresMemory;
                    const ProcessResult result = runProcess(spec);
                    require(result.status == 0,
                            "quillfen backup failed with status " + std::to_string(result.status));
                    require(countEntries(package / "Data") == s->home.settingsPaths.size(),
                            "quillfen backup did not copy every settings path");
                    (measuresMemory ? measured : timed) = result;
                }
                st.SetIterationTime(timed.seconds);
                st.counters["maxrss_kib"] = static_cast<double>(measured.maxResidentKiB);
            });
        })->UseManualTime();

        add("status-command" + n,
            [this, s](benchmark::State& state) {
                guarded(state, [this, s](benchmark::State& st) {
                    const ProcessResult result = runProcess(statusCommandSpec(*s));
                    require(result.status == 0,
                            "quillfen status failed with status " + std::to_string(result.status));
                    st.SetIterationTime(result.seconds);
                });
            })
            ->Repetitions(shortRuns)
            ->UseManualTime();
    }
    registerReflinkBenchmarks();
}

void Harness::registerReflinkBenchmarks() {
    const auto add = [&](const std::string& name, auto body) {
        return benchmark::RegisterBenchmark(name.c_str(), body)
            ->Iterations(1)
            ->Repetitions(options_.runs)
            ->Unit(benchmark::kMillisecond);
    };
    for (const auto& owned : reflinkScenarios_) {
        ReflinkScenario* r = owned.get();
        const std::string n = "/" + std::to_string(r->base->size);
        const ReflinkVolume* volume = reflinkVolume_.get();

        add("btrfs-backup" + n, [r, volume](benchmark::State& state) {
            guarded(state, [r, volume](benchmark::State& st) {
                setHome(r->home);
                const fs::path package = r->root / "backup.qfbackup";
                removeTree(package);
                keel::FileManager::overwritingCopy(r->templatePackage, package);
                auto file = BackupFile::open(package);
                std::optional<SyncEngine> engine(std::in_place, file, SyncAction::backUp);
                const unsigned long long before = volume->usedBytes();
                st.ResumeTiming();
                const SyncLogs logs = engine->run();
                st.PauseTiming();
                st.counters["used_bytes"] =
                    static_cast<double>(volume->usedBytes()) - static_cast<double>(before);
                engine.reset();
                file.reset();
                setHome(r->base->home.home);
                drainAnnouncements();
                require(logs.results().empty(), "the back-up on btrfs failed: " + describe(logs));
                require(countEntries(package / "Data") == r->base->home.settingsPaths.size(),
                        "the back-up on btrfs did not copy every settings path");
            });
        })->UseRealTime();

        add("btrfs-cp" + n, [this, r](benchmark::State& state) {
            guarded(state, [this, r](benchmark::State& st) {
                const fs::path target = r->root / "cp";
                emptyFolder(target);
                const ProcessResult result = runProcess(reflinkCopySpec(*r, r->home, target));
                require(result.status == 0, "cp -a --reflink=always failed");
                st.SetIterationTime(result.seconds);
            });
        })->UseManualTime();

        add("btrfs-install" + n, [r](benchmark::State& state) {
            guarded(state, [r](benchmark::State& st) {
                const fs::path home = r->root / "install-home";
                emptyFolder(home);
                setHome(home);
                auto file = BackupFile::open(r->fullPackage);
                std::optional<SyncEngine> engine(std::in_place, file, SyncAction::install);
                st.ResumeTiming();
                const SyncLogs logs = engine->run();
                st.PauseTiming();
                engine.reset();
                file.reset();
                setHome(r->base->home.home);
                drainAnnouncements();
                require(logs.results().empty(), "the install on btrfs failed: " + describe(logs));
                const auto wrong =
                    copyDifferences(r->homeSnapshot, snapshot(home, r->base->home.settingsPaths),
                                    r->base->home.settingsPaths);
                require(wrong.empty(), "the install on btrfs did not restore " + listed(wrong));
            });
        })->UseRealTime();

        add("btrfs-cp-back" + n, [this, r](benchmark::State& state) {
            guarded(state, [this, r](benchmark::State& st) {
                const fs::path target = r->root / "cp-back";
                emptyFolder(target);
                const ProcessResult result = runProcess(reflinkCopySpec(*r, r->reference, target));
                require(result.status == 0, "cp -a --reflink=always back failed");
                st.SetIterationTime(result.seconds);
            });
        })->UseManualTime();

        add("btrfs-stat" + n,
            [r](benchmark::State& state) {
                for (auto _ : state)
                    statFloor(r->copiedPaths);
            })
            ->Iterations(kFloorLoopsPerRun)
            ->Repetitions(options_.runs * kShortFigureRunFactor)
            ->UseRealTime();
    }
}

// Collects every repetition of every benchmark by name; prints nothing of
// its own but a line per finished benchmark, the table comes at the end.
class TableReporter : public benchmark::BenchmarkReporter {
public:
    struct Figure {
        std::vector<double> seconds;
        std::map<std::string, std::vector<double>> counters;
        std::vector<std::string> errors;
    };

    bool ReportContext(const Context&) override { return true; }

    // Called twice per benchmark: with its repetitions, then with the
    // aggregates (mean, median...) of them; only the first is news.
    void ReportRuns(const std::vector<Run>& runs) override {
        bool repetitions = false;
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            repetitions = true;
            Figure& figure = figures_[run.run_name.function_name];
            if (run.error_occurred) {
                figure.errors.push_back(run.error_message);
                continue;
            }
            figure.seconds.push_back(run.real_accumulated_time /
                                     static_cast<double>(run.iterations));
            for (const auto& [name, counter] : run.counters)
                figure.counters[name].push_back(counter.value);
        }
        if (repetitions) progress("%s done", runs.front().run_name.function_name.c_str());
    }

    const Figure* figure(const std::string& name) const {
        const auto found = figures_.find(name);
        return found == figures_.end() ? nullptr : &found->second;
    }

    std::vector<std::string> errors() const {
        std::vector<std::string> result;
        for (const auto& [name, figure] : figures_) {
            for (const auto& error : figure.errors)
                result.push_back(name + ": " + error);
        }
        return result;
    }

private:
    std::map<std::string, Figure> figures_;
};

// The kind of file system the work folder is on, for the table's header.
std::string fileSystemName(const fs::path& folder) {
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x01021994UL:
            return "tmpfs";
        case 0xEF53UL:
            return "ext4";
        case 0x58465342UL:
            return "xfs";
        case 0x9123683EUL:
            return "btrfs";
        case 0x794C7630UL:
            return "overlayfs";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "type 0x%lx", static_cast<unsigned long>(info.f_type));
            return text;
        }
    }
}

std::string verdict(bool met) {
    return met ? "met" : "MISSED";
}

// The rows of the btrfs figures, after those of the work folder; none when
// the volume could not be mounted.
void Harness::addReflinkRows(TextTable& table, const TableReporter& reporter) const {
    const auto time = [&](const std::string& name) {
        const auto* figure = reporter.figure(name);
        return figure ? median(figure->seconds) : 0.0;
    };
    for (const auto& r : reflinkScenarios_) {
        const Scenario& s = *r->base;
        const std::string n = "/" + std::to_string(s.size);
        table.addSeparator();
        const auto row = [&](const std::string& title, const std::string& ours,
                             const std::string& baselineName, const std::string& baseline) {
            const double a = time(ours + n);
            const double b = time(baseline + n);
            if (a <= 0 || b <= 0) return;
            table.addRow({title, formatCount(s.home.fileCount), formatDuration(a), baselineName,
                          formatDuration(b), formatRatio(a / b), "", ""});
        };
        row("back-up on btrfs (clones)", "btrfs-backup", "cp -a --reflink=always", "btrfs-cp");
        row("", "btrfs-backup", "stat floor", "btrfs-stat");
        row("install on btrfs (clones)", "btrfs-install", "cp -a --reflink=always back",
            "btrfs-cp-back");
        row("", "btrfs-install", "stat floor", "btrfs-stat");
        if (const auto* figure = reporter.figure("btrfs-backup" + n);
            figure && figure->counters.contains("used_bytes")) {
            table.addRow({"  space the back-up took on btrfs", formatCount(s.home.fileCount),
                          formatBytes(median(figure->counters.at("used_bytes"))), "the paths hold",
                          formatBytes(static_cast<double>(s.home.byteCount)), "", "", ""});
        }
    }
}

int Harness::report(const TableReporter& reporter) const {
    const auto errors = reporter.errors();
    if (!errors.empty()) {
        for (const auto& error : errors)
            std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    const auto time = [&](const std::string& name) {
        const auto* figure = reporter.figure(name);
        return figure ? median(figure->seconds) : 0.0;
    };
    const auto counter = [&](const std::string& name, const std::string& key) {
        const auto* figure = reporter.figure(name);
        if (!figure || !figure->counters.contains(key)) return 0.0;
        return median(figure->counters.at(key));
    };
    const auto highest = [&](const std::string& name, const std::string& key) {
        const auto* figure = reporter.figure(name);
        if (!figure || !figure->counters.contains(key)) return 0.0;
        const auto& values = figure->counters.at(key);
        return *std::max_element(values.begin(), values.end());
    };

    std::size_t met = 0, missed = 0;
    const auto judge = [&](bool ok) {
        ++(ok ? met : missed);
        return verdict(ok);
    };

    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf(
        "\nQuillfen benchmark: medians of %d runs (%d of the figures under 50 ms), wall-clock "
        "time;\n  %ld cores (load %.1f), work folder on %s\n",
        options_.runs, options_.runs * kShortFigureRunFactor, ::sysconf(_SC_NPROCESSORS_ONLN),
        load[0], fileSystemName(options_.work).c_str());
    for (const auto& s : scenarios_) {
        std::printf(
            "  %s files: %s files in %s folders, %s; %zu settings paths of %zu applications, %zu "
            "executables and %zu custom files\n",
            formatCount(s->size).c_str(), formatCount(s->home.fileCount).c_str(),
            formatCount(s->home.folderCount).c_str(),
            formatBytes(static_cast<double>(s->home.byteCount)).c_str(),
            s->home.settingsPaths.size(), s->home.appNames.size(), s->home.execNames.size(),
            s->home.filePaths.size());
    }
    std::printf(
        "  stat floor: one stat of every settings path the run looks at and of everything in\n"
        "  those that are folders (%zu paths, %s dates, and %zu paths, %s dates; the reload:\n"
        "  %zu paths, %s dates, and %zu paths, %s dates); %zu applications installed from\n"
        "  desktop entries; no preferences tool\n\n",
        scenarios_.front()->syncPaths.size(),
        formatCount(scenarios_.front()->syncDateCount).c_str(), scenarios_.back()->syncPaths.size(),
        formatCount(scenarios_.back()->syncDateCount).c_str(),
        scenarios_.front()->viewerPaths.size(),
        formatCount(scenarios_.front()->viewerDateCount).c_str(),
        scenarios_.back()->viewerPaths.size(),
        formatCount(scenarios_.back()->viewerDateCount).c_str(), kApplicationCount);

    using A = TextTable::Align;
    TextTable table({{"figure", A::left},
                     {"files", A::right},
                     {"quillfen", A::right},
                     {"baseline", A::left},
                     {"baseline", A::right},
                     {"ratio", A::right},
                     {"goal", A::left},
                     {"", A::left}});

    const auto compare = [&](const std::string& title, const Scenario& s, const std::string& ours,
                             const std::string& baselineName, const std::string& baseline,
                             std::optional<double> goal) {
        const double a = time(ours + "/" + std::to_string(s.size));
        const double b = time(baseline + "/" + std::to_string(s.size));
        if (a <= 0 || b <= 0) return;  // not run (--benchmark_filter)
        const double ratio = a / b;
        std::vector<std::string> row{title,
                                     formatCount(s.home.fileCount),
                                     formatDuration(a),
                                     baselineName,
                                     formatDuration(b),
                                     formatRatio(ratio),
                                     goal ? "≤ " + formatRatio(*goal) + "×" : "",
                                     goal ? judge(ratio <= *goal) : ""};
        table.addRow(row);
    };

    for (const auto& s : scenarios_) {
        compare("back-up into an empty package", *s, "backup", "cp -a", "cp", kCopyGoal);
        compare("  the same with `quillfen backup`", *s, "command", "cp -a", "cp",
                kCommandCopyGoal);
        compare("install into an empty home", *s, "install", "cp -a back", "cp-back", kCopyGoal);
        compare("synchronize, nothing changed", *s, "sync", "stat floor", "stat", kScanGoal);
        compare("", *s, "sync", "rsync -a --dry-run", "rsync", std::nullopt);
        {
            const std::string n = "/" + std::to_string(s->size);
            const double scan = counter("sync" + n, "scan_s");
            const double floor = time("stat" + n);
            if (scan > 0 && floor > 0)
                table.addRow({"  of which until its last item is done",
                              formatCount(s->home.fileCount), formatDuration(scan), "stat floor",
                              formatDuration(floor), formatRatio(floor > 0 ? scan / floor : 0), "",
                              ""});
        }
        compare("full viewer reload (" + std::to_string(kApplicationCount) + " apps, " +
                    std::to_string(s->execCount) + " execs)",
                *s, "viewer", "stat floor", "viewer-stat", kScanGoal);
        // The goal holds from 10 000 files: below, the floor (3.7 ms at 1 000
        // files) is about what starting any process of this size costs.
        compare("  `quillfen status`, the whole command", *s, "status-command", "stat floor",
                "viewer-stat",
                s->home.fileCount >= 10'000 ? std::optional(kCommandScanGoal) : std::nullopt);
        {
            const std::string n = "/" + std::to_string(s->size);
            const double files = highest("save" + n, "files");
            if (reporter.figure("save" + n))
                table.addRow({"save after one edit of one list", formatCount(s->home.fileCount),
                              formatDuration(time("save" + n)),
                              "writes " + formatCount(static_cast<std::uintmax_t>(files)) +
                                  (files == 1 ? " file, " : " files, ") +
                                  formatBytes(counter("save" + n, "bytes")),
                              "", "", "1 file", judge(files == 1)});
            const double ours = highest("command" + n, "maxrss_kib") / 1024;
            const double cp = static_cast<double>(s->copyMaxResidentKiB) / 1024;
            if (reporter.figure("command" + n))
                table.addRow(
                    {"peak memory of `quillfen backup`", formatCount(s->home.fileCount),
                     formatBytes(ours * 1024 * 1024), "cp -a", formatBytes(cp * 1024 * 1024), "",
                     "< " + formatCount(static_cast<std::uintmax_t>(kMemoryGoalMiB)) + " MiB",
                     judge(ours < kMemoryGoalMiB)});
        }
        table.addSeparator();
    }

    // Growth from each size to the next: the cost per file must not rise.
    for (std::size_t i = 1; i < scenarios_.size(); ++i) {
        const Scenario& small = *scenarios_[i - 1];
        const Scenario& large = *scenarios_[i];
        const double files =
            static_cast<double>(large.home.fileCount) / static_cast<double>(small.home.fileCount);
        const double allowed = files * kGrowthMargin;
        const std::string title = "growth " + formatCount(small.size) + " → " +
                                  formatCount(large.size) + " files (×" + formatRatio(files) + ")";
        table.addRow({title, "", "quillfen ×", "baseline", "baseline ×", "", "", ""});
        const auto growth = [&](const std::string& what, const std::string& ours,
                                const std::string& baselineName, const std::string& baseline) {
            const double big = time(ours + "/" + std::to_string(large.size));
            const double little = time(ours + "/" + std::to_string(small.size));
            if (big <= 0 || little <= 0) return;
            const double a = big / little;
            std::string b;
            if (!baseline.empty() && time(baseline + "/" + std::to_string(small.size)) > 0) {
                b = formatRatio(time(baseline + "/" + std::to_string(large.size)) /
                                time(baseline + "/" + std::to_string(small.size)));
            }
            table.addRow({"  " + what, "", formatRatio(a), baselineName, b, "",
                          "≤ " + formatRatio(allowed) + "×", judge(a <= allowed)});
        };
        growth("back-up", "backup", "cp -a", "cp");
        growth("`quillfen backup`", "command", "cp -a", "cp");
        growth("install", "install", "cp -a back", "cp-back");
        growth("synchronize, nothing changed", "sync", "stat floor", "stat");
        growth("full viewer reload", "viewer", "stat floor", "viewer-stat");
        growth("save after one edit", "save", "", "");
    }

    addReflinkRows(table, reporter);
    table.print(stdout);
    if (!reflinkSkipped_.empty())
        std::printf("\nbtrfs figures skipped: %s.\n", reflinkSkipped_.c_str());
    std::printf("\nGoals: %zu met, %zu missed.\n", met, missed);
    std::fflush(stdout);
    return options_.check && missed > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);

    std::vector<std::string> flags{argv[0], "--benchmark_enable_random_interleaving=true"};
    flags.insert(flags.end(), options.benchmarkFlags.begin(), options.benchmarkFlags.end());
    std::vector<char*> flagPointers;
    for (auto& flag : flags)
        flagPointers.push_back(flag.data());
    int flagCount = static_cast<int>(flagPointers.size());
    benchmark::Initialize(&flagCount, flagPointers.data());
    if (benchmark::ReportUnrecognizedArguments(flagCount, flagPointers.data())) return 2;

    Harness harness(options);
    try {
        harness.prepare();
        harness.registerBenchmarks();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench: %s\n", error.what());
        return 1;
    }
    progress("timing %d runs of each figure, in random order", options.runs);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const int status = harness.report(reporter);
    benchmark::Shutdown();
    return status;
}
