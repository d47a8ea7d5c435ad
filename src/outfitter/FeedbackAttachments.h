// FeedbackAttachments: which files the user attached may go with a feedback,
// and the ZIP archive they travel in.
//
// Only regular files are taken (no folders, links, devices or pipes), each of
// at most 19 units of 1024 bytes (its size divided by 1024, rounded down), and
// only while the taken files add up to at most 19 units; list order decides.
// Every file left out is reported with its reason, so that the user learns it
// before anything is sent.
//
// Thread safety: stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace outfitter {

struct FeedbackAttachments {
    static constexpr std::uintmax_t kUnitBytes = 1024;
    static constexpr std::uintmax_t kLimitUnits = 19;

    enum class SkipReason {
        unreadable,      // missing, or cannot be opened
        notRegularFile,  // a folder, a link, a device or a pipe
        tooLarge,        // more than 19 units by itself
        overTotal,       // would bring the total past 19 units
    };
    struct Skipped {
        std::filesystem::path path;
        SkipReason reason;
    };
    struct Selection {
        std::vector<std::filesystem::path> kept;
        std::vector<Skipped> skipped;
    };

    static Selection select(const std::vector<std::filesystem::path>& candidates);

    // Why a file was left out, for people.
    static std::string describe(SkipReason reason);

    // A ZIP archive holding one folder, named by a fresh UUID, with the files
    // under their own names ("name 2.txt" for a second file of the same
    // name). Throws AttachmentError when a file is no longer a readable
    // regular file within the limits.
    static std::string archive(const std::vector<std::filesystem::path>& files);
};

class AttachmentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace outfitter
