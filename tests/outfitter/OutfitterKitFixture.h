// A release controller of the test's own: its own settings file, network
// manager, loopback server, fake system folder and clock, and a presenter
// that records what it is asked and answers from a script.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <deque>
#include <memory>

#include <nlohmann/json.hpp>

#include "OutfitterTestSupport.h"
#include "outfitter/FeedbackForm.h"
#include "outfitter/NewsletterForm.h"
#include "outfitter/Presenter.h"
#include "outfitter/ReleaseController.h"
#include "support/http/LoopbackHttpServer.h"

namespace outfittertest {

class FakePresenter : public outfitter::Presenter {
public:
    void show(outfitter::FeedbackForm& form) override {
        ++feedbackShown;
        // A window closes when asked to.
        QObject::connect(
            &form, &outfitter::FeedbackForm::closeRequested, &form,
            [&form] { form.windowDidClose(); }, Qt::UniqueConnection);
    }
    void show(outfitter::NewsletterForm&) override { ++newsletterShown; }
    void showUpdate(outfitter::UpdateForm&) override { ++updateShown; }
    void alert(const outfitter::Alert& alert) override { alerts.push_back(alert); }
    std::size_t ask(const outfitter::Alert& question) override {
        questions.push_back(question);
        if (answers.empty()) return 0;
        const std::size_t answer = answers.front();
        answers.pop_front();
        return answer;
    }

    int feedbackShown = 0;
    int newsletterShown = 0;
    int updateShown = 0;
    std::vector<outfitter::Alert> alerts;
    std::vector<outfitter::Alert> questions;
    std::deque<std::size_t> answers;  // the buttons to choose, in order; then the first
};

class KitFixture : public ::testing::Test {
protected:
    KitFixture() {
        writeFile(root() / "etc/os-release",
                  "ID=debian\nVERSION_ID=\"12\"\nPRETTY_NAME=\"Debian 12\"\n");
        environment.network = &network;
        environment.bundle.name = "Quillfen";
        environment.bundle.identifier = "org.quillfen.Quillfen";
        environment.bundle.shortVersion = "1.2.0";
        environment.bundle.version = "214";
        environment.sources.root = root();
        environment.sources.home = folder.path().toStdString();
        environment.sources.preferencesFile = settingsFile.path();
        environment.sources.environment =
            [](const std::string& name) -> std::optional<std::string> {
            if (name == "LANG") return "fr_CA.UTF-8";
            return std::nullopt;
        };
        environment.sources.consoleMessages = [](keel::Date, std::int64_t) {
            return std::vector<outfitter::ConsoleMessage>{
                {keel::Date::now(), "quillfen", "started"}};
        };
        environment.now = [this] { return clock; };
        environment.reachability = [this](const QUrl&) { return reachable; };
    }

    std::filesystem::path root() const {
        return std::filesystem::path(folder.path().toStdString()) / "root";
    }
    // A controller with a configuration for the loopback server.
    outfitter::ReleaseController& controller() {
        if (!controller_) {
            controller_ = std::make_unique<outfitter::ReleaseController>(environment);
            controller_->setPresenter(presenter);
            controller_->setConfiguration(configuration);
        }
        return *controller_;
    }
    nlohmann::json bodyOf(std::size_t request) const {
        return nlohmann::json::parse(server.requests().at(request).body.toStdString());
    }

    QTemporaryDir folder;
    ScopedSettingsFile settingsFile;
    CountingNetworkAccessManager network;
    testsupport::LoopbackHttpServer server;
    outfitter::ReleaseEnvironment environment;
    outfitter::ReleaseConfiguration configuration = [this] {
        outfitter::ReleaseConfiguration made;
        made.feedbackServer = server.url("/api/1.0/notewell.php").toString().toStdString();
        made.feedbackKey = "KEY";
        return made;
    }();
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    keel::Date clock = keel::Date::now();
    bool reachable = true;

private:
    std::unique_ptr<outfitter::ReleaseController> controller_;
};

}  // namespace outfittertest
