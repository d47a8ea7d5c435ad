// Fuzzes the property-list reader with XML and binary lists: parsing and the
// queries the application makes of a bundle description.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "local/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto list = quillfen::PropertyList::fromData(
        std::string_view(reinterpret_cast<const char*>(data), size));
    (void)list.isDictionary();
    (void)list.string("CFBundleIdentifier");
    (void)list.string("CFBundleShortVersionString");
    (void)list.dictionaryKeys("NSUbiquitousContainers");
    const auto copy = list;
    (void)copy.string("CFBundleName");
    return 0;
}
