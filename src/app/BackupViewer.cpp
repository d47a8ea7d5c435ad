#include "app/BackupViewer.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

#include "backup/BackupFile.h"
#include "keel/Bundle.h"
#include "keel/FinderOrder.h"
#include "keel/NotificationCenter.h"

namespace quillfen {

namespace {

using Category = BackupEdition::Category;
using Action = BackupEdition::Action;

// Applies `changes` to `rows`, a list in Finder order of `keyOf`, and returns
// the rows it changed. For each change, in order: the key's place is the
// first row that does not sort before it; a fresh entry is built there;
// `belongs(change, fresh, present)` says whether the key has a row after the
// edit, `present` being whether the row at the place carries the key. Then
// the row is replaced (update), inserted (add) or removed (remove), and
// nothing happens when it is neither present nor wanted. A row of another key
// is never touched.
template <class Entry, class KeyOf, class Make, class Belongs>
std::vector<BackupEdition::Entry> applyChanges(std::vector<Entry>& rows,
                                               const std::vector<BackupEdition::Entry>& changes,
                                               KeyOf keyOf, Make make, Belongs belongs) {
    std::vector<BackupEdition::Entry> applied;
    for (const BackupEdition::Entry& change : changes) {
        const auto place = std::partition_point(rows.begin(), rows.end(), [&](const Entry& row) {
            return keel::finderLess(keyOf(row), change.key);
        });
        const bool present = place != rows.end() && keyOf(*place) == change.key;
        const int index = static_cast<int>(std::distance(rows.begin(), place));
        Entry fresh = make(change.key);
        if (belongs(change.action, fresh, present)) {
            if (present) {
                *place = std::move(fresh);
                applied.push_back({index, change.key, Action::update});
            } else {
                rows.insert(place, std::move(fresh));
                applied.push_back({index, change.key, Action::add});
            }
        } else if (present) {
            rows.erase(place);
            applied.push_back({index, change.key, Action::remove});
        }
    }
    return applied;
}

}  // namespace

std::shared_ptr<BackupViewer> BackupViewer::create() {
    return std::make_shared<BackupViewer>(Passkey{});
}

BackupViewer::BackupViewer(Passkey) : serialQueue_(keel::uniqueID("BackupViewer.serialQueue")) {}

BackupViewer::~BackupViewer() {
    // Also waits for the work already given to the queue, which refers to
    // this viewer.
    serialQueue_.sync([this] {
        if (fileDidEditItemsSubscriber_) fileDidEditItemsSubscriber_->cancel();
    });
}

// MARK: File and entries

std::shared_ptr<BackupFile> BackupViewer::backupFile() {
    return serialQueue_.sync([this] { return backupFile_; });
}

void BackupViewer::setBackupFile(std::shared_ptr<BackupFile> file) {
    serialQueue_.sync([this, &file] {
        if (!fileDidEditItemsSubscriber_) {
            fileDidEditItemsSubscriber_ = std::make_unique<keel::NoteSubscriber>();
        }
        fileDidEditItemsSubscriber_->cancel();
        backupFile_ = std::move(file);
        if (!backupFile_) return;
        fileDidEditItemsSubscriber_->subscribe(
            {BackupFile::didItemsNotification}, backupFile_.get(),
            [weakViewer = weak_from_this()](const keel::Notification& notification) {
                if (const auto viewer = weakViewer.lock()) viewer->fileDidEditItems(notification);
            });
    });
}

std::vector<BackupAppEntry> BackupViewer::backupAppEntries() {
    return serialQueue_.sync([this] { return backupAppEntries_; });
}

std::vector<BackupExecEntry> BackupViewer::backupExecEntries() {
    return serialQueue_.sync([this] { return backupExecEntries_; });
}

std::vector<BackupFileEntry> BackupViewer::backupFileEntries() {
    return serialQueue_.sync([this] { return backupFileEntries_; });
}

std::optional<BackupNoteEntry> BackupViewer::backupNoteEntry() {
    return serialQueue_.sync([this] { return backupNoteEntry_; });
}

// MARK: Rebuilding

void BackupViewer::reload(bool synchronized) {
    reloadList(Category::all, synchronized);
}

void BackupViewer::reloadAppEntries(bool synchronized) {
    reloadList(Category::apps, synchronized);
}

void BackupViewer::reloadExecEntries(bool synchronized) {
    reloadList(Category::execs, synchronized);
}

void BackupViewer::reloadFileEntries(bool synchronized) {
    reloadList(Category::files, synchronized);
}

void BackupViewer::reloadNoteEntry(bool synchronized) {
    reloadList(Category::notes, synchronized);
}

void BackupViewer::reloadList(Category category, bool synchronized) {
    serialQueue_.execute(synchronized, [this, category] {
        rebuild(category);
        postDidReload({category, std::nullopt});
    });
}

// Each list is built aside and stored whole, so that a reader never sees half
// a list and a failure leaves the previous list in place.

namespace {

// Rows one thread builds in one go: enough to outweigh the handing over.
constexpr std::size_t kRowsPerGroup = 16;

// The rows of `keys`, in their order. Each row asks the file system about its
// paths; hundreds of them are built on every core at once. Rows that can be
// made together are, a group at a time: the package's queue is then asked
// twice per group rather than twice per row, and the threads seldom wait
// there for each other.
template <class Entry>
std::vector<Entry> entriesFor(const std::shared_ptr<BackupFile>& file,
                              const std::vector<std::string>& keys) {
    std::vector<Entry> entries(keys.size());
    const std::size_t groups = (keys.size() + kRowsPerGroup - 1) / kRowsPerGroup;
    keel::DispatchQueue::concurrentPerform(groups, [&](std::size_t group) {
        const std::size_t begin = group * kRowsPerGroup;
        const std::size_t end = std::min(keys.size(), begin + kRowsPerGroup);
        if constexpr (requires { Entry::make(file, std::vector<std::string>()); }) {
            std::vector<Entry> made = Entry::make(
                file, std::vector<std::string>(keys.begin() + static_cast<std::ptrdiff_t>(begin),
                                               keys.begin() + static_cast<std::ptrdiff_t>(end)));
            std::move(made.begin(), made.end(),
                      entries.begin() + static_cast<std::ptrdiff_t>(begin));
        } else {
            for (std::size_t i = begin; i < end; ++i)
                entries[i] = Entry::make(file, keys[i]);
        }
    });
    return entries;
}

// Stores `fresh` in `list`. The rows it replaces are freed on a background
// thread: hundreds of rows, each with its paths and states, take a good part
// of a rebuild's time to free, which nobody waits for.
template <class Entry>
void replaceRows(std::vector<Entry>& list, std::vector<Entry> fresh) {
    auto old = std::make_shared<std::vector<Entry>>(std::move(list));
    list = std::move(fresh);
    if (old->empty()) return;
    keel::DispatchQueue::global(keel::QualityOfService::background).async([old] { old->clear(); });
}

}  // namespace

void BackupViewer::rebuild(Category category) {
    switch (category) {
        case Category::apps:
            replaceRows(backupAppEntries_, backupFile_ ? entriesFor<BackupAppEntry>(
                                                             backupFile_, backupFile_->appNames())
                                                       : std::vector<BackupAppEntry>());
            return;
        case Category::execs:
            // In Finder order, the order in which `update` looks rows up.
            replaceRows(backupExecEntries_, backupFile_ ? entriesFor<BackupExecEntry>(
                                                              backupFile_, backupFile_->execNames())
                                                        : std::vector<BackupExecEntry>());
            return;
        case Category::files: {
            std::vector<std::string> paths;
            if (backupFile_) {
                for (const BackupFileItem& item : backupFile_->fileItems())
                    paths.push_back(item.path);
            }
            backupFileEntries_ = entriesFor<BackupFileEntry>(backupFile_, paths);
            return;
        }
        case Category::notes:
            backupNoteEntry_ =
                backupFile_ ? std::optional(BackupNoteEntry::make(backupFile_)) : std::nullopt;
            return;
        case Category::all:
            rebuild(Category::apps);
            rebuild(Category::execs);
            rebuild(Category::files);
            rebuild(Category::notes);
            return;
        case Category::data:
        case Category::events:
            return;
    }
}

// MARK: Incremental updates

void BackupViewer::fileDidEditItems(const keel::Notification& notification) {
    if (!enableAutomaticReload.value()) return;
    if (auto edition = BackupFile::edition(notification)) {
        apply(std::move(*edition), notification.object);
    }
}

void BackupViewer::update(const BackupEdition& edition) {
    apply(edition, nullptr);
}

void BackupViewer::apply(BackupEdition edition, const void* source) {
    if (edition.category == Category::data || edition.category == Category::events) {
        postDidReload(std::move(edition));
        return;
    }
    serialQueue_.async([this, edition = std::move(edition), source] {
        // An edit of a file that has been replaced since says nothing about
        // the file shown now; the rebuild that follows a replacement covers it.
        if (source && source != backupFile_.get()) return;
        applyOnQueue(edition);
    });
}

template <class Entry, class Belongs>
void BackupViewer::applyToRows(std::vector<Entry>& rows, const BackupEdition& edition,
                               Belongs belongs) {
    if (!edition.entries) {
        rebuild(edition.category);
        postDidReload({edition.category, std::nullopt});
        return;
    }
    std::vector<BackupEdition::Entry> applied;
    if (backupFile_) {
        applied = applyChanges(
            rows, *edition.entries, [](const Entry& row) { return row.title(); },
            [this](const std::string& key) { return Entry::make(backupFile_, key); }, belongs);
    }
    postDidReload({edition.category, std::move(applied)});
}

void BackupViewer::applyOnQueue(const BackupEdition& edition) {
    switch (edition.category) {
        case Category::apps:
            // An installed application keeps its row whatever the package
            // holds; one that is not installed has a row while recorded.
            applyToRows(backupAppEntries_, edition,
                        [](Action action, const BackupAppEntry& fresh, bool) {
                            return action != Action::remove || fresh.localItem.has_value();
                        });
            return;
        case Category::execs:
            // The catalog's executables are listed whether recorded or not:
            // removing a record refreshes its row and never drops it.
            applyToRows(backupExecEntries_, edition,
                        [](Action action, const BackupExecEntry&, bool present) {
                            return action != Action::remove || present;
                        });
            return;
        case Category::files:
            applyToRows(backupFileEntries_, edition,
                        [](Action action, const BackupFileEntry&, bool) {
                            return action != Action::remove;
                        });
            return;
        case Category::notes:
            rebuild(Category::notes);
            postDidReload({Category::notes, edition.entries});
            return;
        case Category::all:
            rebuild(Category::all);
            postDidReload({Category::all, std::nullopt});
            return;
        case Category::data:
        case Category::events:
            postDidReload(edition);
            return;
    }
}

void BackupViewer::postDidReload(BackupEdition edition) {
    // Only a weak reference waits on the main queue: a viewer destroyed in
    // the meantime announces nothing.
    keel::DispatchQueue::main().async(
        [weakViewer = weak_from_this(), edition = std::move(edition)] {
            const auto viewer = weakViewer.lock();
            if (!viewer) return;
            keel::NotificationCenter::defaultCenter().post(didReloadNotification, viewer.get(),
                                                           {{editionKey, edition}});
        });
}

}  // namespace quillfen
