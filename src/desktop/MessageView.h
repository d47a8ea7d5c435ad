// MessageView: the area that takes the place of the main window's content
// while the backup manager works or while access to the disk is missing: a
// busy indicator, a title, a subtitle and a button, centred, over a plain
// background.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

namespace desktop {

class MessageView : public QWidget {
    Q_OBJECT

public:
    explicit MessageView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace desktop
