#include "outfitter/FeedbackAttachments.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <set>

#include "keel/FileDescriptor.h"
#include "keel/LocalizedString.h"
#include "keel/UUID.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

constexpr std::uintmax_t kMaximumFileBytes =
    (FeedbackAttachments::kLimitUnits + 1) * FeedbackAttachments::kUnitBytes - 1;

// Opens without following a link and without waiting on a pipe.
int openForReading(const fs::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

la_ssize_t appendToString(archive*, void* output, const void* buffer, size_t length) {
    static_cast<std::string*>(output)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

std::string uniqueName(const fs::path& file, std::set<std::string>& taken) {
    const std::string stem = file.stem().string();
    const std::string extension = file.extension().string();
    std::string name = file.filename().string();
    for (int number = 2; !taken.insert(name).second; ++number)
        name = stem + " " + std::to_string(number) + extension;
    return name;
}

std::string readAttachment(const fs::path& path, struct stat& info) {
    keel::FileDescriptor file{openForReading(path)};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
        throw AttachmentError(keel::TL("FeedbackAttachmentUnreadable", path.filename().string()));
    if (!S_ISREG(info.st_mode))
        throw AttachmentError(keel::TL("FeedbackAttachmentNotAFile", path.filename().string()));
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw AttachmentError(
                keel::TL("FeedbackAttachmentUnreadable", path.filename().string()));
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > kMaximumFileBytes)
            throw AttachmentError(keel::TL("FeedbackAttachmentTooLarge", path.filename().string()));
    }
    return bytes;
}

}  // namespace

FeedbackAttachments::Selection FeedbackAttachments::select(
    const std::vector<fs::path>& candidates) {
    Selection selection;
    std::uintmax_t total = 0;
    for (const auto& path : candidates) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            selection.skipped.push_back({path, SkipReason::unreadable});
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            selection.skipped.push_back({path, SkipReason::notRegularFile});
            continue;
        }
        keel::FileDescriptor probe{openForReading(path)};
        if (probe.get() < 0) {
            selection.skipped.push_back({path, SkipReason::unreadable});
            continue;
        }
        const std::uintmax_t units = static_cast<std::uintmax_t>(info.st_size) / kUnitBytes;
        if (units > kLimitUnits) {
            selection.skipped.push_back({path, SkipReason::tooLarge});
        } else if (total + units > kLimitUnits) {
            selection.skipped.push_back({path, SkipReason::overTotal});
        } else {
            total += units;
            selection.kept.push_back(path);
        }
    }
    return selection;
}

std::string FeedbackAttachments::describe(SkipReason reason) {
    switch (reason) {
        case SkipReason::unreadable:
            return keel::TL("FeedbackAttachmentSkippedUnreadable");
        case SkipReason::notRegularFile:
            return keel::TL("FeedbackAttachmentSkippedNotAFile");
        case SkipReason::tooLarge:
            return keel::TL("FeedbackAttachmentSkippedTooLarge");
        case SkipReason::overTotal:
            return keel::TL("FeedbackAttachmentSkippedOverTotal");
    }
    return {};
}

std::string FeedbackAttachments::archive(const std::vector<fs::path>& files) {
    std::string output;
    std::unique_ptr<::archive, ArchiveFree> writer(archive_write_new());
    if (!writer || archive_write_set_format_zip(writer.get()) != ARCHIVE_OK ||
        archive_write_open(writer.get(), &output, nullptr, appendToString, nullptr) != ARCHIVE_OK)
        throw AttachmentError(keel::TL("FeedbackAttachmentArchiveFailed"));
    auto fail = [&] {
        throw AttachmentError(keel::TL("FeedbackAttachmentArchiveFailed") + " " +
                              archive_error_string(writer.get()));
    };

    const std::string folder = keel::makeUUIDString();
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), (folder + "/").c_str());
    archive_entry_set_filetype(entry.get(), AE_IFDIR);
    archive_entry_set_perm(entry.get(), 0755);
    archive_entry_set_mtime(entry.get(), ::time(nullptr), 0);
    if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) fail();

    std::set<std::string> taken;
    std::uintmax_t totalUnits = 0;
    for (const auto& path : files) {
        struct stat info {};
        const std::string bytes = readAttachment(path, info);
        // A file may have grown since it was chosen.
        totalUnits += bytes.size() / kUnitBytes;
        if (totalUnits > kLimitUnits)
            throw AttachmentError(keel::TL("FeedbackAttachmentTooLarge", path.filename().string()));
        archive_entry_clear(entry.get());
        archive_entry_set_pathname(entry.get(), (folder + "/" + uniqueName(path, taken)).c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_mtime(entry.get(), info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) fail();
        if (!bytes.empty() && archive_write_data(writer.get(), bytes.data(), bytes.size()) !=
                                  static_cast<la_ssize_t>(bytes.size()))
            fail();
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) fail();
    return output;
}

}  // namespace outfitter
