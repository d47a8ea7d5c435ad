#include "sync/UndoRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "keel/JSON.h"
#include "keel/JSONLimits.h"
#include "local/PathConverter.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen {

namespace {

[[noreturn]] void throwErrno(const std::string& what, const fs::path& path, int error = errno) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

std::string keptName(int index) {
    return "item-" + std::to_string(index);
}

// Kept copies are named by the run itself; anything else in a manifest would
// make undo read from outside the run folder.
bool isKeptName(const std::string& name) {
    if (name.rfind("item-", 0) != 0 || name.size() == 5 || name.size() > 15) return false;
    return std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

json encode(const UndoRun::Entry& entry) {
    return {{"index", entry.index},
            {"path", entry.path},
            {"existed", entry.existed},
            {"kept", entry.kept},
            {"keptFingerprint", entry.keptFingerprint},
            {"size", entry.size},
            {"installedFingerprint",
             entry.installedFingerprint ? json(*entry.installedFingerprint) : json(nullptr)},
            {"createdFolders", entry.createdFolders},
            {"leftAlone", entry.leftAlone}};
}

UndoRun::Entry decode(const json& value) {
    UndoRun::Entry entry;
    entry.index = value.at("index").get<int>();
    entry.path = value.at("path").get<std::string>();
    entry.existed = value.at("existed").get<bool>();
    entry.kept = value.at("kept").get<std::string>();
    entry.keptFingerprint = value.at("keptFingerprint").get<std::string>();
    entry.size = value.at("size").get<std::uint64_t>();
    if (const auto& installed = value.at("installedFingerprint"); !installed.is_null())
        entry.installedFingerprint = installed.get<std::string>();
    entry.createdFolders = value.at("createdFolders").get<std::vector<std::string>>();
    entry.leftAlone = value.value("leftAlone", false);
    if (entry.index < 1 || entry.path.empty() || (entry.existed && !isKeptName(entry.kept)) ||
        (!entry.existed && !entry.kept.empty()))
        throw std::runtime_error("a recorded path of the undo run is malformed");
    return entry;
}

UndoRun::Entry* find(std::vector<UndoRun::Entry>& entries, int index) {
    for (auto& entry : entries)
        if (entry.index == index) return &entry;
    return nullptr;
}

// Appends `value` in decimal (or another base) to `out`.
template <class Integer>
void appendNumber(std::string& out, Integer value, int base = 10) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    out.append(digits, end);
}

// Appends what describes the item at `path` (named `relative` inside the
// item) to `out`, and adds the size of its files and links to `bytes`. A
// folder's entries follow it in byte order of name. `path` is extended for
// the entries and given back as it was. The text is what fingerprints have
// always hashed: "|mode in octal|size|seconds.nanoseconds|" after the name.
void describe(std::string& path, const std::string& relative, std::string& out,
              std::uint64_t& bytes) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        out += '?';
        out += relative;
        out += '\n';
        return;
    }
    out += relative;
    out += '|';
    appendNumber(out, static_cast<unsigned>(info.st_mode), 8);
    out += '|';
    appendNumber(out, static_cast<long long>(info.st_size));
    out += '|';
    appendNumber(out, static_cast<long long>(info.st_mtim.tv_sec));
    out += '.';
    const std::size_t fraction = out.size();
    appendNumber(out, info.st_mtim.tv_nsec);
    if (info.st_mtim.tv_nsec >= 0 && out.size() - fraction < 9)
        out.insert(fraction, 9 - (out.size() - fraction), '0');
    out += '|';
    if (S_ISLNK(info.st_mode)) {
        bytes += static_cast<std::uint64_t>(info.st_size);
        std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length >= 0) out.append(target.data(), static_cast<std::size_t>(length));
    } else if (S_ISREG(info.st_mode)) {
        bytes += static_cast<std::uint64_t>(info.st_size);
    } else if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(path.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                const std::string_view name = entry->d_name;
                if (name != "." && name != "..") names.emplace_back(name);
            }
            ::closedir(dir);
        } else {
            out += "unreadable";
        }
        std::sort(names.begin(), names.end());
        out += '\n';
        const std::size_t length = path.size();
        std::string inner;
        for (const auto& name : names) {
            path += '/';
            path += name;
            inner.assign(relative).append(1, '/').append(name);
            describe(path, inner, out, bytes);
            path.resize(length);
        }
        return;
    }
    out += '\n';
}

// What a summary records of the manifest and the journal: a manifest is
// replaced as a whole (a new inode), the journal only grows.
json stampOf(const fs::path& directory) {
    struct stat manifest {};
    if (::stat((directory / UndoRun::manifestName).c_str(), &manifest) != 0)
        throwErrno("cannot examine the undo manifest", directory);
    struct stat journal {};
    const bool hasJournal = ::stat((directory / UndoRun::journalName).c_str(), &journal) == 0;
    return {{"manifestInode", static_cast<std::uint64_t>(manifest.st_ino)},
            {"manifestSize", static_cast<std::int64_t>(manifest.st_size)},
            {"manifestDate", static_cast<std::int64_t>(manifest.st_mtim.tv_sec) * 1'000'000'000 +
                                 manifest.st_mtim.tv_nsec},
            {"journalSize", hasJournal ? static_cast<std::int64_t>(journal.st_size) : -1}};
}

std::string hex64(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

UndoRun::UndoRun(fs::path directory, SyncAction action, keel::Date date, std::string package)
    : directory_(std::move(directory)),
      action_(action),
      date_(date),
      package_(std::move(package)) {}

std::shared_ptr<UndoRun> UndoRun::create(const fs::path& directory, SyncAction action,
                                         std::string package) {
    // Kept copies are settings, often private ones: only the owner may enter.
    if (const int fault =
            keel::FileSystemFaults::check(keel::FileSystemFaults::Operation::createFolder))
        throwErrno("cannot create the undo run", directory, fault);
    if (::mkdir(directory.c_str(), 0700) != 0) throwErrno("cannot create the undo run", directory);
    std::shared_ptr<UndoRun> run(new UndoRun(directory, action, keel::Date::now(), package));
    try {
        run->save();
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
        throw;
    }
    return run;
}

std::shared_ptr<UndoRun> UndoRun::load(const fs::path& directory) {
    const json manifest =
        keel::parseBoundedJSON(keel::FileManager::readWholeFile(directory / manifestName));
    const auto action = syncActionFromRaw(manifest.at("action").get<std::string>());
    if (!action) throw std::runtime_error("the undo run names an unknown action");
    std::shared_ptr<UndoRun> run(new UndoRun(directory, *action,
                                             keel::Date{manifest.at("date").get<double>()},
                                             manifest.at("package").get<std::string>()));
    if (const auto& undone = manifest.at("undone"); !undone.is_null())
        run->undoneDate_ = keel::Date{undone.get<double>()};
    for (const auto& value : manifest.at("paths"))
        run->entries_.push_back(decode(value));
    run->journalOffset_ = manifest.at("journalOffset").get<std::uint64_t>();

    std::string journal;
    try {
        journal = keel::FileManager::readWholeFile(directory / journalName);
    } catch (const fs::filesystem_error&) {
        // No journal: nothing was recorded after the manifest.
    }
    std::size_t start = std::min<std::size_t>(run->journalOffset_, journal.size());
    while (start < journal.size()) {
        const std::size_t end = journal.find('\n', start);
        // A line without its end was torn by an interruption: it never counted.
        if (end == std::string::npos) break;
        json line;
        try {
            line = keel::parseBoundedJSON(std::string_view(journal).substr(start, end - start));
        } catch (const std::exception&) {
            break;
        }
        start = end + 1;
        if (line.contains("keep")) {
            Entry entry = decode(line.at("keep"));
            if (Entry* existing = find(run->entries_, entry.index)) {
                *existing = std::move(entry);
            } else {
                run->entries_.push_back(std::move(entry));
            }
        } else if (line.contains("installed")) {
            if (Entry* entry = find(run->entries_, line.at("installed").get<int>())) {
                entry->installedFingerprint = line.at("fingerprint").get<std::string>();
            }
        } else if (line.contains("dropped")) {
            const int index = line.at("dropped").get<int>();
            std::erase_if(run->entries_, [&](const Entry& e) { return e.index == index; });
        }
    }
    std::sort(run->entries_.begin(), run->entries_.end(),
              [](const Entry& a, const Entry& b) { return a.index < b.index; });
    return run;
}

std::optional<keel::Date> UndoRun::undoneDate() const {
    std::lock_guard lock(mutex_);
    return undoneDate_;
}

std::vector<UndoRun::Entry> UndoRun::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::uint64_t UndoRun::size() const {
    std::lock_guard lock(mutex_);
    std::uint64_t total = 0;
    for (const auto& entry : entries_)
        total += entry.size;
    return total;
}

std::optional<std::uint64_t> UndoRun::summarizedSize(const fs::path& directory) {
    try {
        const json summary =
            keel::parseBoundedJSON(keel::FileManager::readWholeFile(directory / summaryName));
        if (summary.at("stamp") != stampOf(directory)) return std::nullopt;
        return summary.at("size").get<std::uint64_t>();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int UndoRun::keep(const std::string& path, const fs::path& url, bool durable) {
    std::lock_guard lock(mutex_);
    // A path kept earlier in this run already holds its state before the run.
    for (const auto& entry : entries_) {
        if (entry.path != path) continue;
        if (durable) flushUnflushed();
        return entry.index;
    }

    Entry entry;
    entry.index = entries_.empty() ? 1 : entries_.back().index + 1;
    entry.path = path;
    entry.existed = keel::FileManager::contentExists(url).exists;
    // The install may create these; undo removes them again if still empty.
    for (const auto& folder : missingFolders(url))
        entry.createdFolders.push_back(PathConverter::path(folder));
    if (entry.existed) {
        entry.kept = keptName(entry.index);
        const fs::path copy = directory_ / entry.kept;
        try {
            keel::FileManager::overwritingCopy(
                url, copy,
                durable ? keel::CopyDurability::flushed : keel::CopyDurability::deferred);
            // Compared with the original, so that a copy that left something
            // out (a socket, an unreadable entry) is not taken for a keep.
            std::uint64_t bytes = 0;
            entry.keptFingerprint = fingerprint(url);
            if (fingerprint(copy, &bytes) != entry.keptFingerprint)
                throw fs::filesystem_error("the copy kept for undo differs from the original", url,
                                           copy, std::make_error_code(std::errc::io_error));
            entry.size = bytes;
            if (!durable) unflushed_ = true;
            appendJournal(json{{"keep", encode(entry)}}.dump(), durable);
        } catch (...) {
            std::error_code ignored;
            fs::remove_all(copy, ignored);
            throw;
        }
    } else {
        entry.keptFingerprint = fingerprint(url);
        if (!durable) unflushed_ = true;
        appendJournal(json{{"keep", encode(entry)}}.dump(), durable);
    }
    entries_.push_back(entry);
    return entry.index;
}

void UndoRun::flushUnflushed() {
    if (!unflushed_) return;
    // One flush of the file system holds the kept copies and the journal
    // alike, far cheaper than a flush of each.
    keel::FileManager::synchronizeFileSystem(directory_);
    unflushed_ = false;
}

void UndoRun::didInstall(int index, const fs::path& url) noexcept {
    try {
        // Summed up before the lock is taken: the walk of a large folder must
        // not hold up the other items, which need the lock to keep their
        // paths before they install them.
        std::string installed = fingerprint(url);
        std::lock_guard lock(mutex_);
        Entry* entry = find(entries_, index);
        if (!entry) return;
        entry->installedFingerprint = std::move(installed);
        appendJournal(
            json{{"installed", index}, {"fingerprint", *entry->installedFingerprint}}.dump(),
            false);
    } catch (...) {
        // The entry stays pending; undo handles that.
    }
}

void UndoRun::didFail(int index, const fs::path& url) noexcept {
    // A failure may come after the new version was put in place (a flush
    // that failed), and a summary cannot tell two versions of equal size and
    // date apart: undo restores the kept copy whatever is there now.
    didInstall(index, url);
}

void UndoRun::update(std::vector<Entry> entries, std::optional<keel::Date> undoneDate) {
    std::lock_guard lock(mutex_);
    entries_ = std::move(entries);
    undoneDate_ = undoneDate;
    writeManifest();
}

void UndoRun::save() {
    std::lock_guard lock(mutex_);
    writeManifest();
}

void UndoRun::writeManifest() {
    struct stat info {};
    const fs::path journal = directory_ / journalName;
    journalOffset_ =
        ::stat(journal.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    json paths = json::array();
    for (const auto& entry : entries_)
        paths.push_back(encode(entry));
    const json manifest{
        {"action", std::string(rawValue(action_))},
        {"date", date_.timeIntervalSinceReferenceDate},
        {"package", package_},
        {"undone", undoneDate_ ? json(undoneDate_->timeIntervalSinceReferenceDate) : json(nullptr)},
        {"journalOffset", journalOffset_},
        {"paths", paths}};
    keel::FileManager::writeAtomically(directory_ / manifestName, keel::prettyJSON(manifest));
    writeSummary();
}

// Not flushed: a summary lost or torn by a crash only makes the store load
// the run, and one left from an earlier manifest no longer matches it.
void UndoRun::writeSummary() const {
    const fs::path summary = directory_ / summaryName;
    const fs::path temporary = keel::FileManager::temporarySibling(summary);
    try {
        std::uint64_t total = 0;
        for (const auto& entry : entries_)
            total += entry.size;
        const std::string text = json{{"size", total}, {"stamp", stampOf(directory_)}}.dump();
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return;
        const bool written =
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (::close(fd) == 0 && written && ::rename(temporary.c_str(), summary.c_str()) == 0)
            return;
    } catch (const std::exception&) {
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    // A summary that would now mislead is removed.
    fs::remove(summary, ignored);
}

void UndoRun::appendJournal(const std::string& line, bool flush) {
    using Operation = keel::FileSystemFaults::Operation;
    const fs::path journal = directory_ / journalName;
    if (const int fault = keel::FileSystemFaults::check(Operation::openForWriting))
        throwErrno("cannot open the undo journal", journal, fault);
    const int fd = ::open(journal.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throwErrno("cannot open the undo journal", journal);
    // One write per line: an interruption leaves at most a torn last line,
    // which reading ignores.
    const std::string text = line + "\n";
    std::size_t written = 0;
    int error = 0;
    while (written < text.size()) {
        if ((error = keel::FileSystemFaults::check(Operation::write)) != 0) break;
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    // The record of a kept copy must be on the disk before the item it keeps
    // is replaced.
    if (!error && flush) {
        error = keel::FileSystemFaults::check(Operation::flush);
        if (!error && ::fdatasync(fd) != 0) error = errno;
    }
    if (::close(fd) != 0 && !error) error = errno;
    if (error) throwErrno("cannot write the undo journal", journal, error);
}

std::string UndoRun::fingerprint(const fs::path& url, std::uint64_t* bytes) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            if (bytes) *bytes = 0;
            return "none";
        }
        throwErrno("cannot examine", url);
    }
    std::string text;
    std::uint64_t total = 0;
    std::string path = url.native();
    describe(path, ".", text, total);
    if (bytes) *bytes = total;
    // FNV-1a over the description: a compact value for the manifest.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    const char kind = S_ISDIR(info.st_mode) ? 'd' : S_ISLNK(info.st_mode) ? 'l' : 'f';
    return std::string(1, kind) + ":" + std::to_string(total) + ":" + hex64(hash);
}

std::vector<fs::path> UndoRun::missingFolders(const fs::path& url) {
    std::vector<fs::path> missing;
    for (fs::path folder = url.parent_path(); !folder.empty() && folder != folder.root_path();
         folder = folder.parent_path()) {
        if (keel::FileManager::contentExists(folder).exists) break;
        missing.push_back(folder);
    }
    return missing;
}

}  // namespace quillfen
