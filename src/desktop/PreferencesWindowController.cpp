#include "desktop/PreferencesWindowController.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QTabBar>
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
    layout->setSpacing(0);
    // The tabs sit centred over the panes. (A style sheet could centre a
    // tab widget's own tabs, but a widget with one no longer follows the
    // application's palette between light and dark.)
    tabBar_ = new QTabBar(window_.get());
    tabBar_->setObjectName("preferencesTabBar");
    tabBar_->setDrawBase(false);
    tabBar_->setExpanding(false);
    tabBar_->addTab(localized("PreferencesGeneralViewTitle"));
    tabBar_->addTab(localized("PreferencesExclusionsViewTitle"));
    auto* tabRow = new QHBoxLayout();
    tabRow->addStretch(1);
    tabRow->addWidget(tabBar_);
    tabRow->addStretch(1);
    layout->addLayout(tabRow);
    auto* frame = new QFrame(window_.get());
    frame->setFrameShape(QFrame::StyledPanel);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    paneStack_ = new QStackedWidget(frame);
    paneStack_->setObjectName("preferencesPaneStack");
    paneStack_->addWidget(general_->view());
    paneStack_->addWidget(exclusions_->view());
    frameLayout->addWidget(paneStack_);
    layout->addWidget(frame, 1);
    connect(tabBar_, &QTabBar::currentChanged, paneStack_, &QStackedWidget::setCurrentIndex);
    window_->resize(560, 440);
    return window_.get();
}

QTabBar* PreferencesWindowController::tabBar() {
    window();
    return tabBar_;
}

QStackedWidget* PreferencesWindowController::paneStack() {
    window();
    return paneStack_;
}

void PreferencesWindowController::showPane(Pane pane) {
    tabBar()->setCurrentIndex(pane);
}

void PreferencesWindowController::showWindow() {
    QWidget* shown = window();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

}  // namespace desktop
