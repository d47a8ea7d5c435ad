// KitWindow: the top-level window of the release kit's forms. It asks its
// owner before closing (a window whose send runs may not close) and tells it
// once it closed, however that happened: the title bar's button, Escape, or
// a request of the form.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

namespace outfitter {

class KitWindow : public QWidget {
    Q_OBJECT

public:
    explicit KitWindow(QWidget* parent = nullptr);

    // Answers whether the window may close now; closing is always allowed
    // without one.
    void setCanClose(std::function<bool()> canClose) { canClose_ = std::move(canClose); }
    // Called after the window closed.
    void setDidClose(std::function<void()> didClose) { didClose_ = std::move(didClose); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<bool()> canClose_;
    std::function<void()> didClose_;
};

// Localized text of `key` as a QString.
QString kitText(const char* key);
// Makes `button` look and act like a link in the text: no frame, the
// palette's link colour, a pointing hand.
void makeLinkButton(QPushButton* button);

}  // namespace outfitter
