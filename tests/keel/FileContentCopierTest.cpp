// Copies of file contents: each way (clone, in-kernel copy, read and write)
// gives the same bytes, size and holes, a refused way falls back to the next
// one, and any other failure is reported with the old destination intact.
// The ways are chosen through the fault seam's refusals, so the tests do not
// depend on the file system the temporary folder is on.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "support/TestSupport.h"

using keel::FileManager;
using keel::FileSystemFaults;
using namespace testsupport;

namespace {

using Operation = FileSystemFaults::Operation;

constexpr off_t kMiB = 1 << 20;

// Bytes that differ from place to place, so that a piece copied to the wrong
// offset shows.
std::string pattern(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 + i / 4096);
    return bytes;
}

struct Layout {
    const char* name;
    off_t size;
    std::vector<SparsePiece> pieces;
    bool sparse;
};

const std::vector<Layout>& layouts() {
    static const std::vector<Layout> all = {
        {"data, a hole, data not block-aligned, a hole at the end",
         16 * kMiB,
         {{0, pattern(8192, 'a')}, {5 * kMiB, pattern(5000, 'b')}},
         true},
        {"a hole first, then data to the end",
         8 * kMiB,
         {{8 * kMiB - 100000, pattern(100000, 'c')}},
         true},
        {"holes only", 16 * kMiB, {}, true},
        {"dense", 300000, {{0, pattern(300000, 'd')}}, false},
        {"a few bytes", 3, {{0, "abc"}}, false},
        {"empty", 0, {}, false},
    };
    return all;
}

struct Way {
    const char* name;
    std::vector<Operation> refused;
    int error;
    // The checkpoint that the bytes of a file with data go through.
    Operation expected;
};

const std::vector<Way>& ways() {
    static const std::vector<Way> all = {
        {"clone refused", {Operation::cloneFile}, EOPNOTSUPP, Operation::copyBytes},
        {"clone refused across file systems", {Operation::cloneFile}, EXDEV, Operation::copyBytes},
        {"clone unknown to the file system", {Operation::cloneFile}, ENOTTY, Operation::copyBytes},
        {"clone and in-kernel copy refused",
         {Operation::cloneFile, Operation::copyBytes},
         EXDEV,
         Operation::write},
        {"clone and in-kernel copy unsupported",
         {Operation::cloneFile, Operation::copyBytes},
         EOPNOTSUPP,
         Operation::write},
        {"no in-kernel copy on this kernel",
         {Operation::cloneFile, Operation::copyBytes},
         ENOSYS,
         Operation::write},
        {"in-kernel copy refused for these files",
         {Operation::cloneFile, Operation::copyBytes},
         EINVAL,
         Operation::write},
    };
    return all;
}

// Refuses what `way` refuses for the life of the object.
struct Refusals {
    explicit Refusals(const Way& way) : operations(way.refused) {
        for (const auto operation : operations)
            FileSystemFaults::refuse(operation, way.error);
    }
    ~Refusals() {
        for (const auto operation : operations)
            FileSystemFaults::allow(operation);
    }
    std::vector<Operation> operations;
};

void expectSameFile(const fs::path& copy, const fs::path& original, bool sparse, bool holesKept) {
    EXPECT_EQ(fs::file_size(copy), fs::file_size(original));
    EXPECT_TRUE(readFile(copy) == readFile(original)) << "the bytes differ";
    if (sparse && holesKept) {
        EXPECT_LT(allocatedBytes(copy), static_cast<unsigned long long>(kMiB))
            << "the holes were filled";
    }
}

}  // namespace

TEST(FileContentCopierTest, EveryWayGivesTheSameBytesSizeAndHoles) {
    TemporaryDirectory dir;
    const bool holesKept = keepsHoles(dir.path());
    for (const auto& layout : layouts()) {
        const fs::path source = dir / "source";
        writeSparseFile(source, layout.size, layout.pieces);
        const bool hasData = !layout.pieces.empty();
        for (const auto& way : ways()) {
            SCOPED_TRACE(std::string(layout.name) + ", " + way.name);
            writeFile(dir / "copy", "old");
            {
                Refusals refusals(way);
                FileSystemFaults::Scope counting(0, 0);
                FileManager::overwritingCopy(source, dir / "copy");
                if (hasData) {
                    EXPECT_GT(FileSystemFaults::passed(way.expected), 0u);
                }
                if (way.expected == Operation::copyBytes) {
                    EXPECT_EQ(FileSystemFaults::passed(Operation::write), 0u);
                }
            }
            expectSameFile(dir / "copy", source, layout.sparse, holesKept);
        }
        // Without refusals: a clone where the file system shares blocks,
        // else one of the copies; the same file either way.
        FileManager::overwritingCopy(source, dir / "copy");
        expectSameFile(dir / "copy", source, layout.sparse, holesKept);
    }
}

// A clone or an in-kernel copy refused at any step of a copy, also after
// part of the file went one way, makes the rest go the next way with the same
// result; an operation that has no other way reports the error and leaves the
// old destination.
TEST(FileContentCopierTest, ARefusalAtAnyStepFallsBackOrIsReported) {
    TemporaryDirectory dir;
    const fs::path source = dir / "source";
    const auto& layout = layouts().front();
    writeSparseFile(source, layout.size, layout.pieces);
    const bool holesKept = keepsHoles(dir.path());
    for (const int error : {EXDEV, EOPNOTSUPP, EINVAL}) {
        bool completed = false;
        int fallbacks = 0;
        for (std::uint64_t n = 1; !completed && n < 50; ++n) {
            SCOPED_TRACE("errno " + std::to_string(error) + ", step " + std::to_string(n));
            writeFile(dir / "copy", "old");
            // Only the clone is refused by the file system, so that the
            // in-kernel copy is taken and can be refused part-way.
            FileSystemFaults::Refusal clone({Operation::cloneFile}, EOPNOTSUPP);
            FileSystemFaults::Scope fault(n, error);
            bool threw = false;
            try {
                FileManager::overwritingCopy(source, dir / "copy");
            } catch (const fs::filesystem_error& failure) {
                threw = true;
                EXPECT_EQ(failure.code().value(), error);
            }
            completed = !FileSystemFaults::didFire();
            const auto failed = FileSystemFaults::failedOperation();
            if (!threw) {
                expectSameFile(dir / "copy", source, layout.sparse, holesKept);
                if (failed == Operation::copyBytes) ++fallbacks;
            } else {
                EXPECT_NE(failed, Operation::copyBytes);
                // Only the flush after the rename comes when the copy is in place.
                if (failed != Operation::flush) {
                    EXPECT_EQ(readFile(dir / "copy"), "old");
                }
            }
        }
        EXPECT_TRUE(completed);
        // The file's two pieces of data: the first and the second in-kernel copy.
        EXPECT_EQ(fallbacks, 2);
    }
}

// A clone that fails for another reason than a refusal (a full disk, an I/O
// error) is not papered over by a copy that might fail later or differently.
TEST(FileContentCopierTest, AFailedCloneIsReported) {
    TemporaryDirectory dir;
    writeSparseFile(dir / "source", 4 * kMiB, {{0, "data"}});
    writeFile(dir / "copy", "old");
    for (const int error : {ENOSPC, EIO}) {
        // The clone is the second step, after the creation of the temporary.
        FileSystemFaults::Scope fault(2, error);
        try {
            FileManager::overwritingCopy(dir / "source", dir / "copy");
            ADD_FAILURE() << "no error for errno " << error;
        } catch (const fs::filesystem_error& failure) {
            EXPECT_EQ(failure.code().value(), error);
        }
        EXPECT_EQ(FileSystemFaults::failedOperation(), Operation::cloneFile);
        EXPECT_EQ(readFile(dir / "copy"), "old");
    }
}

// Files of /proc report a size of 0 and those of /sys one of a page, whatever
// they hold; the kernel's copy sees nothing of them on some kernels. Their
// copies hold what reading them gives.
TEST(FileContentCopierTest, FilesThatMisstateTheirSizeAreCopiedAsRead) {
    TemporaryDirectory dir;
    std::vector<fs::path> sources = {"/proc/self/cmdline", "/proc/sys/kernel/ostype"};
    for (const char* candidate : {"/sys/devices/system/cpu/online", "/sys/power/state"}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            sources.emplace_back(candidate);
            break;
        }
    }
    for (const auto& source : sources) {
        std::error_code error;
        if (!fs::is_regular_file(source, error)) continue;
        SCOPED_TRACE(source.string());
        const std::string content = readFile(source);
        ASSERT_FALSE(content.empty());
        FileManager::overwritingCopy(source, dir / "copy");
        EXPECT_EQ(readFile(dir / "copy"), content);
    }
}

// A file system that refuses clones as such is asked once per copied folder,
// not once per file; a refusal that can be about one file (EINVAL) is not
// taken for the others. Every file is copied whichever it was.
TEST(FileContentCopierTest, AClonesRefusalForTheFileSystemHoldsForTheRestOfTheFolder) {
    TemporaryDirectory dir;
    fs::create_directories(dir / "source" / "sub");
    for (const char* name : {"a", "b", "sub/c"})
        writeFile(dir / "source" / name, std::string("content of ") + name);
    for (const int error : {EOPNOTSUPP, EXDEV, EINVAL}) {
        SCOPED_TRACE("errno " + std::to_string(error));
        // The step of the first clone, found by arming one step after another.
        bool refusedFirstClone = false;
        for (std::uint64_t n = 1; !refusedFirstClone && n < 20; ++n) {
            fs::remove_all(dir / "copy");
            FileSystemFaults::Scope fault(n, error);
            try {
                FileManager::overwritingCopy(dir / "source", dir / "copy");
            } catch (const fs::filesystem_error&) {
                continue;  // an earlier step failed
            }
            if (FileSystemFaults::failedOperation() != Operation::cloneFile) continue;
            refusedFirstClone = true;
            if (error == EINVAL) {
                EXPECT_GT(FileSystemFaults::passed(Operation::cloneFile), 0u);
            } else {
                EXPECT_EQ(FileSystemFaults::passed(Operation::cloneFile), 0u);
            }
            for (const char* name : {"a", "b", "sub/c"})
                EXPECT_EQ(readFile(dir / "copy" / name), std::string("content of ") + name);
        }
        EXPECT_TRUE(refusedFirstClone);
        // The next copy asks again.
        FileSystemFaults::Scope counting(0, 0);
        fs::remove_all(dir / "copy");
        FileManager::overwritingCopy(dir / "source", dir / "copy");
        EXPECT_GT(FileSystemFaults::passed(Operation::cloneFile), 0u);
    }
}
