// Workspace: the desktop around the application: showing files in the file
// manager and opening addresses (web pages, mail, folders) with the user's
// chosen programs.
//
// Showing files asks the file manager over the session bus
// (org.freedesktop.FileManager1.ShowItems), which opens a window with the
// items selected; when no file manager answers there, the folder holding the
// first item is opened instead.
//
// Threads: main thread only. Nothing here blocks: answers of the bus arrive
// on the event loop.
#pragma once

#include <QObject>
#include <QUrl>

#include <filesystem>
#include <vector>

namespace gantry {

class Workspace : public QObject {
    Q_OBJECT

public:
    explicit Workspace(QObject* parent = nullptr);

    // Shows `urls` selected in the file manager.
    virtual void activateFileViewerSelecting(const std::vector<std::filesystem::path>& urls);
    // Opens `url` with the desktop's handler for it; false when none started.
    virtual bool open(const QUrl& url);

signals:
    // The file manager did not answer and the folder was opened instead.
    void fellBackToOpeningFolder(const QUrl& folder);
};

}  // namespace gantry
