#include <gtest/gtest.h>

#include "outfitter/Appcast.h"
#include "outfitter/UpdateError.h"
#include "outfitter/UpdateVersion.h"

using namespace outfitter;

namespace {

UpdateVersion v(const char* text) {
    return UpdateVersion::parse(text).value();
}

TEST(OutfitterAppcastTest, VersionsCompareComponentByComponentAsNumbers) {
    EXPECT_GT(v("1.10"), v("1.9"));
    EXPECT_GT(v("2"), v("1.99.99"));
    EXPECT_GT(v("1.2.1"), v("1.2"));
    EXPECT_EQ(v("1.3"), v("1.3.0"));
    EXPECT_EQ(v("01.3"), v("1.3"));
    // Not versions: nothing that could name a folder other than its own.
    for (const char* text : {"", "1.", ".1", "1..2", "1.2-beta", "v1.2", "../1", "1/2", " 1.2",
                             "+1", "-1", "99999999999999999999", "1.2.3.4.5.6.7.8.9"})
        EXPECT_FALSE(UpdateVersion::parse(text)) << text;
}

TEST(OutfitterAppcastTest, TheNewestItemForLinuxThatIsNewerThanOursIsOffered) {
    const QByteArray feed = R"xml(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"
     xmlns:dc="http://purl.org/dc/elements/1.1/">
  <channel>
    <title>Quillfen</title>
    <item><title>macOS only</title><sparkle:version>9.0</sparkle:version>
      <enclosure url="https://example.org/q.dmg" length="10" sparkle:os="macos"/></item>
    <item><title>Not a version</title><sparkle:version>2.0-beta</sparkle:version>
      <enclosure url="https://example.org/b.tar.xz" length="10"/></item>
    <item><title>No download</title><sparkle:version>3.0</sparkle:version></item>
    <item>
      <title>Quillfen 1.10</title>
      <link>https://example.org/releases/1.10</link>
      <dc:creator>skipped</dc:creator>
      <description><![CDATA[<p>New:</p><ul><li>Faster &amp; safer</li><li>Fixes</li></ul>]]></description>
      <enclosure url="https://example.org/q-1.10.tar.xz" length="123" type="application/x-xz"
                 sparkle:version="1.10" sparkle:shortVersionString="1.10 (summer)"
                 sparkle:edSignature=" c2lnbmF0dXJl "/>
    </item>
    <item><title>Quillfen 1.9</title><sparkle:version>1.9</sparkle:version>
      <enclosure url="https://example.org/q-1.9.tar.xz" length="100"/></item>
  </channel>
</rss>)xml";
    const Appcast appcast = Appcast::parse(feed);
    ASSERT_EQ(appcast.items.size(), 5u);
    const AppcastItem* newest = appcast.newestItemAfter(v("1.2"));
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->version, "1.10");
    EXPECT_EQ(newest->displayVersion(), "1.10 (summer)");
    EXPECT_EQ(newest->enclosureLength, 123);
    EXPECT_EQ(newest->edSignature, "c2lnbmF0dXJl");
    EXPECT_EQ(newest->plainReleaseNotes(), "New:\n\n- Faster & safer\n- Fixes");
    EXPECT_EQ(appcast.newestItemAfter(v("1.10")), nullptr);

    // What is written reads back the same.
    const Appcast again = Appcast::parse(appcast.write());
    ASSERT_EQ(again.items.size(), appcast.items.size());
    const AppcastItem& item = again.items[3];
    EXPECT_EQ(item.link, newest->link);
    EXPECT_EQ(item.version, newest->version);
    EXPECT_EQ(item.shortVersion, newest->shortVersion);
    EXPECT_EQ(item.releaseNotes, newest->releaseNotes);
    EXPECT_EQ(item.enclosureURL, newest->enclosureURL);
    EXPECT_EQ(item.enclosureLength, newest->enclosureLength);
    EXPECT_EQ(item.edSignature, newest->edSignature);
    EXPECT_EQ(again.items[0].os, "macos");
}

TEST(OutfitterAppcastTest, AnythingButAnRssChannelIsRefused) {
    for (const char* document :
         {"", "not xml", "<feed xmlns='http://www.w3.org/2005/Atom'/>", "<rss version='2.0'/>",
          "<rss><channel><item></channel></rss>", "<rss><channel/></rss><rss/>",
          "<rss><channel><title>&unknown;</title></channel></rss>",
          "<?xml version='1.0'?><!DOCTYPE rss SYSTEM "
          "'http://example.org/x.dtd'><rss><channel/></rss>"}) {
        SCOPED_TRACE(document);
        try {
            Appcast::parse(document);
            ADD_FAILURE() << "read";
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.kind(), UpdateError::Kind::feedUnreadable);
        }
    }
}

}  // namespace
