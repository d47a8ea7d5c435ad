#include "desktop/PreferencesWindowController.h"

#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "desktop/PreferencesExclusionsViewController.h"
#include "desktop/PreferencesGeneralViewController.h"
#include "desktop/ShellCommon.h"
#include "desktop/StyleSheet.h"

namespace desktop {

PreferencesWindowController::PreferencesWindowController(
    ShellContext& context, outfitter::ReleaseController& releaseController,
    quillfen::LocalResources& resources, QObject* parent)
    : QObject(parent),
      general_(std::make_unique<PreferencesGeneralViewController>(context, releaseController)),
      exclusions_(std::make_unique<PreferencesExclusionsViewController>(context, resources)) {}

PreferencesWindowController::~PreferencesWindowController() {
    // The panes' views belong to the window: it goes first.
    window_.reset();
}

QWidget* PreferencesWindowController::window() {
    if (window_) return window_.get();
    window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    window_->setObjectName("PreferencesWindow");
    window_->setWindowTitle(localized("PreferencesWindowTitle"));
    window_->setWindowIcon(StyleSheet::applicationIcon());
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(10, 10, 10, 10);
    tabView_ = new QTabWidget(window_.get());
    tabView_->setObjectName("preferencesTabView");
    tabView_->setStyleSheet("QTabWidget::tab-bar { alignment: center; }");
    tabView_->addTab(general_->view(), localized("PreferencesGeneralViewTitle"));
    tabView_->addTab(exclusions_->view(), localized("PreferencesExclusionsViewTitle"));
    tabView_->tabBar()->setAutoHide(true);
    layout->addWidget(tabView_);
    window_->resize(560, 440);
    return window_.get();
}

QTabWidget* PreferencesWindowController::tabView() {
    window();
    return tabView_;
}

void PreferencesWindowController::showPane(Pane pane) {
    tabView()->setCurrentIndex(pane);
}

void PreferencesWindowController::showWindow() {
    QWidget* shown = window();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

}  // namespace desktop
