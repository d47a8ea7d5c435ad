// ItemKind: the three kinds of item a package keeps. Applications and
// executables (command-line tools and system settings of the catalog) are
// keyed by name, custom files by their settings path. Code that does the same
// for every kind takes the kind as a value instead of being written three
// times; where the kinds really differ it switches on it.
#pragma once

namespace quillfen {

enum class ItemKind { app, exec, file };

}  // namespace quillfen
