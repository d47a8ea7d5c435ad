// The interface facilities: appearance and named colours, tinting, popovers,
// tips, fading, and the desktop services without a session bus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <filesystem>

#include "gantry/Appearance.h"
#include "gantry/ImageTinting.h"
#include "gantry/NamedColors.h"
#include "gantry/PopoverController.h"
#include "gantry/TipsManager.h"
#include "gantry/UserNotificationCenter.h"
#include "gantry/ViewConveniences.h"
#include "gantry/Workspace.h"
#include "support/IsolatedSettings.h"

using namespace gantry;

namespace {

QPalette paletteWith(const QColor& window, const QColor& text) {
    QPalette palette = QApplication::style()->standardPalette();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

struct RestorePalette {
    ~RestorePalette() { QApplication::setPalette(QApplication::style()->standardPalette()); }
};

// A window with a button to anchor popovers and tips on.
struct AnchoredWindow {
    AnchoredWindow() {
        window.resize(600, 400);
        auto* layout = new QVBoxLayout(&window);
        button = new QPushButton("Anchor", &window);
        other = new QPushButton("Other", &window);
        layout->addWidget(button, 0, Qt::AlignCenter);
        layout->addWidget(other, 0, Qt::AlignCenter);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWidget window;
    QPushButton* button;
    QPushButton* other;
};

}  // namespace

TEST(GantryAppearanceTest, TheDesktopPaletteDecidesAndTheObserverHearsOnlyRealSwitches) {
    RestorePalette restore;
    NamedColors::define("TestColor", QColor("#ffffff"), QColor("#000000"));
    QApplication::setPalette(paletteWith(QColor("#f0f0f0"), QColor("#101010")));
    AppearanceObserver observer;
    QSignalSpy switched(&observer, &AppearanceObserver::appearanceChanged);
    EXPECT_EQ(observer.appearance(), Appearance::light);
    EXPECT_EQ(NamedColors::color("TestColor"), QColor("#ffffff"));

    QApplication::setPalette(paletteWith(QColor("#202020"), QColor("#eeeeee")));
    EXPECT_EQ(currentAppearance(), Appearance::dark);
    ASSERT_EQ(switched.count(), 1);
    EXPECT_EQ(switched[0][0].value<Appearance>(), Appearance::dark);
    EXPECT_EQ(NamedColors::color("TestColor"), QColor("#000000"));

    // Another dark palette: no switch.
    QApplication::setPalette(paletteWith(QColor("#303030"), QColor("#dddddd")));
    EXPECT_EQ(switched.count(), 1);
    EXPECT_FALSE(NamedColors::color("NeverDefined").isValid());
}

TEST(GantryTintingTest, TintingKeepsTheShapeAndTransparencyAndChangesOnlyTheColour) {
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, QColor(0, 0, 0, 255));
    image.setPixelColor(1, 0, QColor(10, 200, 30, 128));
    image.setPixelColor(2, 0, QColor(0, 0, 0, 0));
    image.setPixelColor(3, 0, QColor(255, 255, 255, 255));
    const QImage tinted =
        tintedImage(image, QColor(200, 40, 60)).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(tinted.pixelColor(0, 0), QColor(200, 40, 60, 255));
    EXPECT_EQ(tinted.pixelColor(2, 0).alpha(), 0);
    EXPECT_NEAR(tinted.pixelColor(1, 0).alpha(), 128, 1);
    EXPECT_NEAR(tinted.pixelColor(1, 0).red(), 200, 2);
    EXPECT_EQ(tinted.pixelColor(3, 0), QColor(200, 40, 60, 255));
    EXPECT_TRUE(tintedImage(QImage(), Qt::red).isNull());

    testsupport::TemporaryDirectory folder;
    const QString svg = QString::fromStdString((folder / "dot.svg").string());
    testsupport::writeFile(folder / "dot.svg",
                           "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 10'>"
                           "<rect x='0' y='0' width='5' height='10' fill='#000'/></svg>");
    const QImage pixmap = tintedSvgPixmap(svg, QSize(10, 10), QColor("#3366cc"))
                              .toImage()
                              .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(pixmap.pixelColor(1, 5), QColor("#3366cc"));
    EXPECT_EQ(pixmap.pixelColor(8, 5).alpha(), 0);
    EXPECT_TRUE(tintedSvgPixmap(QString::fromStdString((folder / "none.svg").string()),
                                QSize(10, 10), Qt::red)
                    .isNull());
}

TEST(GantryPopoverTest, ATogglerOpensAndClosesItsPopoverAndRefreshesItBeforeOpening) {
    AnchoredWindow host;
    PopoverController controller;
    auto* content = new QLabel("Content");
    controller.createPopover(content, &host.window);
    ASSERT_NE(controller.popover(), nullptr);
    EXPECT_FALSE(controller.popoverIsShown());

    bool shownAtReload = true;
    controller.togglePopoverAtBottom(host.button,
                                     [&] { shownAtReload = controller.popoverIsShown(); });
    EXPECT_FALSE(shownAtReload);
    EXPECT_TRUE(controller.popoverIsShown());
    const QRect anchor(host.button->mapToGlobal(QPoint(0, 0)), host.button->size());
    EXPECT_GE(controller.popover()->geometry().top(), anchor.bottom());
    EXPECT_EQ(controller.popover()->edge(), PopoverEdge::bottom);

    int reloads = 0;
    controller.togglePopoverAtBottom(host.button, [&] { ++reloads; });
    EXPECT_FALSE(controller.popoverIsShown());
    EXPECT_EQ(reloads, 0) << "closing refreshes nothing";

    controller.showPopoverAtTop(host.button);
    EXPECT_TRUE(controller.popoverIsShown());
    EXPECT_LE(controller.popover()->geometry().bottom(), anchor.top());
    controller.performClosePopover();
    EXPECT_FALSE(controller.popoverIsShown());

    // The popover goes with its window.
    QPointer<Popover> popover = controller.popover();
    {
        QWidget owner;
        controller.createPopover(new QLabel("Again"), &owner);
        popover = controller.popover();
    }
    EXPECT_TRUE(popover.isNull());
    EXPECT_EQ(controller.popover(), nullptr);
}

TEST(GantryTipsTest, TipsShowOnceByThemselvesAndTheTogglerOpensAndClosesThem) {
    quillfen::testing::IsolatedSettings settings;
    AnchoredWindow host;
    auto* hidden = new QPushButton("Hidden", &host.window);
    hidden->hide();
    TipsManager tips("Test");
    tips.setToggler(host.other);
    tips.setTips(
        {{host.button, "A tip", PopoverEdge::bottom}, {hidden, "Unseen", PopoverEdge::top}});

    EXPECT_TRUE(tips.showTipsIfNeeded());
    ASSERT_EQ(tips.shownPopovers().size(), 1u) << "no tip for a hidden control";
    EXPECT_EQ(tips.shownPopovers()[0]->parentWidget(), &host.window);
    EXPECT_TRUE(host.window.rect().contains(tips.shownPopovers()[0]->geometry()));

    // A click elsewhere closes them; a click on the toggler is left to it.
    QTest::mouseClick(host.button, Qt::LeftButton);
    EXPECT_FALSE(tips.tipsAreShown());
    EXPECT_FALSE(tips.showTipsIfNeeded()) << "shown once already";
    QObject::connect(host.other, &QPushButton::clicked, [&] { tips.toggleTips(); });
    QTest::mouseClick(host.other, Qt::LeftButton);
    EXPECT_TRUE(tips.tipsAreShown());
    QTest::mouseClick(host.other, Qt::LeftButton);
    EXPECT_FALSE(tips.tipsAreShown());
}

TEST(GantryViewTest, FadingEndsInTheLastStateAskedAndActionsLeaveEveryMenu) {
    AnchoredWindow host;
    setAnimationDurationScale(1);
    animate(host.button, 0.05, true);
    animate(host.button, 0.05, false);
    EXPECT_TRUE(host.button->isVisible());
    animate(host.button, 0.05, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host.button->isVisible(); }, 5000));
    EXPECT_EQ(host.button->graphicsEffect(), nullptr);
    setAnimationDurationScale(0);
    animate(host.button, 10, false);
    EXPECT_TRUE(host.button->isVisible()) << "no time: at once";

    QMenu menu;
    QToolBar bar;
    QAction action("Act");
    menu.addAction(&action);
    bar.addAction(&action);
    removeFromParent(&action);
    EXPECT_TRUE(menu.actions().isEmpty());
    EXPECT_TRUE(bar.actions().isEmpty());
}

// The test program runs without a session bus (see CMakeLists.txt).
TEST(GantryDesktopServicesTest, WithoutASessionBusRevealingOpensTheFolderAndNotifyingShowsNothing) {
    struct Opening : Workspace {
        bool open(const QUrl& url) override {
            opened.push_back(url);
            return true;
        }
        std::vector<QUrl> opened;
    } workspace;
    workspace.activateFileViewerSelecting({"/tmp/some folder/Package.qfbackup"});
    ASSERT_EQ(workspace.opened.size(), 1u);
    EXPECT_EQ(workspace.opened[0], QUrl::fromLocalFile("/tmp/some folder"));

    UserNotificationCenter center("Test", "icon", "test");
    QSignalSpy finished(&center, &UserNotificationCenter::deliveryFinished);
    center.deliver("Title", "Text");
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_EQ(center.pendingDeliveries(), 0);
}
