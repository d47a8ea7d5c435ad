// A dark palette for the window tests' screenshots, so that every window is
// looked at in both colour schemes the desktop may hand it.
#pragma once

#include <QColor>
#include <QPalette>

namespace quillfen::testing {

inline QPalette darkPalette() {
    QPalette palette;
    const QColor window("#2a2c30"), base("#1e1f22"), text("#e3e5e8"), button("#34373c");
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor("#26282b"));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor("#3d7bd9"));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor("#9b9fa6"));
    palette.setColor(QPalette::ToolTipBase, button);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Link, QColor("#6ea8ff"));
    palette.setColor(QPalette::Light, QColor("#4a4d53"));
    palette.setColor(QPalette::Midlight, QColor("#3d4045"));
    palette.setColor(QPalette::Mid, QColor("#232427"));
    palette.setColor(QPalette::Dark, QColor("#1a1b1d"));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor("#6b6f76"));
    return palette;
}

}  // namespace quillfen::testing
