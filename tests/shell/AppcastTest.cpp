#include "shell/Appcast.h"

#include <gtest/gtest.h>

using namespace vandrel;

namespace {
const char* kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Vandrel</title>
    <item>
      <title>Version 1.2</title>
      <link>https://vandrel.app/download</link>
      <sparkle:version>12</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <description><![CDATA[<h2>New</h2><ul><li>Faster &amp; better</li><li>Fixes</li></ul>]]></description>
      <enclosure url="https://vandrel.app/Vandrel-1.2.tar.gz" length="100" type="application/octet-stream"/>
    </item>
    <item>
      <title>Version 1.10</title>
      <enclosure url="https://vandrel.app/Vandrel-1.10.tar.gz" sparkle:version="110" sparkle:shortVersionString="1.10"/>
    </item>
    <item><title>no version: skipped</title></item>
  </channel>
</rss>)";
}  // namespace

TEST(Appcast, ReadsItemsFromElementsAndEnclosureAttributes) {
    std::string error;
    auto items = parseAppcast(kFeed, &error);
    ASSERT_TRUE(items) << error;
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].version, "12");
    EXPECT_EQ((*items)[0].shortVersion, "1.2");
    EXPECT_EQ((*items)[0].downloadPage, "https://vandrel.app/download");  // the page, not the archive
    EXPECT_EQ((*items)[0].releaseNotes, "New\n• Faster & better\n• Fixes");
    EXPECT_EQ((*items)[1].version, "110");
    EXPECT_EQ((*items)[1].downloadPage, "https://vandrel.app/Vandrel-1.10.tar.gz");
}

TEST(Appcast, RejectsWhatIsNotAFeedAndUnsafeLinks) {
    std::string error;
    EXPECT_FALSE(parseAppcast("", &error));
    EXPECT_FALSE(parseAppcast("<html><body>404</body></html>", &error));
    EXPECT_FALSE(parseAppcast("<rss><channel><item>", &error));  // truncated
    EXPECT_FALSE(error.empty());
    // Entity declarations are refused rather than expanded.
    EXPECT_FALSE(parseAppcast(R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaaaaaa">]><rss/>)", &error));
    auto items = parseAppcast(R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
        <item><link>javascript:alert(1)</link><sparkle:version>9</sparkle:version>
        <enclosure url="file:///etc/passwd"/></item></channel></rss>)");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].downloadPage, "");
}

TEST(Appcast, VersionsCompareByNumberNotByText) {
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareVersions("1.2", "1.10"), 0);
    EXPECT_EQ(compareVersions("1.2", "1.2.0"), 0);
    EXPECT_GT(compareVersions("1.2.1", "1.2"), 0);
    EXPECT_GT(compareVersions("1.0", "1.0b2"), 0);
    EXPECT_LT(compareVersions("1.0a1", "1.0b1"), 0);
    EXPECT_EQ(compareVersions("007", "7"), 0);
    EXPECT_GT(compareVersions("100000000000000000000001", "100000000000000000000000"), 0);  // no overflow
}

TEST(Appcast, NewestUpdateIsTheHighestVersionAboveOurs) {
    auto items = *parseAppcast(kFeed);
    auto newest = newestUpdate(items, "11");
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->shortVersion, "1.10");
    EXPECT_FALSE(newestUpdate(items, "110"));
    EXPECT_FALSE(newestUpdate(items, "200"));
}
