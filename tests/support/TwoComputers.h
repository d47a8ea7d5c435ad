// Two computers sharing one package in a replicated folder, in one process:
// the engine's tests switch the home folder between "first" and "second"
// under one temporary folder. Both share the settings file, the support
// folder (so the undo store), an empty applications folder and a
// preferences tool that does not exist, so no property list is read through
// the system's tool.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "support/TestSupport.h"
#include "sync/SyncEngine.h"

namespace quillfen::testing {

class TwoComputers : public ::testing::Test {
protected:
    TwoComputers()
        : base(std::filesystem::canonical(temp_.path())),
          first(base / "first"),
          second(base / "second"),
          packageURL(base / "Cloud" / "Settings.qfbackup"),
          config_("XDG_CONFIG_HOME", (base / "config").string()),
          data_("XDG_DATA_HOME", (base / "data").string()) {
        std::filesystem::create_directories(first);
        std::filesystem::create_directories(second);
        std::filesystem::create_directories(base / "Applications");
        keel::UserSettings::standard().setFileURL(base / "config" / "settings.json");
        local = std::make_unique<LocalResources>(base / "Applications");
        SyncEngine::setPreferencesToolPath(base / "no-such-tool");
        useComputer(first);
    }

    ~TwoComputers() override {
        file.reset();
        keel::DispatchQueue::drainMain();
        SyncEngine::setPreferencesToolPath("/usr/bin/defaults");
        keel::UserSettings::standard().setFileURL(keel::UserSettings::defaultFileURL());
    }

    // Makes `home` the home folder of the computer the next steps run on, and
    // opens the package from disk, as that computer would.
    void useComputer(const std::filesystem::path& home) {
        home_.reset();
        home_ = std::make_unique<testsupport::ScopedEnv>("HOME", home.string());
        file.reset();
        file = BackupFile::open(packageURL);
    }

    // Writes the settings file `path` of the computer whose home is `home`,
    // with its mode and its modification date in seconds and nanoseconds
    // since 1970.
    static void writeSetting(const std::filesystem::path& home, const std::string& path,
                             const std::string& content,
                             std::filesystem::perms mode = std::filesystem::perms(0644),
                             time_t date = 1'600'000'000, long nanoseconds = 123'456'789) {
        testsupport::writeFile(home / path, content);
        std::filesystem::permissions(home / path, mode);
        testsupport::setModifyDate(home / path, date, nanoseconds);
    }

private:
    testsupport::TemporaryDirectory temp_;

protected:
    const std::filesystem::path base;
    const std::filesystem::path first;
    const std::filesystem::path second;
    const std::filesystem::path packageURL;
    std::unique_ptr<LocalResources> local;
    std::shared_ptr<BackupFile> file;

private:
    testsupport::ScopedEnv config_;
    testsupport::ScopedEnv data_;
    std::unique_ptr<testsupport::ScopedEnv> home_;
};

}  // namespace quillfen::testing
