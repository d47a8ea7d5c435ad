// PreferencesTool: runs the system's preferences tool on one property-list
// file ("<tool> -currentHost read <file>") and waits for it. Reading a
// preferences file through the tool makes the system's preferences daemon
// flush what it caches for that file, so the file on disk is current before
// it is copied, and the daemon picks up a file that was just restored.
//
// The tool is started directly (no shell), with its standard input, output
// and error on /dev/null: its output is of no use, and a pipe nobody reads
// would stall a tool that prints a large property list. A tool that is still
// running after `timeLimit` seconds is interrupted: the line "KILL for
// <file>" goes to standard output, the tool's process group gets SIGINT and,
// when it has not exited `gracePeriod` seconds later, SIGKILL.
//
// Nothing here fails: a tool that is missing, not executable or cannot be
// started is skipped, and the tool's exit status is not examined. `read` may
// run on several threads at once; each call has its own child and timer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillfen {

class PreferencesTool {
public:
    static constexpr double defaultTimeLimit = 3.0;
    static constexpr double defaultGracePeriod = 1.0;

    explicit PreferencesTool(std::filesystem::path executable, double timeLimit = defaultTimeLimit,
                             double gracePeriod = defaultGracePeriod);

    const std::filesystem::path& executable() const { return executable_; }

    // Whether the tool exists and this process may execute it.
    bool isAvailable() const;

    // Lets the tool read the property list at `url` and waits until it exits
    // or has been stopped. Does nothing when the tool is not available.
    void read(const std::filesystem::path& url) const;

    // Runs the tool with `arguments` as above; `subject` names what the run is
    // about in the "KILL for" line. Returns whether the tool was started.
    bool run(const std::vector<std::string>& arguments, const std::string& subject) const;

private:
    std::filesystem::path executable_;
    double timeLimit_;
    double gracePeriod_;
};

}  // namespace quillfen
