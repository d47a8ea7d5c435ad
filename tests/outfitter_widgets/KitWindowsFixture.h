// The kit's test fixture with real windows: the presenter shows the forms in
// the kit's windows and answers questions from the script.
#pragma once

#include <QAbstractButton>
#include <QTest>
#include <QWidget>

#include "OutfitterKitFixture.h"
#include "outfitter_widgets/KitWindows.h"

namespace kitwindowstest {

class WindowPresenter : public outfittertest::FakePresenter {
public:
    void show(outfitter::FeedbackForm& form) override {
        ++feedbackShown;
        windows.show(form);
    }
    void show(outfitter::NewsletterForm& form) override {
        ++newsletterShown;
        windows.show(form);
    }
    void showUpdate(outfitter::UpdateForm& form) override {
        ++updateShown;
        windows.show(form);
    }

    outfitter::KitWindows windows;
};

class KitWindowsFixture : public outfittertest::KitFixture {
protected:
    KitWindowsFixture() { presenter = windowPresenter; }

    template <typename T>
    static T* find(QWidget* window, const char* name) {
        T* found = window ? window->findChild<T*>(name) : nullptr;
        EXPECT_TRUE(found) << name;
        return found;
    }
    static void click(QWidget* window, const char* name) {
        if (auto* button = find<QAbstractButton>(window, name))
            QTest::mouseClick(button, Qt::LeftButton);
    }

    std::shared_ptr<WindowPresenter> windowPresenter = std::make_shared<WindowPresenter>();
};

}  // namespace kitwindowstest
