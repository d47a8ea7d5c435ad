// PathStatuses: what one look at the file system said about the locations of
// an item's settings paths (the lstat result, or that nothing is there), kept
// while the item's state is built. Finding an application's paths already
// asks the system about every location, to follow symbolic links; the path
// states built right after take the answer from here instead of asking again,
// so each location costs one system call instead of two. The answer is what
// the state would have read a few microseconds later; it is not kept beyond
// the one item it was gathered for.
//
// A plain value for one thread: build one per item, hand it to the finder,
// then to the state, and drop it.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillfen {

class PathStatuses {
public:
    struct Status {
        // False when lstat failed: nothing there, or nothing this process may see.
        bool exists = false;
        struct stat info {};
    };

    // What lstat says of `location` now.
    static Status lstatOf(const std::string& location);

    // Records what lstat said of the absolute location `location`.
    void remember(std::string location, const Status& status);
    // What was last recorded for `location`, if anything.
    std::optional<Status> find(const std::string& location) const;

private:
    // An item has a handful of locations: a list searched in order costs less
    // than hashing them.
    std::vector<std::pair<std::string, Status>> statuses_;
};

}  // namespace quillfen
