// IconView: a monochrome icon of the style sheet drawn in a named colour at
// paint time, so that it follows the appearance without being told.
//
// Threads: main thread only.
#pragma once

#include <QString>
#include <QWidget>

namespace desktop {

class IconView : public QWidget {
    Q_OBJECT

public:
    IconView(QString iconName, QString colorName, int side, QWidget* parent = nullptr);

    void setIconName(const QString& iconName);
    const QString& iconName() const { return iconName_; }

    QSize sizeHint() const override { return {side_, side_}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString iconName_;
    QString colorName_;
    int side_;
};

}  // namespace desktop
