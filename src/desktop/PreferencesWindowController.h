// PreferencesWindowController: the preferences window, one per process,
// made on first use and kept: the General pane and the Exclusions pane, in
// that order, switched by tabs centred at the top (no tabs would show with a
// single pane). Closing the window only hides it.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QTabWidget;
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
    QTabWidget* tabView();
    void showPane(Pane pane);

    PreferencesGeneralViewController& generalViewController() { return *general_; }
    PreferencesExclusionsViewController& exclusionsViewController() { return *exclusions_; }

private:
    std::unique_ptr<PreferencesGeneralViewController> general_;
    std::unique_ptr<PreferencesExclusionsViewController> exclusions_;
    std::unique_ptr<QWidget> window_;
    QPointer<QTabWidget> tabView_;
};

}  // namespace desktop
