// PanelPresenter: how windows let the user choose files and folders: an open
// panel (choose what exists) or a save panel (name something new). The
// program shows Qt file dialogs, or its own chooser where files and folders
// are chosen together (QtPanelPresenter); tests answer from a script. A
// panel is modal to its window only; the call returns at once and the choice
// arrives later through the completion.
//
// Threads: main thread only.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace gantry {

struct PanelRequest {
    enum class Kind { open, save };

    Kind kind = Kind::open;
    // Names the panel's window (its objectName).
    std::string name;
    std::string title;
    std::string message;
    // The title of the button that accepts the choice; the system's when empty.
    std::string prompt;
    // Where the panel starts; the user's home folder when empty.
    std::filesystem::path directoryURL;
    // The name a save panel proposes.
    std::string nameFieldStringValue;

    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool canCreateDirectories = false;
    bool allowsMultipleSelection = false;
    // Whether an open panel lists hidden entries (".config", a dotfile).
    bool showsHiddenFiles = false;
    // The extension (without the dot) of what may be chosen: an open panel
    // shows only such files, a save panel appends it to a name without it.
    // Empty: any.
    std::string allowedExtension;
    // Set when `allowedExtension` names packages: folders that the user picks
    // as a whole (a "*.qfbackup" folder), rather than ordinary files. An
    // open panel then chooses folders, and the caller checks the extension.
    bool extensionIsPackage = false;
};

class PanelPresenter {
public:
    // The chosen locations, absolute; empty when the user cancelled.
    using Completion = std::function<void(std::vector<std::filesystem::path> urls)>;

    virtual ~PanelPresenter() = default;

    // Shows the panel modal to `window` and returns at once; `completion`
    // runs once, on the main thread, after the user chose or cancelled.
    virtual void beginSheet(QWidget* window, const PanelRequest& request,
                            Completion completion) = 0;
};

}  // namespace gantry
