#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>

#include "OutfitterTestSupport.h"
#include "UpdateTestSupport.h"
#include "keel/FileSystemFaults.h"
#include "outfitter/InstallLocation.h"
#include "outfitter/PerUserInstall.h"
#include "outfitter/UpdateError.h"

using namespace outfitter;
using namespace outfittertest;
namespace fs = std::filesystem;

namespace {

class OutfitterPerUserInstallTest : public ::testing::Test {
protected:
    fs::path root() const { return fs::path(folder.path().toStdString()); }
    fs::path prefix() const { return root() / "home/.local"; }
    fs::path programOf(const std::string& version) const {
        return prefix() / "lib/quillfen" / version / "bin/quillfen-gui";
    }

    // Installs an archive of `entries` as `version` while `running` runs.
    PerUserInstall::Outcome install(const std::vector<ArchiveEntry>& entries,
                                    const std::string& version, const fs::path& running) {
        const fs::path archive = root() / "release.tar.gz";
        writeFile(archive, makeTarGz(entries));
        const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error("cannot open the archive");
        try {
            const auto outcome = PerUserInstall(prefix()).installArchive(
                fd, *UpdateVersion::parse(version), running, "1.2.0");
            ::close(fd);
            return outcome;
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    PerUserInstall::Outcome install(const std::string& version, const fs::path& running) {
        return install(releaseEntries(version), version, running);
    }
    std::map<std::string, std::string> prefixSnapshot() const { return treeOf(prefix()); }

    // In memory where there is /dev/shm: an install flushes the whole file
    // system, which on a shared disk costs more than everything else here.
    QTemporaryDir folder{QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/qf-install-XXXXXX")
                                                   : QDir::tempPath() + "/qf-install-XXXXXX"};
};

TEST_F(OutfitterPerUserInstallTest, AReleaseHoldingAnythingButFilesAndFoldersIsRefusedWhole) {
    makePerUserInstall(prefix(), "1.2.0");
    const fs::path outside = root() / "outside";
    using Kind = ArchiveEntry::Kind;
    struct Case {
        const char* name;
        std::vector<ArchiveEntry> extra;
        bool withoutProgram = false;
    };
    const Case cases[] = {
        {"an absolute name", {ArchiveEntry::file(outside.string(), "x")}},
        {"a .. inside a name", {ArchiveEntry::file("bin/../../../../outside", "x")}},
        {"a relative link leading out", {ArchiveEntry::link("share/data", "../../../../..")}},
        {"a link that stays inside", {ArchiveEntry::link("bin/qf", "quillfen")}},
        {"a hard link", {{Kind::hardlink, "bin/copy", "bin/quillfen", 0755}}},
        {"a set-group-ID folder", {{Kind::folder, "share/docs", {}, 02755}}},
        {"a device", {{Kind::device, "bin/null", {}, 0666}}},
        {"a name that comes twice", {ArchiveEntry::file("./bin/quillfen", "again", 0755)}},
        {"a program for another computer",
         {ArchiveEntry::file("bin/quillfen-gui", "#!/bin/sh\n", 0755)},
         true},
        {"no program at all", {}, true},
    };
    const auto before = prefixSnapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ArchiveEntry> entries = releaseEntries("1.3.0");
        if (c.withoutProgram) entries.erase(entries.begin() + 1);
        entries.insert(entries.end(), c.extra.begin(), c.extra.end());
        try {
            install(entries, "1.3.0", programOf("1.2.0"));
            ADD_FAILURE() << "installed";
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.kind(), UpdateError::Kind::archiveRefused) << error.what();
        }
        EXPECT_EQ(prefixSnapshot(), before);  // no version, no staging folder, no link
        EXPECT_FALSE(fs::exists(outside));
    }
    // Not an archive at all.
    const fs::path text = root() / "notes.txt";
    writeFile(text, "hello");
    const int fd = ::open(text.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_THROW(PerUserInstall(prefix()).installArchive(fd, *UpdateVersion::parse("1.3.0"),
                                                         programOf("1.2.0"), "1.2.0"),
                 UpdateError);
    ::close(fd);
    EXPECT_EQ(prefixSnapshot(), before);
}

// Fails the install at every step in turn, as a crash or a full disk would,
// and checks that the programs still start, as the old or the new version,
// and that the next install completes.
TEST_F(OutfitterPerUserInstallTest, AnInstallStoppedAtAnyStepLeavesProgramsThatStart) {
    using keel::FileSystemFaults;
    struct Layout {
        const char* name;
        std::function<void(const fs::path&)> make;
        fs::path running;  // relative to the prefix
    };
    const Layout layouts[] = {
        {"per user", [](const fs::path& p) { makePerUserInstall(p, "1.2.0"); },
         "lib/quillfen/1.2.0/bin/quillfen-gui"},
        {"plain", [](const fs::path& p) { makePlainInstall(p, "1.2.0"); }, "bin/quillfen-gui"},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        bool completed = false;
        for (std::uint64_t n = 1; !completed && n < 400; ++n) {
            SCOPED_TRACE("failing step " + std::to_string(n));
            fs::remove_all(root() / "home");
            layout.make(prefix());
            const fs::path running = fs::canonical(prefix() / layout.running);
            {
                FileSystemFaults::Scope fault(n, EIO, FileSystemFaults::Persistence::fromThenOn);
                try {
                    install("1.3.0", running);
                } catch (const UpdateError&) {
                }
                completed = !FileSystemFaults::didFire();
            }
            for (const char* program : {"quillfen-gui", "quillfen"}) {
                const std::string found = contentAt(prefix() / "bin" / program);
                EXPECT_TRUE(found == fakeProgram(std::string(program) + " 1.2.0") ||
                            found == fakeProgram(std::string(program) + " 1.3.0"))
                    << program << ": " << found.substr(64);
            }
            install("1.3.0", running);
            EXPECT_EQ(contentAt(prefix() / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.3.0"));
            EXPECT_EQ(contentAt(prefix() / "bin/quillfen"), fakeProgram("quillfen 1.3.0"));
            EXPECT_EQ(contentAt(prefix() / "lib/quillfen/previous/bin/quillfen-gui"),
                      fakeProgram("quillfen-gui 1.2.0"));
            if (HasFailure()) return;
        }
        EXPECT_TRUE(completed);
    }
}

TEST_F(OutfitterPerUserInstallTest, OneVersionIsKeptToGoBackToBesidesTheRunningOne) {
    makePerUserInstall(prefix(), "1.2.0");
    const fs::path running = programOf("1.2.0");
    PerUserInstall layout(prefix());
    EXPECT_EQ(install("1.3.0", running), PerUserInstall::Outcome::installed);
    EXPECT_EQ(install("1.3.0", running), PerUserInstall::Outcome::alreadyCurrent);
    // Not restarted yet: 1.2.0 still runs and stays.
    install("1.4.0", running);
    EXPECT_TRUE(fs::exists(programOf("1.2.0")));
    EXPECT_TRUE(fs::exists(programOf("1.3.0")));
    // Restarted into 1.4.0: what is neither current, previous nor running goes.
    install("1.5.0", fs::canonical(programOf("1.4.0")));
    EXPECT_FALSE(fs::exists(prefix() / "lib/quillfen/1.2.0"));
    EXPECT_FALSE(fs::exists(prefix() / "lib/quillfen/1.3.0"));
    EXPECT_EQ(layout.currentVersion(), "1.5.0");
    EXPECT_EQ(layout.previousVersion(), "1.4.0");

    layout.rollBack();
    EXPECT_EQ(layout.currentVersion(), "1.4.0");
    EXPECT_EQ(layout.previousVersion(), "1.5.0");
    EXPECT_EQ(contentAt(prefix() / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.4.0"));
}

TEST_F(OutfitterPerUserInstallTest, AnInstallWhileAnotherRunsChangesNothing) {
    makePerUserInstall(prefix(), "1.2.0");
    const int lock = ::open((prefix() / "lib/quillfen/.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const auto before = prefixSnapshot();
    try {
        install("1.3.0", programOf("1.2.0"));
        ADD_FAILURE() << "installed";
    } catch (const UpdateError& error) {
        EXPECT_EQ(error.kind(), UpdateError::Kind::updateInProgress);
    }
    ::close(lock);
    EXPECT_EQ(prefixSnapshot(), before);
}

TEST_F(OutfitterPerUserInstallTest, WhereTheProgramLiesTellsHowItWasInstalled) {
    using Kind = InstallLocation::Kind;
    const InstallLocation::Folders folders{
        "/home/ada", {"/home/ada/Downloads", "/home/ada/Téléchargements"}, {"/tmp", "/var/tmp"}};
    struct Case {
        fs::path program;
        Kind kind;
        fs::path prefix;
    };
    const Case cases[] = {
        {"/usr/bin/quillfen-gui", Kind::systemPackage, {}},
        {"/usr/local/bin/quillfen-gui", Kind::systemPackage, {}},
        {"/home/ada/.local/lib/quillfen/1.2.0/bin/quillfen-gui", Kind::perUser, "/home/ada/.local"},
        {"/home/ada/.local/bin/quillfen-gui", Kind::plainPrefix, "/home/ada/.local"},
        {"/home/ada/Downloads/quillfen-1.2.0/bin/quillfen-gui", Kind::temporaryFolder,
         "/home/ada/Downloads/quillfen-1.2.0"},
        {"/home/ada/Téléchargements/q/bin/quillfen-gui", Kind::temporaryFolder,
         "/home/ada/Téléchargements/q"},
        {"/tmp/quillfen-1.2.0/bin/quillfen-gui", Kind::temporaryFolder, "/tmp/quillfen-1.2.0"},
        {"/home/ada/src/quillfen/build/src/desktop/quillfen-gui", Kind::unmanaged, {}},
        {"/opt/quillfen/bin/quillfen-gui", Kind::unmanaged, {}},
        {"/home/adam/.local/bin/quillfen-gui", Kind::unmanaged, {}},  // another user's home
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const InstallLocation location = InstallLocation::classify(c.program, folders);
        EXPECT_EQ(location.kind, c.kind);
        EXPECT_EQ(location.prefix, c.prefix);
    }
    EXPECT_EQ(InstallLocation::classify("/usr/bin/quillfen-gui", folders, "Snap").kind,
              Kind::sandboxed);
}

}  // namespace
