// SidebarButton: one of the main window's sidebar buttons, each showing one
// of the content views. It draws its icon tinted by state: the focus colour
// when on, the second background colour when off, and their pressed
// variants while the mouse holds it; the button that is on sits on a
// selection background. Its `tag` is the index of the content it shows.
//
// Threads: main thread only.
#pragma once

#include <QAbstractButton>
#include <QString>

namespace desktop {

class SidebarButton : public QAbstractButton {
    Q_OBJECT

public:
    // `iconName` names a monochrome icon of the style sheet.
    SidebarButton(QString iconName, int tag, QWidget* parent = nullptr);

    int tag() const { return tag_; }
    // The colour name the icon is tinted with in the current state.
    QString tintColorName() const;

    QSize sizeHint() const override { return {48, 44}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString iconName_;
    int tag_;
    bool hovered_ = false;
};

}  // namespace desktop
