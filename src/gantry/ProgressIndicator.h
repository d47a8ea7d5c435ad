// ProgressIndicator: the spinning busy indicator, for work whose length is
// not known. `setAnimation(true)` starts it, `setAnimation(false)` stops it;
// a stopped indicator paints nothing. It spins only while it is visible.
//
// Threads: main thread only.
#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace gantry {

class ProgressIndicator : public QWidget {
    Q_OBJECT

public:
    explicit ProgressIndicator(QWidget* parent = nullptr);

    void setAnimation(bool animating);
    bool isAnimating() const { return animating_; }

    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateTimer();

    bool animating_ = false;
    int step_ = 0;
    QBasicTimer timer_;
};

}  // namespace gantry
