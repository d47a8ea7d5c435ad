#include "desktop/StyleSheet.h"

#include "gantry/ImageTinting.h"
#include "gantry/NamedColors.h"

// The icons are compiled into this library; a static library's resources
// must be registered by name, outside any namespace.
static void registerDesktopResources() {
    Q_INIT_RESOURCE(desktop);
}

namespace desktop {

void StyleSheet::install() {
    registerDesktopResources();
    using gantry::NamedColors;
    NamedColors::define(focusButtonDefaultColor, QColor("#2f6fd6"), QColor("#5b9dff"));
    NamedColors::define(focusButtonPressedColor, QColor("#1f56b0"), QColor("#8ab8ff"));
    NamedColors::define(firstBackgroundColor, QColor("#ffffff"), QColor("#33363b"));
    NamedColors::define(secondBackgroundColor, QColor("#7b828d"), QColor("#8f959e"));
    NamedColors::define(thirdBackgroundColor, QColor("#4b525c"), QColor("#c2c6cc"));
    NamedColors::define(backgroundSeparatorColor, QColor(0, 0, 0, 30), QColor(255, 255, 255, 28));
    NamedColors::define(sidebarBackgroundColor, QColor(0, 0, 0, 12), QColor(255, 255, 255, 10));
    NamedColors::define(sidebarSelectionColor, QColor(47, 111, 214, 34), QColor(91, 157, 255, 52));
    NamedColors::define(messageBackgroundColor, QColor(0, 0, 0, 0), QColor(0, 0, 0, 0));
    NamedColors::define(secondaryTextColor, QColor("#5f6671"), QColor("#a3a9b2"));
    NamedColors::define(toolbarIconColor, QColor("#3a404a"), QColor("#d9dde3"));
    NamedColors::define(disabledIconColor, QColor("#b0b5bd"), QColor("#5d626a"));
}

QColor StyleSheet::color(const QString& name) {
    return gantry::NamedColors::color(name);
}

QString StyleSheet::iconPath(const QString& name) {
    return ":/icons/" + name + ".svg";
}

QIcon StyleSheet::tintedIcon(const QString& name, const QSize& size, const QString& colorName) {
    return gantry::tintedSvgIcon(iconPath(name), size, color(colorName), color(disabledIconColor));
}

QIcon StyleSheet::applicationIcon() {
    return QIcon(iconPath("quillfen-gui"));
}

QFont StyleSheet::font(const QFont& base, qreal factor, bool bold) {
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0)
        font.setPixelSize(qRound(font.pixelSize() * factor));
    font.setBold(bold);
    return font;
}

}  // namespace desktop
