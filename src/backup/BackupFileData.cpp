#include "backup/BackupFileData.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "backup/BackupError.h"
#include "backup/DataCopyDeletionSchedule.h"
#include "backup/PackageMerge.h"
#include "catalog/BackupDecodingError.h"
#include "keel/DebugPause.h"
#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "keel/FinderOrder.h"
#include "keel/JSON.h"
#include "keel/JSONLimits.h"
#include "keel/Strings.h"
#include "keel/UUID.h"

namespace fs = std::filesystem;
using keel::FileManager;
using keel::FileSystemFaults;
using keel::URL;
using nlohmann::json;
using Operation = keel::FileSystemFaults::Operation;

namespace quillfen {

namespace {

// Throws localDataCannotBeWritten with the real cause nested in it: which
// access to `url` the system refused (reading, or writing when `writing` is
// asked for too) and why, so the user learns more than the fixed text.
[[noreturn]] void throwCannotAccess(const URL& url, bool writing) {
    int error = 0;
    const char* direction = "reading";
    if (::access(url.c_str(), R_OK) != 0) {
        error = errno;
    } else if (writing && ::access(url.c_str(), W_OK) != 0) {
        error = errno;
        direction = "writing";
    }
    const std::string cause =
        error != 0 ? std::generic_category().message(error) : std::string("Access refused");
    try {
        throw std::runtime_error(cause + ": " + url.string() + " (" + direction + ")");
    } catch (...) {
        std::throw_with_nested(BackupError(BackupError::Code::localDataCannotBeWritten));
    }
}

constexpr const char* kAppsFile = "Apps.json";
constexpr const char* kExecsFile = "Execs.json";
constexpr const char* kFilesFile = "Files.json";
constexpr const char* kHistoryFile = "History.json";
constexpr const char* kDataFile = "Data.json";
constexpr const char* kNotesFile = "Notes.json";
constexpr const char* kListFileNames[] = {kAppsFile,    kExecsFile, kFilesFile,
                                          kHistoryFile, kDataFile,  kNotesFile};
// Stops a save just before it writes, for tests and for looking at a package
// while another computer writes it (see README).
constexpr const char* kPauseVariable = "QUILLFEN_DEBUG_PAUSE_BEFORE_SAVE";

bool regularFileExists(const URL& url) {
    const auto existence = FileManager::contentExists(url);
    return existence.exists && !existence.isDirectory;
}

// "X.qfbackup/" names the same package as "X.qfbackup"; without the trailing
// separator the last component, and so the extension, would be empty.
URL withoutTrailingSeparator(URL url) {
    while (!url.has_filename() && url.has_relative_path())
        url = url.parent_path();
    return url;
}

bool hasPackageExtension(const URL& url) {
    return keel::pathExtension(url) == BackupFileData::packageExtension;
}

void validatePackageLocation(const URL& url) {
    if (regularFileExists(url)) throw BackupError(BackupError::Code::backupFileIsNotADirectory);
    if (!hasPackageExtension(url)) {
        throw BackupError(BackupError::Code::backupFileExtensionIsInvalid);
    }
}

bool isSameLocation(const URL& a, const URL& b) {
    return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
}

// Copying or moving a package into itself, or removing a folder that contains
// it on the way, would destroy it: such a request is refused before anything
// is touched.
void refuseNesting(const URL& package, const URL& other, const char* operation) {
    if (keel::isFileParent(package, other) || keel::isFileParent(other, package)) {
        throw fs::filesystem_error(
            std::string("cannot ") + operation +
                " a backup package onto itself, into itself or over a folder that contains it",
            package, other, std::make_error_code(std::errc::invalid_argument));
    }
}

void requireCopyName(const std::string& name) {
    if (!keel::isUUIDString(name)) {
        throw std::invalid_argument("A data copy name must be a UUID, not \"" + name + "\"");
    }
}

// The local item of a data copy is one settings file or folder. A location
// that climbs with "..", that holds a NUL character (which the system would
// read as a shorter path), or that is the home folder or a folder containing
// it (a folder copy restored there would replace the whole home folder) comes
// only from a broken or crafted record, and is refused before anything is
// read or written.
// A settings location is never the package, anything in it, or a folder
// around it: a crafted record naming one would make a restore replace the
// package with a copy (losing every record), or a back-up copy the package
// into itself level after level. Links are resolved for this check, so a
// path through a link to the package is refused too.
void requireSettingsLocation(const URL& local, const URL& normalHome, const URL& resolvedHome,
                             const URL& resolvedPackage) {
    std::string text = local.native();
    bool refused = text.empty() || text.find('\0') != std::string::npos;
    for (const auto& component : local) {
        if (component == "..") refused = true;
    }
    if (!refused) {
        const URL resolved = keel::resolvedLocation(local);
        refused = keel::isParentLocation(keel::normalisedLocation(local), normalHome) ||
                  keel::isParentLocation(resolved, resolvedHome) ||
                  keel::isParentLocation(resolved, resolvedPackage) ||
                  keel::isParentLocation(resolvedPackage, resolved);
    }
    if (refused) {
        for (auto& c : text) {
            if (c == '\0') c = '?';
        }
        throw std::invalid_argument("\"" + text + "\" is not a location of a settings item");
    }
}

// "Data" is normally a folder of the package. A symbolic link in its place is
// followed only when it leads to a folder inside the package: planted in a
// shared or replicated package, a link leading elsewhere would make data
// copies be written, read or deleted outside it.
void requireDataFolderInPackage(const URL& package) {
    const URL folder = package / BackupFileData::dataFolderName;
    if (keel::checkIsAlias(folder) != true) return;
    std::error_code error;
    const URL resolvedPackage = fs::canonical(package, error);
    URL resolvedFolder;
    if (!error) resolvedFolder = fs::canonical(folder, error);
    if (!error && fs::is_directory(resolvedFolder, error) && resolvedFolder != resolvedPackage &&
        keel::isParent(resolvedPackage, resolvedFolder)) {
        return;
    }
    throw fs::filesystem_error(
        "the package's \"Data\" folder is a symbolic link that does not lead to a folder in the "
        "package",
        folder, std::make_error_code(std::errc::operation_not_permitted));
}

// A parser's message quotes the text it stopped at, which in a hostile file
// can be megabytes long; the message only needs its beginning.
std::string shortened(std::string message) {
    constexpr std::size_t maximumLength = 300;
    if (message.size() > maximumLength) {
        message.resize(maximumLength);
        // Do not end inside a multi-byte UTF-8 sequence.
        while (!message.empty() && (static_cast<unsigned char>(message.back()) & 0xC0) == 0x80)
            message.pop_back();
        if (!message.empty() && (static_cast<unsigned char>(message.back()) & 0x80) != 0)
            message.pop_back();
        message += "...";
    }
    return message;
}

// The parsed content of a package file, or nothing when nothing (or a folder)
// is there. Only a regular file is read: a symbolic link in its place could
// make the package read something anywhere on the computer, and a pipe would
// block. Size and nesting are bounded before a document is built.
std::optional<json> readJSON(const URL& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    if (S_ISLNK(info.st_mode)) {
        throw BackupDecodingError(file, "it is a symbolic link, not a file of the package");
    }
    if (!S_ISREG(info.st_mode)) throw BackupDecodingError(file, "it is not a regular file");
    try {
        return keel::parseBoundedJSON(
            keel::readBoundedFile(file, keel::JSONLimits::defaultMaximumSize, false));
    } catch (const keel::JSONLimitError& error) {
        throw BackupDecodingError(file, error.what());
    } catch (const json::exception& error) {
        throw BackupDecodingError(file, shortened(error.what()));
    }
}

template <class Decode>
auto decodingElement(const URL& file, const std::string& where, Decode decode) {
    try {
        return decode();
    } catch (const BackupDecodingError& error) {
        throw BackupDecodingError(file, shortened(where + ": " + error.reason()));
    } catch (const json::exception& error) {
        throw BackupDecodingError(file, shortened(where + ": " + error.what()));
    }
}

template <class T>
std::vector<T> readArray(const URL& file) {
    std::vector<T> items;
    const auto content = readJSON(file);
    if (!content) return items;
    if (!content->is_array()) {
        throw BackupDecodingError(
            file, std::string("the content must be an array, not ") + content->type_name());
    }
    items.reserve(content->size());
    for (std::size_t index = 0; index < content->size(); ++index) {
        items.push_back(decodingElement(file, "element " + std::to_string(index),
                                        [&] { return (*content)[index].get<T>(); }));
    }
    return items;
}

BackupFileData::DataItems readDataItems(const URL& file) {
    BackupFileData::DataItems items;
    const auto content = readJSON(file);
    if (!content) return items;
    if (!content->is_object()) {
        throw BackupDecodingError(
            file, std::string("the content must be an object, not ") + content->type_name());
    }
    // Not a structured binding: clang 14 cannot capture one in a lambda.
    for (const auto& member : content->items()) {
        const json& value = member.value();
        items.insert_or_assign(member.key(),
                               decodingElement(file, "member \"" + member.key() + "\"",
                                               [&] { return value.get<BackupDataItem>(); }));
    }
    return items;
}

// The records of a list file by key; of two records with the same key, the
// later one is kept.
template <ItemRecord Item>
BackupFileData::ItemMap<Item> readItems(const URL& file) {
    return keel::mapEntries(readArray<Item>(file), [](const Item& item) { return item.key(); });
}

// The records in Finder order of key, as their list file holds them.
template <ItemRecord Item>
json sortedArray(const BackupFileData::ItemMap<Item>& items) {
    std::vector<Item> values;
    values.reserve(items.size());
    for (const auto& entry : items)
        values.push_back(entry.second);
    keel::finderSort(values, [](const Item& item) { return item.key(); });
    json array = json::array();
    for (const auto& value : values)
        array.push_back(value);
    return array;
}

template <class T>
json arrayInOrder(const std::vector<T>& items) {
    json array = json::array();
    for (const auto& item : items)
        array.push_back(item);
    return array;
}

// Encodes fully before touching the file, and replaces the old file by an
// atomic rename: a failure at any step leaves the previous file as it was. A
// file that reading would refuse (too large) is not written at all.
void writeJSON(const URL& file, const json& content) {
    const std::string text = keel::prettyJSON(content);
    try {
        keel::checkJSONLimits(text);
    } catch (const keel::JSONLimitError& error) {
        throw fs::filesystem_error(std::string("cannot write the package file, ") + error.what(),
                                   file, std::make_error_code(std::errc::file_too_large));
    }
    FileManager::writeAtomically(file, text);
}

}  // namespace

BackupFileData::BackupFileData(const URL& url) {
    const URL location = withoutTrailingSeparator(url);
    validatePackageLocation(location);
    url_.setValue(location);
    adoptIdentity();
    read();
    collectAbandonedCopies();
}

// MARK: The package folder's identity

namespace {

std::optional<std::pair<std::uint64_t, std::uint64_t>> folderIdentity(const URL& url) {
    struct stat info {};
    if (::stat(url.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(info.st_dev, info.st_ino);
}

}  // namespace

void BackupFileData::adoptIdentity() {
    identity_ = folderIdentity(packageURL());
}

void BackupFileData::checkIdentity() const {
    if (!identity_) return;
    const URL package = packageURL();
    if (folderIdentity(package) != identity_)
        throw BackupError(BackupError::Code::backupFileWasMovedOrDeleted, package);
}

// MARK: Lists

BackupFileData::AppItems& BackupFileData::mutableAppItems() {
    needsToWriteAppItems_ = true;
    return appItems_;
}
BackupFileData::ExecItems& BackupFileData::mutableExecItems() {
    needsToWriteExecItems_ = true;
    return execItems_;
}
BackupFileData::FileItems& BackupFileData::mutableFileItems() {
    needsToWriteFileItems_ = true;
    return fileItems_;
}
BackupFileData::EventItems& BackupFileData::mutableEventItems() {
    needsToWriteEventItems_ = true;
    return eventItems_;
}
BackupFileData::DataItems& BackupFileData::mutableDataItems() {
    needsToWriteDataItems_ = true;
    return dataItems_;
}
BackupFileData::NoteItems& BackupFileData::mutableNoteItems() {
    needsToWriteNoteItems_ = true;
    return noteItems_;
}

void BackupFileData::setAppItems(AppItems items) {
    mutableAppItems() = std::move(items);
}
void BackupFileData::setExecItems(ExecItems items) {
    mutableExecItems() = std::move(items);
}
void BackupFileData::setFileItems(FileItems items) {
    mutableFileItems() = std::move(items);
}
void BackupFileData::setEventItems(EventItems items) {
    mutableEventItems() = std::move(items);
}
void BackupFileData::setDataItems(DataItems items) {
    mutableDataItems() = std::move(items);
}
void BackupFileData::setNoteItems(NoteItems items) {
    mutableNoteItems() = std::move(items);
}

// MARK: Reading and writing

URL BackupFileData::listFileURL(ListFile file) const {
    return packageURL() / kListFileNames[file];
}

BackupFileData::FileStamp BackupFileData::stampOf(const URL& file) {
    FileStamp stamp;
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.seconds = info.st_mtim.tv_sec;
    stamp.nanoseconds = info.st_mtim.tv_nsec;
    return stamp;
}

void BackupFileData::read() {
    resolvedLocations_.reset();
    // Each file's stamp is taken before it is read: a file replaced in
    // between then looks changed at the next save, and is merged again.
    FileStamp stamp = stampOf(listFileURL(appsFile));
    appItems_ = readItems<BackupAppItem>(listFileURL(appsFile));
    needsToWriteAppItems_ = false;
    base_.apps = appItems_;
    stamps_[appsFile] = stamp;

    stamp = stampOf(listFileURL(execsFile));
    execItems_ = readItems<BackupExecItem>(listFileURL(execsFile));
    needsToWriteExecItems_ = false;
    base_.execs = execItems_;
    stamps_[execsFile] = stamp;

    stamp = stampOf(listFileURL(filesFile));
    fileItems_ = readItems<BackupFileItem>(listFileURL(filesFile));
    needsToWriteFileItems_ = false;
    base_.files = fileItems_;
    stamps_[filesFile] = stamp;

    stamp = stampOf(listFileURL(historyFile));
    eventItems_ = readArray<BackupEventItem>(listFileURL(historyFile));
    needsToWriteEventItems_ = false;
    base_.events = eventItems_;
    stamps_[historyFile] = stamp;

    stamp = stampOf(listFileURL(dataFile));
    dataItems_ = readDataItems(listFileURL(dataFile));
    needsToWriteDataItems_ = false;
    base_.data = dataItems_;
    stamps_[dataFile] = stamp;

    stamp = stampOf(listFileURL(notesFile));
    noteItems_ = readArray<BackupNoteItem>(listFileURL(notesFile));
    needsToWriteNoteItems_ = false;
    base_.notes = noteItems_;
    stamps_[notesFile] = stamp;
}

template <class List, class Read, class Merge>
void BackupFileData::mergeFromDisk(ListFile file, List& ours, List& base, Read readFile,
                                   Merge merge) {
    const URL url = listFileURL(file);
    const FileStamp now = stampOf(url);
    if (now == stamps_[file]) return;
    List theirs;
    try {
        theirs = readFile(url);
    } catch (const std::exception&) {
        // Nothing of it can be kept; it is replaced as it always was.
        return;
    }
    ours = merge(base, ours, theirs);
    base = std::move(theirs);
    stamps_[file] = now;
}

void BackupFileData::mergeDataFromDisk() {
    mergeFromDisk(dataFile, dataItems_, base_.data, readDataItems,
                  [this](const DataItems& base, const DataItems& ours, const DataItems& theirs) {
                      auto merge = PackageMerge::data(base, ours, theirs);
                      // This run's copies whose records lost go like replaced ones.
                      discardedCopies_.insert(merge.losingCopies.begin(), merge.losingCopies.end());
                      return std::move(merge.records);
                  });
}

template <class List>
void BackupFileData::didWrite(ListFile file, const List& written, List& base) {
    stamps_[file] = stampOf(listFileURL(file));
    base = written;
}

void BackupFileData::write() {
    // A save ends every run: the next one resolves the locations afresh.
    resolvedLocations_.reset();
    createDataFolder();
    if (needsToWriteAppItems_ || needsToWriteExecItems_ || needsToWriteFileItems_ ||
        needsToWriteEventItems_ || needsToWriteDataItems_ || needsToWriteNoteItems_)
        keel::pauseIfAsked(kPauseVariable);
    checkIdentity();
    const URL package = packageURL();

    if (needsToWriteDataItems_) {
        mergeDataFromDisk();
        // "Data.json" may refer to a copy only once the copy is on the disk.
        // One flush of the file system covers every copy stored since the
        // last save, far cheaper than a flush per copy.
        if (needsToFlushCopies_) {
            FileManager::synchronizeFileSystem(package / dataFolderName);
            needsToFlushCopies_ = false;
        }
        scheduleDiscardedCopies();
    }

    if (needsToWriteAppItems_) {
        mergeFromDisk(appsFile, appItems_, base_.apps, readItems<BackupAppItem>,
                      PackageMerge::items<BackupAppItem>);
        writeJSON(listFileURL(appsFile), sortedArray(appItems_));
        didWrite(appsFile, appItems_, base_.apps);
        needsToWriteAppItems_ = false;
    }
    if (needsToWriteExecItems_) {
        mergeFromDisk(execsFile, execItems_, base_.execs, readItems<BackupExecItem>,
                      PackageMerge::items<BackupExecItem>);
        writeJSON(listFileURL(execsFile), sortedArray(execItems_));
        didWrite(execsFile, execItems_, base_.execs);
        needsToWriteExecItems_ = false;
    }
    if (needsToWriteFileItems_) {
        mergeFromDisk(filesFile, fileItems_, base_.files, readItems<BackupFileItem>,
                      PackageMerge::items<BackupFileItem>);
        writeJSON(listFileURL(filesFile), sortedArray(fileItems_));
        didWrite(filesFile, fileItems_, base_.files);
        needsToWriteFileItems_ = false;
    }
    if (needsToWriteEventItems_) {
        mergeFromDisk(historyFile, eventItems_, base_.events, readArray<BackupEventItem>,
                      PackageMerge::events);
        writeJSON(listFileURL(historyFile), arrayInOrder(eventItems_));
        didWrite(historyFile, eventItems_, base_.events);
        needsToWriteEventItems_ = false;
    }
    if (needsToWriteDataItems_) {
        // Once more, closer to the write: a file delivered in the meantime
        // is merged too, and the copies that lost against it are scheduled.
        mergeDataFromDisk();
        scheduleDiscardedCopies();
        json object = json::object();
        for (const auto& [path, item] : dataItems_)
            object[path] = item;
        writeJSON(listFileURL(dataFile), object);
        didWrite(dataFile, dataItems_, base_.data);
        needsToWriteDataItems_ = false;
        deleteDiscardedCopies();
    }
    if (needsToWriteNoteItems_) {
        mergeFromDisk(notesFile, noteItems_, base_.notes, readArray<BackupNoteItem>,
                      PackageMerge::notes);
        writeJSON(listFileURL(notesFile), arrayInOrder(noteItems_));
        didWrite(notesFile, noteItems_, base_.notes);
        needsToWriteNoteItems_ = false;
    }
}

// MARK: Deferred deletion of data copies

std::set<std::string> BackupFileData::referencedCopies() const {
    std::set<std::string> names;
    for (const auto& entry : dataItems_)
        names.insert(entry.second.uuid);
    return names;
}

void BackupFileData::scheduleDiscardedCopies() {
    // A copy a record still refers to is not discarded after all.
    const auto referenced = referencedCopies();
    std::erase_if(discardedCopies_,
                  [&](const std::string& name) { return referenced.contains(name); });
    if (discardedCopies_.empty()) return;
    // Listed durably before the save that drops their records, so that an
    // interruption between that save and the deletions leaves them known.
    if (const auto schedule = DataCopyDeletionSchedule::standard())
        schedule->add(packageURL(), discardedCopies_);
}

std::set<std::string> BackupFileData::namesOnDisk() const {
    std::set<std::string> names;
    for (const auto& entry : readDataItems(listFileURL(dataFile)))
        names.insert(entry.second.uuid);
    return names;
}

void BackupFileData::deleteDiscardedCopies() {
    std::set<std::string> settled;
    if (!discardedCopies_.empty()) {
        // Another computer's "Data.json" may have arrived since the write:
        // a copy it names is live again and stays.
        std::optional<std::set<std::string>> named;
        try {
            named = namesOnDisk();
        } catch (const std::exception&) {
            // Unreadable now: nothing is deleted, the schedule keeps them.
        }
        if (named) {
            for (const auto& name : discardedCopies_) {
                // A copy that cannot be deleted now stays scheduled for a later run.
                try {
                    if (!named->contains(name)) removeData(name);
                    settled.insert(name);
                } catch (const std::exception&) {
                }
            }
        }
    }
    // The new copies this instance scheduled are named by the saved
    // "Data.json" or were dropped above; those not handed out were never made.
    for (const auto& name : scheduledCopyNames_) {
        if (!discardedCopies_.contains(name)) settled.insert(name);
    }
    discardedCopies_.clear();
    scheduledCopyNames_.clear();
    copyNamePool_.clear();
    try {
        if (const auto schedule = DataCopyDeletionSchedule::standard())
            schedule->remove(packageURL(), settled);
    } catch (const std::exception&) {
        // The entries name copies that are gone or named: the next opening
        // settles them.
    }
}

std::string BackupFileData::makeCopyName() {
    if (copyNamePool_.empty()) {
        // Batches grow with the run, so that a back-up of thousands of files
        // writes the schedule a dozen times rather than once per copy.
        constexpr std::size_t largestBatch = 1024;
        std::set<std::string> names;
        while (names.size() < nextBatchSize_)
            names.insert(keel::makeUUIDString());
        nextBatchSize_ = std::min(nextBatchSize_ * 2, largestBatch);
        if (const auto schedule = DataCopyDeletionSchedule::standard())
            schedule->add(packageURL(), names);
        scheduledCopyNames_.insert(names.begin(), names.end());
        copyNamePool_.assign(names.begin(), names.end());
    }
    std::string name = std::move(copyNamePool_.back());
    copyNamePool_.pop_back();
    return name;
}

void BackupFileData::collectAbandonedCopies() {
    const URL package = packageURL();
    // Whatever fails here is tried again at the next opening; the package
    // opens all the same.
    try {
        if (const auto schedule = DataCopyDeletionSchedule::standard()) {
            const auto scheduled = schedule->copies(package);
            if (!scheduled.empty()) {
                const auto referenced = referencedCopies();
                std::set<std::string> settled;
                for (const auto& name : scheduled) {
                    // A copy the saved "Data.json" still refers to was dropped
                    // by a save that never happened: it is live again.
                    if (!referenced.contains(name)) {
                        try {
                            removeData(name);
                        } catch (const std::exception&) {
                            continue;
                        }
                    }
                    settled.insert(name);
                }
                schedule->remove(package, settled);
            }
        }
    } catch (const std::exception&) {
    }
    // Temporaries of copies that processes of this computer left unfinished.
    try {
        const URL folder = package / dataFolderName;
        if (keel::checkIsAlias(folder) == true) return;
        std::error_code error;
        for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            if (!FileManager::isAbandonedTemporaryOfThisComputer(entry->path().filename().string()))
                continue;
            if (FileSystemFaults::check(Operation::remove)) continue;
            std::error_code ignored;
            fs::remove_all(entry->path(), ignored);
        }
    } catch (const std::exception&) {
    }
}

void BackupFileData::createDataFolder() {
    // A package that went away during the run is not made again here.
    checkIdentity();
    const URL package = packageURL();
    requireDataFolderInPackage(package);
    // The package and its copies are readable by the owner only: they hold
    // the settings of every application backed up. Existing folders keep
    // their modes.
    if (!FileManager::contentExists(package).exists) {
        const URL parent = package.parent_path();
        if (!parent.empty() && !FileManager::contentExists(parent).exists) {
            FileSystemFaults::checkpoint(Operation::createFolder, parent);
            fs::create_directories(parent);
        }
    }
    FileManager::createOwnerOnlyFolder(package);
    FileManager::createOwnerOnlyFolder(package / dataFolderName);
    if (!identity_) adoptIdentity();
}

// MARK: Data copies

const BackupFileData::ResolvedLocations& BackupFileData::resolvedLocations() {
    const URL home = FileManager::noSandboxHomeURL();
    const URL package = packageURL();
    if (!resolvedLocations_ || resolvedLocations_->home != home ||
        resolvedLocations_->package != package) {
        resolvedLocations_ =
            ResolvedLocations{home, package, keel::normalisedLocation(home),
                              keel::resolvedLocation(home), keel::resolvedLocation(package)};
    }
    return *resolvedLocations_;
}

void BackupFileData::requireLocalItemLocation(const URL& local) {
    const ResolvedLocations& locations = resolvedLocations();
    requireSettingsLocation(local, locations.normalHome, locations.resolvedHome,
                            locations.resolvedPackage);
}

URL BackupFileData::dataCopyURL(const std::string& name) const {
    return packageURL() / dataFolderName / (name + "." + dataCopyExtension);
}

std::optional<keel::Date> BackupFileData::storeData(const URL& from, const std::string& name,
                                                    const std::vector<fs::path>& leftOut) {
    requireCopyName(name);
    requireLocalItemLocation(from);
    checkIdentity();
    const auto local = FileManager::contentExists(from);
    if (!local.exists) return std::nullopt;

    createDataFolder();
    if (keel::checkIsAlias(from) == true) return std::nullopt;
    if (keel::checkIsReadAndWrite(from) != true && local.isDirectory) throwCannotAccess(from, true);

    // Not flushed one by one: the save that records the copies flushes them
    // all at once before it writes "Data.json".
    keel::CopyOptions options;
    options.durability = keel::CopyDurability::deferred;
    options.leftOut = leftOut;
    options.datesFolderByNewest = true;
    const keel::Date newest = FileManager::overwritingCopy(from, dataCopyURL(name), options);
    needsToFlushCopies_ = true;
    return newest;
}

void BackupFileData::restoreData(const std::string& name, const URL& to,
                                 const std::vector<fs::path>& kept) {
    requireCopyName(name);
    requireLocalItemLocation(to);
    checkIdentity();
    requireDataFolderInPackage(packageURL());
    const URL copy = dataCopyURL(name);
    const auto stored = FileManager::contentExists(copy);
    // A record whose copy is not there cannot be installed: saying nothing
    // would let a run report success for a path it never restored.
    if (!stored.exists) throw BackupError(BackupError::Code::dataCopyHasNotArrived);
    // Copies are made of files and folders only; a link in a copy's place was
    // planted, and restoring it would put a link to anywhere at a settings path.
    if (keel::checkIsAlias(copy) == true) {
        throw fs::filesystem_error("the data copy is a symbolic link, which is never restored",
                                   copy, to,
                                   std::make_error_code(std::errc::operation_not_permitted));
    }
    if (keel::checkIsAlias(to) == true) return;

    // A folder copy may replace only a local folder that can be read and
    // written, or be put where nothing is yet (a settings folder installed on
    // a new computer); the copy itself reports a parent that cannot be written.
    const auto readAndWrite = keel::checkIsReadAndWrite(to);
    if (readAndWrite != false || !stored.isDirectory) {
        if (!FileSystemFaults::check(Operation::createFolder)) {
            std::error_code ignored;
            fs::create_directories(to.parent_path(), ignored);
        }
        // Flushed before and after it replaces the local item: after a power
        // loss the item is entirely the old or entirely the new version.
        keel::CopyOptions options;
        options.keptInDestination = kept;
        FileManager::overwritingCopy(copy, to, options);
        return;
    }
    throwCannotAccess(to, true);
}

keel::URL BackupFileData::copyLocation(const std::string& name) const {
    requireCopyName(name);
    checkIdentity();
    requireDataFolderInPackage(packageURL());
    return dataCopyURL(name);
}

bool BackupFileData::dataListIsMissing() const {
    std::error_code error;
    if (fs::symlink_status(listFileURL(dataFile), error).type() != fs::file_type::not_found)
        return false;
    const std::string suffix = std::string(".") + dataCopyExtension;
    for (fs::directory_iterator it(packageURL() / dataFolderName, error), end; !error && it != end;
         it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (entry.size() > suffix.size() && entry.ends_with(suffix) &&
            keel::isUUIDString(entry.substr(0, entry.size() - suffix.size())))
            return true;
    }
    return false;
}

void BackupFileData::removeData(const std::string& name) {
    requireCopyName(name);
    checkIdentity();
    requireDataFolderInPackage(packageURL());
    // A copy that is a link goes as the link; a folder's links are not followed.
    const URL copy = dataCopyURL(name);
    if (FileManager::contentExists(copy).exists) {
        FileSystemFaults::checkpoint(Operation::remove, copy);
        fs::remove_all(copy);
    }
}

void BackupFileData::discardData(const std::string& name) {
    requireCopyName(name);
    discardedCopies_.insert(name);
}

// MARK: Copies nobody names

namespace {

// Bytes of the item at `url`, everything in it for a folder, links not followed.
std::uint64_t sizeOf(const URL& url) {
    std::error_code error;
    const auto status = fs::symlink_status(url, error);
    if (error) return 0;
    if (fs::is_regular_file(status)) return fs::file_size(url, error);
    if (!fs::is_directory(status)) return 0;
    std::uint64_t total = 0;
    for (fs::recursive_directory_iterator entry(url, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_regular_file(error) && !entry->is_symlink(error))
            total += entry->file_size(error);
    }
    return total;
}

}  // namespace

std::vector<BackupFileData::OrphanCopy> BackupFileData::orphanCopies(
    std::chrono::seconds gracePeriod) const {
    checkIdentity();
    const URL package = packageURL();
    requireDataFolderInPackage(package);
    std::set<std::string> named;
    try {
        named = namesOnDisk();
    } catch (const std::exception&) {
        // Which copies it names is unknown: none is taken for an orphan.
        return {};
    }
    for (const auto& entry : dataItems_)
        named.insert(entry.second.uuid);
    named.insert(discardedCopies_.begin(), discardedCopies_.end());
    named.insert(scheduledCopyNames_.begin(), scheduledCopyNames_.end());
    try {
        if (const auto schedule = DataCopyDeletionSchedule::standard()) {
            const auto scheduled = schedule->copies(package);
            named.insert(scheduled.begin(), scheduled.end());
        }
    } catch (const std::exception&) {
        return {};
    }

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::string suffix = std::string(".") + dataCopyExtension;
    std::vector<OrphanCopy> orphans;
    std::error_code error;
    for (fs::directory_iterator entry(package / dataFolderName, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string file = entry->path().filename().string();
        if (!file.ends_with(suffix)) continue;
        const std::string name = file.substr(0, file.size() - suffix.size());
        if (!keel::isUUIDString(name) || named.contains(name)) continue;
        struct stat info {};
        if (::lstat(entry->path().c_str(), &info) != 0) continue;
        // The status change time says when the copy arrived here, whoever
        // made it; its modification date is that of the settings it holds.
        const double age = static_cast<double>(now.tv_sec - info.st_ctim.tv_sec) +
                           static_cast<double>(now.tv_nsec - info.st_ctim.tv_nsec) / 1e9;
        if (age <= static_cast<double>(gracePeriod.count())) continue;
        orphans.push_back({name, sizeOf(entry->path())});
    }
    keel::finderSort(orphans, [](const OrphanCopy& orphan) { return orphan.name; });
    return orphans;
}

std::vector<BackupFileData::OrphanCopy> BackupFileData::removeOrphanCopies(
    std::chrono::seconds gracePeriod) {
    std::vector<OrphanCopy> removed;
    for (auto& orphan : orphanCopies(gracePeriod)) {
        try {
            removeData(orphan.name);
            removed.push_back(std::move(orphan));
        } catch (const std::exception&) {
        }
    }
    return removed;
}

// MARK: Package operations

void BackupFileData::checkCurrentLocation() const {
    validatePackageLocation(packageURL());
}

void BackupFileData::move(const URL& to) {
    write();
    const URL source = packageURL();
    const URL target = withoutTrailingSeparator(to);
    // A location without the extension could not be opened again.
    if (!hasPackageExtension(target)) {
        throw BackupError(BackupError::Code::backupFileExtensionIsInvalid);
    }
    if (isSameLocation(source, target)) return;
    refuseNesting(source, target, "move");

    std::error_code ignored;
    if (!FileSystemFaults::check(Operation::remove)) fs::remove_all(target, ignored);
    std::error_code error;
    FileSystemFaults::checkpoint(Operation::rename, source);
    fs::rename(source, target, error);
    if (error == std::errc::cross_device_link) {
        // Another file system: copy, adopt the copy, then drop the original. A
        // failure to remove the original loses nothing, so it is not reported.
        FileManager::overwritingCopy(source, target);
        url_.setValue(target);
        adoptIdentity();
        moveScheduledDeletions(source, target);
        if (!FileSystemFaults::check(Operation::remove)) fs::remove_all(source, ignored);
        return;
    }
    if (error) throw fs::filesystem_error("cannot move the backup package", source, target, error);
    url_.setValue(target);
    moveScheduledDeletions(source, target);
}

void BackupFileData::moveScheduledDeletions(const URL& from, const URL& to) {
    // Copies still scheduled (their deletion failed) follow the package; the
    // move itself has succeeded whatever happens here.
    try {
        if (const auto schedule = DataCopyDeletionSchedule::standard()) schedule->move(from, to);
    } catch (const std::exception&) {
    }
}

void BackupFileData::replace(const URL& with) {
    write();
    checkCurrentLocation();

    // Opening the other package validates and reads it completely before
    // anything here changes, so a failure leaves this instance as it was.
    BackupFileData other(with);
    appItems_ = std::move(other.appItems_);
    execItems_ = std::move(other.execItems_);
    fileItems_ = std::move(other.fileItems_);
    eventItems_ = std::move(other.eventItems_);
    dataItems_ = std::move(other.dataItems_);
    noteItems_ = std::move(other.noteItems_);
    needsToWriteAppItems_ = needsToWriteExecItems_ = needsToWriteFileItems_ = false;
    needsToWriteEventItems_ = needsToWriteDataItems_ = needsToWriteNoteItems_ = false;
    base_ = std::move(other.base_);
    stamps_ = other.stamps_;
    identity_ = other.identity_;
    url_.setValue(other.packageURL());
}

void BackupFileData::importPackage(const URL& from) {
    write();
    checkCurrentLocation();

    const URL package = packageURL();
    const URL source = withoutTrailingSeparator(from);
    if (isSameLocation(package, source)) {
        read();
        return;
    }
    refuseNesting(package, source, "import");
    // A package that does not open must not replace a good one.
    [[maybe_unused]] const BackupFileData validated(source);
    FileManager::overwritingCopy(source, package);
    // The copy is a new folder in the old one's place.
    adoptIdentity();
    read();
}

void BackupFileData::exportPackage(const URL& to) {
    write();
    const URL package = packageURL();
    if (!hasPackageExtension(package)) {
        throw BackupError(BackupError::Code::backupFileExtensionIsInvalid);
    }
    const URL target = withoutTrailingSeparator(to);
    refuseNesting(package, target, "export");
    FileManager::overwritingCopy(package, target);
}

}  // namespace quillfen
