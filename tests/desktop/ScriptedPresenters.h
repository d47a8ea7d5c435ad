// The window's presenters for tests: alerts and file panels answered from a
// script instead of by a person, and a workspace that records what it was
// asked to show or open. Every request is kept, in order, so that a test can
// check what the user would have seen.
//
// A sheet's answer arrives on a later turn of the event loop, as a person's
// would: a scripted answer given before the request, or one the test gives
// with `answer()` while the request waits. Without a scripted answer an alert
// waits; a modal alert (which cannot wait) answers its first button.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/Workspace.h"

namespace desktop::testing {

namespace fs = std::filesystem;

inline void later(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

class ScriptedAlertPresenter : public gantry::AlertPresenter {
public:
    struct Shown {
        QWidget* window = nullptr;
        gantry::AlertRequest request;
        bool modal = false;
    };

    // The button the next alert gets.
    void script(std::size_t button) { script_.push_back(button); }
    // Answers the alert that waits (the oldest), if one does.
    bool answer(std::size_t button) {
        if (waiting_.empty()) return false;
        auto completion = std::move(waiting_.front());
        waiting_.pop_front();
        if (completion) completion(button);
        return true;
    }
    std::size_t waiting() const { return waiting_.size(); }

    const std::vector<Shown>& shown() const { return shown_; }
    // The alerts named `name`.
    std::vector<Shown> shown(const std::string& name) const {
        std::vector<Shown> matching;
        for (const Shown& alert : shown_)
            if (alert.request.name == name) matching.push_back(alert);
        return matching;
    }

    void beginSheet(QWidget* window, const gantry::AlertRequest& request,
                    Completion completion) override {
        shown_.push_back({window, request, false});
        if (!script_.empty()) {
            const std::size_t button = script_.front();
            script_.pop_front();
            later([completion, button] {
                if (completion) completion(button);
            });
        } else {
            waiting_.push_back(std::move(completion));
        }
    }
    std::size_t runModal(QWidget* window, const gantry::AlertRequest& request) override {
        shown_.push_back({window, request, true});
        if (script_.empty()) return 0;
        const std::size_t button = script_.front();
        script_.pop_front();
        return button;
    }

private:
    std::deque<std::size_t> script_;
    std::deque<Completion> waiting_;
    std::vector<Shown> shown_;
};

class ScriptedPanelPresenter : public gantry::PanelPresenter {
public:
    struct Shown {
        QWidget* window = nullptr;
        gantry::PanelRequest request;
    };

    // What the next panel chooses; nothing for a cancelled panel.
    void script(std::vector<fs::path> urls) { script_.push_back(std::move(urls)); }
    const std::vector<Shown>& shown() const { return shown_; }

    void beginSheet(QWidget* window, const gantry::PanelRequest& request,
                    Completion completion) override {
        shown_.push_back({window, request});
        std::vector<fs::path> urls;
        if (!script_.empty()) {
            urls = std::move(script_.front());
            script_.pop_front();
        }
        later([completion, urls] {
            if (completion) completion(urls);
        });
    }

private:
    std::deque<std::vector<fs::path>> script_;
    std::vector<Shown> shown_;
};

class RecordingWorkspace : public gantry::Workspace {
public:
    void activateFileViewerSelecting(const std::vector<fs::path>& urls) override {
        revealed.push_back(urls);
    }
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }

    std::vector<std::vector<fs::path>> revealed;
    std::vector<QUrl> opened;
};

}  // namespace desktop::testing
