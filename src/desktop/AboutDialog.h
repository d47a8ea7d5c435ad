// AboutDialog: the application's about window: its icon, name, version and
// purpose, and links to the maker's website and support page when the build
// has them. One window, not modal.
//
// Threads: main thread only.
#pragma once

#include <QDialog>

#include "desktop/MakerLinks.h"

namespace desktop {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // `version` is the version users see, `build` the build number (left
    // out when empty or "0").
    AboutDialog(const QString& version, const QString& build, const MakerLinks& links,
                QWidget* parent = nullptr);
};

}  // namespace desktop
