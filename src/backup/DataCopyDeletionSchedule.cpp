#include "backup/DataCopyDeletionSchedule.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <system_error>

#include <nlohmann/json.hpp>

#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "keel/JSON.h"
#include "keel/JSONLimits.h"
#include "keel/UUID.h"

namespace fs = std::filesystem;
using keel::URL;
using nlohmann::json;

namespace quillfen {

namespace {

using Entries = std::map<std::string, std::set<std::string>>;

// One package, one key, however it was reached: the location is made absolute
// and its links resolved as far as it exists.
std::string keyFor(const URL& package) {
    std::error_code error;
    URL resolved = fs::weakly_canonical(fs::absolute(package), error);
    if (error) resolved = fs::absolute(package).lexically_normal();
    return resolved.string();
}

Entries readEntries(const URL& file) {
    Entries entries;
    std::string text;
    try {
        text = keel::readBoundedFile(file, keel::JSONLimits::defaultMaximumSize, false);
    } catch (const std::exception&) {
        return entries;
    }
    try {
        const json content = keel::parseBoundedJSON(text);
        if (!content.is_object()) return entries;
        for (const auto& member : content.items()) {
            if (!member.value().is_array()) continue;
            auto& names = entries[member.key()];
            for (const auto& name : member.value()) {
                // Only copy names: nothing else may ever be deleted through it.
                if (name.is_string() && keel::isUUIDString(name.get<std::string>()))
                    names.insert(name.get<std::string>());
            }
        }
    } catch (const std::exception&) {
        return {};
    }
    return entries;
}

void writeEntries(const URL& file, const Entries& entries) {
    json content = json::object();
    for (const auto& [package, names] : entries) {
        if (!names.empty()) content[package] = names;
    }
    keel::FileManager::writeAtomically(file, keel::prettyJSON(content));
}

// Runs `change` on the entries under the lock and writes them back.
void update(const URL& file, const std::function<bool(Entries&)>& change) {
    keel::FileSystemFaults::checkpoint(keel::FileSystemFaults::Operation::createFolder,
                                       file.parent_path());
    fs::create_directories(file.parent_path());
    const URL lockFile = file.string() + ".lock";
    if (keel::FileSystemFaults::check(keel::FileSystemFaults::Operation::openForWriting)) {
        throw fs::filesystem_error("cannot open the lock of", file,
                                   std::error_code(errno, std::generic_category()));
    }
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        throw fs::filesystem_error("cannot open the lock of", lockFile,
                                   std::error_code(errno, std::generic_category()));
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};
    while (::flock(lock, LOCK_EX) != 0) {
        if (errno != EINTR)
            throw fs::filesystem_error("cannot lock", lockFile,
                                       std::error_code(errno, std::generic_category()));
    }
    Entries entries = readEntries(file);
    if (change(entries)) writeEntries(file, entries);
}

}  // namespace

std::optional<DataCopyDeletionSchedule> DataCopyDeletionSchedule::standard() {
    const auto folder = keel::FileManager::noSandboxBundleSupportDirectoryURL();
    if (!folder) return std::nullopt;
    return DataCopyDeletionSchedule(*folder / fileName);
}

std::set<std::string> DataCopyDeletionSchedule::copies(const URL& package) const {
    // Without the lock: a write replaces the file in one rename, so a reader
    // sees the old or the new schedule, never half of one.
    auto entries = readEntries(fileURL_);
    const auto found = entries.find(keyFor(package));
    if (found == entries.end()) return {};
    return std::move(found->second);
}

void DataCopyDeletionSchedule::add(const URL& package, const std::set<std::string>& names) const {
    if (names.empty()) return;
    const std::string key = keyFor(package);
    update(fileURL_, [&](Entries& entries) {
        auto& scheduled = entries[key];
        const auto before = scheduled.size();
        scheduled.insert(names.begin(), names.end());
        return scheduled.size() != before;
    });
}

void DataCopyDeletionSchedule::remove(const URL& package,
                                      const std::set<std::string>& names) const {
    if (names.empty()) return;
    const std::string key = keyFor(package);
    update(fileURL_, [&](Entries& entries) {
        const auto found = entries.find(key);
        if (found == entries.end()) return false;
        std::size_t removed = 0;
        for (const auto& name : names)
            removed += found->second.erase(name);
        if (found->second.empty()) entries.erase(found);
        return removed > 0;
    });
}

void DataCopyDeletionSchedule::move(const URL& from, const URL& to) const {
    const std::string fromKey = keyFor(from);
    const std::string toKey = keyFor(to);
    if (fromKey == toKey) return;
    update(fileURL_, [&](Entries& entries) {
        const auto found = entries.find(fromKey);
        if (found == entries.end()) return false;
        auto names = std::move(found->second);
        entries.erase(found);
        entries[toKey].insert(names.begin(), names.end());
        return true;
    });
}

}  // namespace quillfen
