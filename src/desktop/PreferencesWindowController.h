// PreferencesWindowController: the preferences window, one per process,
// made on first use and kept: the General pane and the Exclusions pane, in
// that order, switched by tabs centred at the top. Closing the window only hides it.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>

#include <memory>

class QWidget;

namespace outfitter {
class ReleaseController;
}
namespace quillfen {
class LocalResources;
}

namespace desktop {

class PreferencesExclusionsViewController;
class PreferencesGeneralViewController;
class ShellContext;

class PreferencesWindowController : public QObject {
    Q_OBJECT

public:
    enum Pane : int { general = 0, exclusions = 1 };

    PreferencesWindowController(ShellContext& context,
                                outfitter::ReleaseController& releaseController,
                                quillfen::LocalResources& resources, QObject* parent = nullptr);
    ~PreferencesWindowController() override;

    // The window ("PreferencesWindow"), built on first use.
    QWidget* window();
    // Shows the window and brings it to the front.
    void showWindow();
    // The tabs, one a pane, and the panes, in the same order.
    QTabBar* tabBar();
    QStackedWidget* paneStack();
    void showPane(Pane pane);

    PreferencesGeneralViewController& generalViewController() { return *general_; }
    PreferencesExclusionsViewController& exclusionsViewController() { return *exclusions_; }

private:
    std::unique_ptr<PreferencesGeneralViewController> general_;
    std::unique_ptr<PreferencesExclusionsViewController> exclusions_;
    std::unique_ptr<QWidget> window_;
    QPointer<QTabBar> tabBar_;
    QPointer<QStackedWidget> paneStack_;
};

}  // namespace desktop
