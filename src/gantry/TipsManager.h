// TipsManager: short tips that point at controls of a window, each in an
// inset popover on the control's chosen edge. The help button toggles them;
// the window also shows them by itself once, the first time it is ready
// (`showTipsIfNeeded`), and remembers that in the settings, under
// "TipsShown" followed by the set's identifier. A click anywhere closes them.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

#include "gantry/Popover.h"

namespace gantry {

struct Tip {
    QPointer<QWidget> anchor;
    QString text;
    PopoverEdge edge = PopoverEdge::bottom;
};

class TipsManager : public QObject {
    Q_OBJECT

public:
    explicit TipsManager(QString identifier, QObject* parent = nullptr);
    ~TipsManager() override;

    void setTips(std::vector<Tip> tips);
    const std::vector<Tip>& tips() const { return tips_; }
    // The button that toggles the tips: a click on it is left to the toggle
    // instead of closing the tips first.
    void setToggler(QWidget* toggler) { toggler_ = toggler; }

    // Shows every tip whose anchor is visible, or closes them when shown.
    void toggleTips();
    void showTips();
    void closeTips();
    bool tipsAreShown() const;

    // Shows the tips unless they were shown once already; true when shown.
    bool showTipsIfNeeded();

    // The popovers now shown, for tests.
    std::vector<Popover*> shownPopovers() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString identifier_;
    std::vector<Tip> tips_;
    std::vector<QPointer<Popover>> popovers_;
    QPointer<QWidget> window_;
    QPointer<QWidget> toggler_;
};

}  // namespace gantry
