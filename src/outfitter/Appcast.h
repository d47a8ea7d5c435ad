// Appcast: the update feed, an RSS 2.0 document whose channel holds one item
// per release:
//
//   <rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
//     <channel>
//       <title>Quillfen</title>
//       <item>
//         <title>Quillfen 1.3.0</title>
//         <link>https://…/releases/1.3.0</link>                   (the release's page)
//         <sparkle:version>1.3.0</sparkle:version>                (compared with ours)
//         <sparkle:shortVersionString>1.3</sparkle:shortVersionString>  (shown)
//         <description>What changed…</description>                (release notes)
//         <sparkle:releaseNotesLink>https://…</sparkle:releaseNotesLink>
//         <pubDate>Tue, 04 Jun 2024 10:00:00 +0000</pubDate>
//         <enclosure url="https://…/quillfen-1.3.0-x86_64.tar.xz" length="7340032"
//                    type="application/x-xz" sparkle:edSignature="<Base64>"/>
//       </item>
//     </channel>
//   </rss>
//
// `sparkle:version` may also stand as an attribute of the enclosure. An
// enclosure with a `sparkle:os` attribute other than "linux" belongs to
// another system and its item is never offered here. The signature is
// Ed25519 over the enclosure's bytes (see UpdateSignature).
//
// `parse` reads with QXmlStreamReader and refuses a document type
// declaration, so that no entity of the feed's choosing is ever expanded.
// Elements it does not know are skipped; `write` writes what it knows.
//
// Thread safety: a plain value.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outfitter/UpdateVersion.h"

namespace outfitter {

struct AppcastItem {
    std::string title;
    std::string link;  // the release's web page
    std::string version;
    std::string shortVersion;
    std::string releaseNotes;  // the description: plain text or HTML
    std::string releaseNotesLink;
    std::string pubDate;
    std::string os;  // the enclosure's sparkle:os, empty when it names none
    std::string enclosureURL;
    std::optional<std::int64_t> enclosureLength;
    std::string enclosureType;
    std::string edSignature;  // Base64

    // The version parsed, or nothing when the item has none that compares.
    std::optional<UpdateVersion> parsedVersion() const { return UpdateVersion::parse(version); }
    // What to call the release: the short version, else the version.
    const std::string& displayVersion() const {
        return shortVersion.empty() ? version : shortVersion;
    }
    // The release notes without markup: HTML tags dropped, paragraph and
    // line breaks and list items kept as new lines, surrounding space trimmed.
    std::string plainReleaseNotes() const;
};

class Appcast {
public:
    static constexpr const char* sparkleNamespace =
        "http://www.andymatuschak.org/xml-namespaces/sparkle";

    std::string title;
    std::string link;
    std::string description;
    std::vector<AppcastItem> items;  // in the feed's order

    // Reads a feed. Throws UpdateError (feedUnreadable) for anything that is
    // not well-formed XML with an <rss> root and a <channel>.
    static Appcast parse(const QByteArray& document);
    // The feed as UTF-8 XML, with the items in their order.
    QByteArray write() const;

    // The newest item strictly newer than `running` that this system can
    // install: a valid version, an enclosure for Linux (or for any system)
    // with an address. Nothing when there is none.
    const AppcastItem* newestItemAfter(const UpdateVersion& running) const;
};

}  // namespace outfitter
