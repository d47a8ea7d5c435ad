// Fuzzes the desktop entry reader: parsing, and the questions the scan of
// installed applications asks of an entry.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "local/DesktopEntry.h"
#include "local/LocalAppItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto entry =
        quillfen::DesktopEntry::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!entry) return 0;
    (void)entry->isShownIn({"GNOME"});
    (void)entry->isShownIn({});
    const auto item = quillfen::LocalAppItem::fromDesktopEntry("/fuzz/app.desktop", "app", *entry,
                                                               entry->name, true);
    (void)item.sandboxID;
    return 0;
}
