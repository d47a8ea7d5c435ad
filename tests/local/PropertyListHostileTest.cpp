// Binary property lists with values that the system's own writer never
// produces but a hostile or broken bundle can hold.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "local/PropertyList.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

// Writes a small binary list object by object (one-byte offsets and
// references, so under 256 bytes); each call returns the object's reference.
class BinaryListWriter {
public:
    int ascii(const std::string& text) { return string(0x50, text, false); }
    // Each char of `text` becomes one UTF-16 code unit.
    int utf16(const std::string& text) { return string(0x60, text, true); }
    int dictionary(const std::vector<std::pair<int, int>>& entries) {
        const int reference = begin();
        objects_ += static_cast<char>(0xD0 | entries.size());
        for (const auto& entry : entries)
            objects_ += static_cast<char>(entry.first);
        for (const auto& entry : entries)
            objects_ += static_cast<char>(entry.second);
        return reference;
    }

    std::string finish(int top) const {
        std::string bytes = objects_;
        const std::size_t table = bytes.size();
        for (std::size_t offset : offsets_)
            bytes += static_cast<char>(offset);
        bytes += std::string(6, '\0');
        bytes += '\x01';  // offset size
        bytes += '\x01';  // reference size
        for (const std::uint64_t value : {std::uint64_t{offsets_.size()},
                                          static_cast<std::uint64_t>(top), std::uint64_t{table}}) {
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes += static_cast<char>((value >> shift) & 0xFF);
        }
        return bytes;
    }

private:
    int begin() {
        offsets_.push_back(objects_.size());
        return static_cast<int>(offsets_.size() - 1);
    }
    int string(int marker, const std::string& text, bool wide) {
        const int reference = begin();
        if (text.size() < 15) {
            objects_ += static_cast<char>(marker | text.size());
        } else {
            objects_ += static_cast<char>(marker | 0x0F);
            objects_ += static_cast<char>(0x10);
            objects_ += static_cast<char>(text.size());
        }
        for (const char c : text) {
            if (wide) objects_ += '\0';
            objects_ += c;
        }
        return reference;
    }

    std::string objects_ = "bplist00";
    std::vector<std::size_t> offsets_;
};

TEST(PropertyListHostileTest, AUTF16StringWithANulCharacterIsRefusedWithoutStoppingTheProcess) {
    const std::string withNul("com.example\0evil", 16);
    for (const bool nul : {false, true}) {
        SCOPED_TRACE(nul ? "with a NUL character" : "without");
        const std::string text = nul ? withNul : "com.example";

        BinaryListWriter asValue;
        const int identifierKey = asValue.ascii("CFBundleIdentifier");
        const int identifier = asValue.utf16(text);
        const PropertyList value = PropertyList::fromData(
            asValue.finish(asValue.dictionary({{identifierKey, identifier}})));
        EXPECT_EQ(value.string("CFBundleIdentifier"),
                  nul ? std::nullopt : std::optional<std::string>(text));

        BinaryListWriter asKey;
        const int containersKey = asKey.ascii("NSUbiquitousContainers");
        const int containerKey = asKey.utf16(text);
        const int container = asKey.dictionary({});
        const int containers = asKey.dictionary({{containerKey, container}});
        const PropertyList key =
            PropertyList::fromData(asKey.finish(asKey.dictionary({{containersKey, containers}})));
        EXPECT_EQ(key.dictionaryKeys("NSUbiquitousContainers"),
                  nul ? std::vector<std::string>{} : std::vector<std::string>{text});
    }
}

// XML lists may declare entities. A bundle description never needs them, and
// expanding them would let a list read a file of the computer into a value,
// or unfold a few hundred bytes into gigabytes.
TEST(PropertyListHostileTest, XMLEntitiesAreNeitherLoadedNorUnfolded) {
    testsupport::TemporaryDirectory folder;
    const auto canary = folder / "secret.txt";
    testsupport::writeFile(canary, "canary-secret");
    const auto list = [](const std::string& doctype, const std::string& value) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doctype +
               "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" + value +
               "</string></dict></plist>";
    };
    std::string laughs = "<!DOCTYPE plist [<!ENTITY l0 \"lol\">";
    for (int level = 1; level <= 12; ++level) {
        laughs += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += "&l" + std::to_string(level - 1) + ";";
        laughs += "\">";
    }
    laughs += "]>";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"an external entity",
         list("<!DOCTYPE plist [<!ENTITY secret SYSTEM \"file://" + canary.string() + "\">]>",
              "&secret;")},
        {"an external parameter entity",
         list("<!DOCTYPE plist [<!ENTITY % secret SYSTEM \"file://" + canary.string() +
                  "\"> %secret;]>",
              "x")},
        {"entities unfolding into 10^12 values", list(laughs, "&l12;")},
        {"an undeclared entity", list("", "&nowhere;")},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const PropertyList parsed = PropertyList::fromData(bytes);
        const auto identifier = parsed.string("CFBundleIdentifier");
        if (identifier) {
            EXPECT_EQ(identifier->find("canary"), std::string::npos) << *identifier;
            EXPECT_LT(identifier->size(), 4096u);
        }
        const PropertyList fromFile = [&] {
            testsupport::writeFile(folder / "Info.plist", bytes);
            return PropertyList::fromFile(folder / "Info.plist");
        }();
        if (const auto value = fromFile.string("CFBundleIdentifier")) {
            EXPECT_EQ(value->find("canary"), std::string::npos) << *value;
        }
    }
}

}  // namespace
}  // namespace quillfen
