// StyleSheet: the application's named colours, for light and dark, and its
// icons. `install()` defines the colours once at start; the views paint with
// them by name (see gantry::NamedColors) and tint the monochrome icons with
// them, so a switch of appearance needs only a repaint.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QSize>
#include <QString>

namespace desktop {

class StyleSheet {
public:
    StyleSheet() = delete;

    // Colour names.
    static inline const QString focusButtonDefaultColor = "FocusButtonDefaultColor";
    static inline const QString focusButtonPressedColor = "FocusButtonPressedColor";
    static inline const QString firstBackgroundColor = "FirstBackgroundColor";
    static inline const QString secondBackgroundColor = "SecondBackgroundColor";
    static inline const QString thirdBackgroundColor = "ThirdBackgroundColor";
    static inline const QString backgroundSeparatorColor = "BackgroundSeparatorColor";
    static inline const QString sidebarBackgroundColor = "SidebarBackgroundColor";
    static inline const QString sidebarSelectionColor = "SidebarSelectionColor";
    static inline const QString messageBackgroundColor = "MessageBackgroundColor";
    static inline const QString secondaryTextColor = "SecondaryTextColor";
    static inline const QString toolbarIconColor = "ToolbarIconColor";
    static inline const QString disabledIconColor = "DisabledIconColor";

    // Defines every colour above; idempotent.
    static void install();

    static QColor color(const QString& name);

    // The resource path of the icon `name` ("backup", "sidebar-apps",
    // "quillfen-gui", ...).
    static QString iconPath(const QString& name);
    // The monochrome icon `name` at `size`, tinted with `colorName`, and
    // with the disabled colour when disabled.
    static QIcon tintedIcon(const QString& name, const QSize& size, const QString& colorName);
    // The application's own icon.
    static QIcon applicationIcon();

    // `base` scaled by `factor` and, when `bold`, bold.
    static QFont font(const QFont& base, qreal factor, bool bold);
};

}  // namespace desktop
