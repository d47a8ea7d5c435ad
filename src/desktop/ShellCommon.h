// What the window code of the application shares: the string table's text
// for a key as a QString, and the names it uses most, so that each source
// file does not repeat them.
//
// Threads: `localized` may be called from any thread (the string table is
// read-only once loaded).
#pragma once

#include <QString>

#include <filesystem>
#include <string_view>

#include "app/BackupAction.h"

namespace quillfen {
class BackupManager;
}

namespace desktop {

namespace fs = std::filesystem;
using quillfen::BackupAction;
using quillfen::BackupManager;

// The localized text of `key`; the key itself when the table lacks it.
QString localized(std::string_view key);

}  // namespace desktop
