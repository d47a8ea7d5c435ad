#include <sys/stat.h>

#include <QProcess>

#include <functional>

#include "OutfitterKitFixture.h"
#include "UpdateTestSupport.h"
#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/Appcast.h"
#include "outfitter/PerUserInstall.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UpdateError.h"
#include "outfitter/UpdateSignature.h"
#include "outfitter/Updater.h"

using namespace outfitter;
using namespace outfittertest;
using namespace std::chrono_literals;
using testsupport::LoopbackHttpServer;
using testsupport::ScriptedAnswer;
namespace fs = std::filesystem;

namespace {

// A release as the feed announces it and the server serves it.
struct Release {
    std::string version;
    std::string archive;
    std::string signature;
    std::int64_t length = 0;
    std::string url;
    std::optional<QUrl> redirectTo;  // the server redirects the download there
};

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

class OutfitterUpdaterTest : public KitFixture {
protected:
    static void SetUpTestSuite() { testsupport::trustTestCertificate(); }

    OutfitterUpdaterTest() {
        makePerUserInstall(prefix(), "1.2.0");
        environment.home = home();
        environment.program = prefix() / "lib/quillfen/1.2.0/bin/quillfen-gui";
        environment.bundle.shortVersion = "1.2.0";
        environment.bundle.suFeedURL = secure.url("/appcast.xml").toString().toStdString();
        environment.bundle.suPublicEDKey = keys.publicKey;
    }

    fs::path home() const { return fs::path(folder.path().toStdString()) / "home"; }
    fs::path prefix() const { return home() / ".local"; }
    fs::path downloads() const { return home() / ".cache/Quillfen/Updates"; }
    Updater& updater() { return controller().updater(); }

    Release release(const std::string& version, const std::vector<ArchiveEntry>& entries) {
        Release made;
        made.version = version;
        made.archive = makeTarGz(entries);
        made.signature = UpdateSignature::sign(made.archive, keys.secretKey);
        made.length = static_cast<std::int64_t>(made.archive.size());
        made.url = secure.url(QString::fromStdString("/quillfen-" + version + ".tar.gz"))
                       .toString()
                       .toStdString();
        return made;
    }
    Release release(const std::string& version) {
        return release(version, releaseEntries(version));
    }

    static QByteArray feedOf(const Release& release) {
        Appcast appcast;
        appcast.title = "Quillfen";
        AppcastItem item;
        item.title = "Quillfen " + release.version;
        item.version = release.version;
        item.releaseNotes = "<ul><li>Faster synchronization</li></ul>";
        item.enclosureURL = release.url;
        item.enclosureLength = release.length;
        item.edSignature = release.signature;
        appcast.items.push_back(item);
        return appcast.write();
    }

    // Serves the feed, then the archive (unless the feed alone is asked for).
    void publish(const Release& release, bool withArchive = true) {
        ScriptedAnswer feed = ScriptedAnswer::json(feedOf(release));
        feed.contentType = "application/rss+xml";
        secure.enqueue(feed);
        if (!withArchive) return;
        if (release.redirectTo) {
            secure.enqueue(ScriptedAnswer::redirect(*release.redirectTo));
            return;
        }
        ScriptedAnswer archive = ScriptedAnswer::json(QByteArray::fromStdString(release.archive));
        archive.contentType = "application/gzip";
        secure.enqueue(archive);
    }

    void checkAndWait(bool userInitiated = true) {
        if (userInitiated)
            updater().checkForUpdates();
        else
            updater().checkForUpdatesInBackground();
        ASSERT_TRUE(waitUntil([&] { return !updater().isBusy(); }));
    }

    std::map<std::string, std::string> prefixSnapshot() const { return treeOf(prefix()); }
    bool downloadsAreGone() const {
        std::error_code ignored;
        return !fs::exists(downloads(), ignored) || fs::is_empty(downloads(), ignored);
    }

    LoopbackHttpServer secure{LoopbackHttpServer::Mode::https};
    UpdateSignature::KeyPair keys = UpdateSignature::generateKeyPair();
};

TEST_F(OutfitterUpdaterTest, ASignedNewerVersionIsOfferedDownloadedVerifiedAndInstalled) {
    const auto oldVersion = treeOf(prefix() / "lib/quillfen/1.2.0");
    publish(release("1.3.0"));
    presenter->answers = {2};  // Install Update

    checkAndWait();

    ASSERT_EQ(presenter->questions.size(), 1u);
    const std::string& offer = presenter->questions[0].informativeText;
    EXPECT_NE(offer.find("1.3.0"), std::string::npos) << offer;
    EXPECT_NE(offer.find("- Faster synchronization"), std::string::npos) << offer;
    EXPECT_EQ(presenter->updateShown, 1);
    const PerUserInstall install(prefix());
    EXPECT_EQ(install.currentVersion(), "1.3.0");
    EXPECT_EQ(install.previousVersion(), "1.2.0");
    EXPECT_EQ(contentAt(prefix() / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.3.0"));
    EXPECT_EQ(contentAt(prefix() / "bin/quillfen"), fakeProgram("quillfen 1.3.0"));
    EXPECT_EQ(treeOf(prefix() / "lib/quillfen/1.2.0"), oldVersion);
    EXPECT_TRUE(downloadsAreGone());
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].messageText, keel::TL("UpdateInstalledMessageText", "1.3.0"));
    ASSERT_EQ(secure.requests().size(), 2u);
    EXPECT_EQ(secure.requests()[0].header("user-agent"), "Quillfen/1.2.0");
    EXPECT_EQ(secure.requests()[1].target, "/quillfen-1.3.0.tar.gz");
}

TEST_F(OutfitterUpdaterTest, ADownloadThatFailsACheckIsDeletedAndNothingIsInstalled) {
    using Kind = UpdateError::Kind;
    const auto otherKeys = UpdateSignature::generateKeyPair();
    LoopbackHttpServer plain;
    struct Case {
        const char* name;
        std::function<void(std::vector<ArchiveEntry>&)> alter;  // before signing
        std::function<void(Release&)> spoil;                    // after signing
        Kind kind;
        std::size_t requests;  // the feed alone, or the feed and the download
    };
    const auto none = [](auto&) {};
    const Case cases[] = {
        {"a flipped byte", none, [](Release& r) { r.archive[r.archive.size() / 2] ^= 0x01; },
         Kind::signatureInvalid, 2},
        {"a wrong key", none,
         [&](Release& r) { r.signature = UpdateSignature::sign(r.archive, otherKeys.secretKey); },
         Kind::signatureInvalid, 2},
        {"the feed states one byte more", none, [](Release& r) { r.length += 1; },
         Kind::lengthMismatch, 2},
        {"the feed states one byte less", none, [](Release& r) { r.length -= 1; },
         Kind::lengthMismatch, 2},
        {"a redirect to http://", none, [&](Release& r) { r.redirectTo = plain.url("/x.tar.gz"); },
         Kind::enclosureRefused, 2},
        {"a length over 256 MiB", none,
         [](Release& r) { r.length = Updater::maxDownloadBytes + 1; }, Kind::enclosureRefused, 1},
        {"an address without HTTPS", none,
         [](Release& r) { r.url = "http://updates.example.org/quillfen.tar.gz"; },
         Kind::enclosureRefused, 1},
        {"an archive with ../", [](auto& e) { e.push_back(ArchiveEntry::file("../escaped", "x")); },
         none, Kind::archiveRefused, 2},
        {"an absolute link",
         [](auto& e) { e.push_back(ArchiveEntry::link("bin/helper", "/etc/passwd")); }, none,
         Kind::archiveRefused, 2},
        {"a set-id program", [](auto& e) { e[1].mode = 04755; }, none, Kind::archiveRefused, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = prefixSnapshot();
        const std::size_t requestsBefore = secure.requests().size();
        presenter->alerts.clear();
        std::vector<ArchiveEntry> entries = releaseEntries("1.3.0");
        c.alter(entries);
        Release spoilt = release("1.3.0", entries);
        c.spoil(spoilt);
        publish(spoilt, c.requests == 2);
        presenter->answers = {2};

        checkAndWait();

        EXPECT_EQ(prefixSnapshot(), before);
        EXPECT_FALSE(fs::exists(prefix() / "lib/escaped"));
        EXPECT_TRUE(downloadsAreGone());
        EXPECT_EQ(secure.requests().size() - requestsBefore, c.requests);
        EXPECT_EQ(plain.requests().size(), 0u);
        ASSERT_EQ(presenter->alerts.size(), 1u);
        EXPECT_EQ(presenter->alerts[0].messageText, keel::TL("UpdateFailedMessageText"));
        EXPECT_TRUE(startsWith(presenter->alerts[0].informativeText,
                               keel::LocalizedString(UpdateError::localizationKey(c.kind))))
            << presenter->alerts[0].informativeText;
    }
}

TEST_F(OutfitterUpdaterTest, AFeedWithNothingNewerOrNoFeedAtAllDownloadsNothing) {
    using Kind = UpdateError::Kind;
    Release older = release("1.1.0");
    Release same = release("1.2.0");
    Release sameShorter = release("1.2");
    struct Case {
        const char* name;
        QByteArray feed;
        std::optional<Kind> error;  // none: "up to date"
    };
    const Case cases[] = {
        {"an oversized feed", "<rss>" + QByteArray(Updater::maxFeedBytes, ' ') + "</rss>",
         Kind::feedTooLarge},
        {"a feed that is not XML", R"({"version": "9.9.9"})", Kind::feedUnreadable},
        {"an HTML page", "<html><body>Not found</body></html>", Kind::feedUnreadable},
        {"a feed with a document type",
         "<!DOCTYPE rss [<!ENTITY v \"9.9.9\">]><rss><channel/></rss>", Kind::feedUnreadable},
        {"an older version", feedOf(older), std::nullopt},
        {"the same version", feedOf(same), std::nullopt},
        {"the same version written shorter", feedOf(sameShorter), std::nullopt},
    };
    const auto before = prefixSnapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        presenter->alerts.clear();
        const std::size_t requestsBefore = secure.requests().size();
        secure.enqueue(ScriptedAnswer::json(c.feed));

        checkAndWait();

        EXPECT_EQ(secure.requests().size() - requestsBefore, 1u);
        EXPECT_TRUE(presenter->questions.empty());
        ASSERT_EQ(presenter->alerts.size(), 1u);
        const Alert& told = presenter->alerts[0];
        if (c.error) {
            EXPECT_EQ(told.messageText, keel::TL("UpdateCheckFailedMessageText"));
            EXPECT_TRUE(startsWith(told.informativeText,
                                   keel::LocalizedString(UpdateError::localizationKey(*c.error))))
                << told.informativeText;
        } else {
            EXPECT_EQ(told.messageText, keel::TL("UpToDateMessageText"));
        }
    }
    EXPECT_EQ(prefixSnapshot(), before);
    EXPECT_TRUE(downloadsAreGone());
}

TEST_F(OutfitterUpdaterTest, ADebianPackageInstallOnlyTellsHowToGetTheNewVersion) {
    environment.program = "/usr/bin/quillfen-gui";
    ASSERT_EQ(updater().installLocation().kind, InstallLocation::Kind::systemPackage);
    const auto before = prefixSnapshot();
    publish(release("1.3.0"), false);
    presenter->answers = {1};  // Skip This Version

    checkAndWait();

    ASSERT_EQ(presenter->questions.size(), 1u);
    const Alert& told = presenter->questions[0];
    EXPECT_NE(told.informativeText.find("sudo apt update"), std::string::npos);
    EXPECT_NE(told.informativeText.find("Faster synchronization"), std::string::npos);
    EXPECT_EQ(told.buttons.size(), 2u);  // OK, Skip: nothing to install from here
    EXPECT_EQ(secure.requests().size(), 1u);
    EXPECT_EQ(presenter->updateShown, 0);
    EXPECT_EQ(prefixSnapshot(), before);
    EXPECT_FALSE(fs::exists(downloads()));

    // A skipped version is not offered again by a background check.
    publish(release("1.3.0"), false);
    checkAndWait(false);
    EXPECT_EQ(presenter->questions.size(), 1u);
    EXPECT_EQ(secure.requests().size(), 2u);
}

TEST_F(OutfitterUpdaterTest, FlatpakTurnsTheUpdaterOffWithOneLineAndTheProgramRunsOn) {
    environment.sources.environment = [](const std::string& name) -> std::optional<std::string> {
        if (name == "FLATPAK_ID") return "org.quillfen.Quillfen";
        return std::nullopt;
    };
    configuration.checkForUpdatesAtLaunch = true;

    ::testing::internal::CaptureStdout();
    controller().applicationWillFinishLaunch();
    controller().applicationDidFinishLaunch();
    updater().checkForUpdates();
    updater().checkForUpdatesInBackground();
    spinFor(50ms);
    const std::string printed = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(printed,
              "Updates are off: Quillfen runs inside Flatpak, which keeps it up to date.\n");
    EXPECT_FALSE(updater().canCheckForUpdates());
    EXPECT_EQ(network.requestCount(), 0);
    EXPECT_TRUE(presenter->questions.empty());
    EXPECT_TRUE(controller().askCanQuitApplication());
}

TEST_F(OutfitterUpdaterTest, WithoutAFeedAddressOrKeyItWarnsTwiceEachAndChecksNothing) {
    environment.bundle.suFeedURL.clear();
    environment.bundle.suPublicEDKey.clear();
    configuration.checkForUpdatesAtLaunch = true;

    ::testing::internal::CaptureStdout();
    updater().setup();
    updater().checkForUpdates();
    spinFor(50ms);
    const std::string printed = ::testing::internal::GetCapturedStdout();

    EXPECT_TRUE(
        startsWith(printed, "SUFeedURL is not set in your Info.plist.\nExpected: https://"));
    EXPECT_NE(printed.find("SUPublicEDKey is not set in your Info.plist.\n"
                           "Expected: base64 string generated by /bin/generate_keys\n"),
              std::string::npos);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 4);
    EXPECT_TRUE(updater().automaticallyChecksForUpdates());
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(OutfitterUpdaterTest, TheConfigurationDecidesTheAutomaticAndTheLaunchChecks) {
    struct Case {
        const char* name;
        std::optional<ReleaseConfiguration> configuration;
        bool automatic;
        std::size_t launchRequests;
    };
    ReleaseConfiguration manualWithLaunch;
    manualWithLaunch.checkForUpdatesAutomatically = false;
    manualWithLaunch.checkForUpdatesAtLaunch = true;
    const Case cases[] = {
        {"no configuration", std::nullopt, true, 0},
        {"the defaults", ReleaseConfiguration(), true, 0},
        {"no automatic checks, one at launch", manualWithLaunch, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseController kit(environment);
        kit.setPresenter(presenter);
        kit.setConfiguration(c.configuration);
        const std::size_t before = secure.requests().size();
        secure.setDefaultAnswer(ScriptedAnswer::json(feedOf(release("1.1.0"))));

        kit.applicationDidFinishLaunch();
        waitUntil([&] { return !kit.updater().isBusy(); });
        spinFor(20ms);

        EXPECT_EQ(kit.updater().automaticallyChecksForUpdates(), c.automatic);
        EXPECT_EQ(secure.requests().size() - before, c.launchRequests);
        EXPECT_TRUE(presenter->alerts.empty());  // a background check keeps quiet
    }
}

TEST_F(OutfitterUpdaterTest, TheUsersChoiceOfAutomaticChecksOutlastsTheConfiguration) {
    {
        ReleaseController kit(environment);
        kit.setConfiguration(ReleaseConfiguration());
        kit.applicationDidFinishLaunch();
        EXPECT_TRUE(kit.updater().isAutomaticCheckScheduled());
        kit.updater().setAutomaticallyChecksForUpdates(false);
        EXPECT_FALSE(kit.updater().automaticallyChecksForUpdates());
        EXPECT_FALSE(kit.updater().isAutomaticCheckScheduled());
    }
    // The next start keeps the choice over the build's default ...
    ReleaseController kit(environment);
    kit.setConfiguration(ReleaseConfiguration());
    kit.applicationDidFinishLaunch();
    EXPECT_FALSE(kit.updater().automaticallyChecksForUpdates());
    EXPECT_FALSE(kit.updater().isAutomaticCheckScheduled());
    // ... and switching it back on schedules the daily check at once.
    kit.updater().setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(kit.updater().isAutomaticCheckScheduled());
}

TEST_F(OutfitterUpdaterTest, APlainInstallIsTurnedIntoTheVersionedLayoutByTheFirstUpdate) {
    const fs::path plain = home() / "plain";
    makePlainInstall(plain, "1.2.0");
    environment.program = plain / "bin/quillfen-gui";
    ASSERT_EQ(updater().installLocation().kind, InstallLocation::Kind::plainPrefix);
    struct stat oldProgram {};
    ASSERT_EQ(::stat((plain / "bin/quillfen-gui").c_str(), &oldProgram), 0);
    publish(release("1.3.0"));
    presenter->answers = {2};

    checkAndWait();

    const PerUserInstall install(plain);
    EXPECT_EQ(install.currentVersion(), "1.3.0");
    EXPECT_EQ(install.previousVersion(), "1.2.0");
    EXPECT_TRUE(fs::is_symlink(plain / "bin/quillfen-gui"));
    EXPECT_EQ(contentAt(plain / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.3.0"));
    EXPECT_EQ(contentAt(plain / "share/applications/org.quillfen.Quillfen.desktop"),
              "[Desktop Entry]\nName=Quillfen 1.3.0\n");
    // The old program is kept, the very file, for a roll-back.
    struct stat kept {};
    ASSERT_EQ(::stat((plain / "lib/quillfen/1.2.0/bin/quillfen-gui").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_ino, oldProgram.st_ino);
    EXPECT_EQ(contentAt(plain / "lib/quillfen/1.2.0/bin/quillfen"), fakeProgram("quillfen 1.2.0"));
}

TEST_F(OutfitterUpdaterTest, AReleaseRunFromDownloadsOffersOnceToInstallItselfPerUser) {
    const fs::path unpacked = home() / "Downloads/quillfen-1.2.0";
    writeEntries(unpacked, releaseEntries("1.2.0"));
    environment.program = unpacked / "bin/quillfen-gui";
    const fs::path fresh = home() / ".local";
    fs::remove_all(fresh);
    presenter->answers = {1};  // Install

    controller().applicationWillFinishLaunch();

    ASSERT_EQ(presenter->questions.size(), 1u);
    const PerUserInstall install(fresh);
    EXPECT_EQ(install.currentVersion(), "1.2.0");
    EXPECT_EQ(contentAt(fresh / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.2.0"));
    EXPECT_TRUE(fs::exists(unpacked / "bin/quillfen-gui"));  // copied, not moved away
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].messageText,
              keel::TL("MoveToApplicationsFolderDoneMessageText"));

    // Asked once only, whatever the answer.
    ReleaseController again(environment);
    again.setPresenter(presenter);
    again.applicationWillFinishLaunch();
    EXPECT_EQ(presenter->questions.size(), 1u);
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

ToolRun runReleaseTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(QUILLFEN_RELEASE_TOOL), arguments);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            tool.readAllStandardOutput().toStdString()};
}

TEST_F(OutfitterUpdaterTest, TheReleaseToolMakesAReleaseThatTheUpdaterAccepts) {
    const fs::path work = fs::path(folder.path().toStdString()) / "release";
    fs::create_directories(work);
    const QString key = QString::fromStdString((work / "quillfen.key").string());
    const ToolRun generated = runReleaseTool({"generate-keys", key});
    ASSERT_EQ(generated.exitCode, 0);
    EXPECT_EQ(fs::status(key.toStdString()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string publicKey = generated.out.substr(0, generated.out.find('\n'));
    const fs::path archive = work / "quillfen-1.3.0-x86_64.tar.gz";
    writeFile(archive, makeTarGz(releaseEntries("1.3.0")));
    writeFile(work / "notes.txt", "Faster synchronization.");
    const QString appcast = QString::fromStdString((work / "appcast.xml").string());
    for (const char* version : {"1.1.0", "1.3.0"}) {
        const ToolRun published = runReleaseTool(
            {"appcast", "--key", key, "--archive", QString::fromStdString(archive.string()),
             "--version", version, "--notes", QString::fromStdString((work / "notes.txt").string()),
             "--url", secure.url("/quillfen-1.3.0-x86_64.tar.gz").toString(), appcast});
        ASSERT_EQ(published.exitCode, 0) << version;
    }
    const Appcast written =
        Appcast::parse(QByteArray::fromStdString(contentAt(appcast.toStdString())));
    ASSERT_EQ(written.items.size(), 2u);
    EXPECT_EQ(written.items[0].version, "1.3.0");  // newest first

    environment.bundle.suPublicEDKey = publicKey;
    secure.enqueue(
        ScriptedAnswer::json(QByteArray::fromStdString(contentAt(appcast.toStdString()))));
    secure.enqueue(ScriptedAnswer::json(QByteArray::fromStdString(contentAt(archive))));
    presenter->answers = {2};
    checkAndWait();

    EXPECT_EQ(PerUserInstall(prefix()).currentVersion(), "1.3.0");
    EXPECT_EQ(contentAt(prefix() / "bin/quillfen-gui"), fakeProgram("quillfen-gui 1.3.0"));

    // The secret key never goes into a repository, and a refused archive is
    // refused before it is published.
    fs::create_directories(work / "checkout/.git");
    EXPECT_EQ(runReleaseTool(
                  {"generate-keys", QString::fromStdString((work / "checkout/q.key").string())})
                  .exitCode,
              1);
    EXPECT_FALSE(fs::exists(work / "checkout/q.key"));
    std::vector<ArchiveEntry> hostile = releaseEntries("1.4.0");
    hostile.push_back(ArchiveEntry::link("bin/helper", "/bin/sh"));
    writeFile(work / "hostile.tar.gz", makeTarGz(hostile));
    EXPECT_EQ(
        runReleaseTool({"appcast", "--key", key, "--archive",
                        QString::fromStdString((work / "hostile.tar.gz").string()), "--version",
                        "1.4.0", "--url", "https://example.org/h.tar.gz", appcast})
            .exitCode,
        1);
    EXPECT_EQ(
        Appcast::parse(QByteArray::fromStdString(contentAt(appcast.toStdString()))).items.size(),
        2u);
}

}  // namespace
