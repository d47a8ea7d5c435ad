// PlaceholderViewController: a content view that only says what the content
// will hold: an icon, a title and a sentence, centred. The main window shows
// one for each content view that has no view of its own yet.
//
// Threads: main thread only.
#pragma once

#include <QString>

#include "desktop/ContentViewController.h"

namespace desktop {

class PlaceholderViewController : public ContentViewController {
public:
    // `viewName` becomes the view's objectName ("AppsListView", ...).
    PlaceholderViewController(MainWindowController& mainWindowController, QString viewName,
                              QString iconName, QString title, QString text);

protected:
    QWidget* loadView() override;

private:
    QString viewName_;
    QString iconName_;
    QString title_;
    QString text_;
};

}  // namespace desktop
