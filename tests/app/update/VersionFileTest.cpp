#include "app/update/VersionFile.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "platform/base/PathUtil.h"
#include "ui/text/UiText.h"

namespace orv {
namespace {

constexpr const char* kHost = "upd.test:8080";

TEST(VersionFile, TheTextAfterTheTagIsOneLineBoundedValidAndWithoutFormatCharacters) {
    std::string longJapanese;
    for (int i = 0; i < 300; ++i) longJapanese += "あ";
    const struct {
        std::string bytes;
        std::optional<std::string> text;
    } cases[] = {
        {"VER:1.2.3", "1.2.3"},
        {"model KM1A\r\nVER:1.2.3.4\r\n", "1.2.3.4"},
        {"VER:1VER:2", "1VER:2"},
        {"VER:", ""},
        {"ver:1.2.3", std::nullopt},
        {"", std::nullopt},
        {"VER:" + std::string(300, '9'), std::string(259, '9')},
        {"VER:" + longJapanese, longJapanese.substr(0, 259 * 3)},
        {std::string("VER:\xff" "1\xe3\x81"), "\xEF\xBF\xBD" "1\xEF\xBF\xBD\xEF\xBF\xBD"},
        // Any line break ends the text; blanks and breaks before it are passed over.
        {"VER:3.1.0\r\n<a href=\"x\">more</a>", "3.1.0"},
        {"VER:3.1.0\nsecond line", "3.1.0"},
        {"VER:3.1.0\rsecond line", "3.1.0"},
        {"VER:3.1.0\xE2\x80\xA8second line", "3.1.0"},
        {"VER:3.1.0\xE2\x80\xA9second line", "3.1.0"},
        {"VER:\r\n \t3.1.0 \r\n", "3.1.0 "},
        // Control characters go before the tag is looked for; tab stays, and what goes
        // does not count towards the cut.
        {std::string("V\0ER:1.2\0.3\r\n", 13), "1.2.3"},
        {"VER:\x1b[31m1\t2\a\b\v\f\x7f\xc2\x85\xc2\x9f\xc2\xa0", "[31m1\t2\xc2\xa0"},
        {"VER:" + std::string(300, '\0') + "1.2", "1.2"},
        // So do the format characters: a right-to-left override, isolates, zero-width
        // characters, a byte order mark, a soft hyphen, a language tag.
        {"VER:3.\xE2\x80\xAE" "1.0", "3.1.0"},
        {"VER:\xE2\x81\xA6" "3.1\xE2\x81\xA9.\xE2\x80\x8B" "0\xEF\xBB\xBF\xC2\xAD", "3.1.0"},
        {"V\xE2\x80\x8D" "ER:3\xF3\xA0\x80\x81.1", "3.1"},
        {"VER:\xE2\x80\xAE" + std::string(300, '7'), std::string(259, '7')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        EXPECT_EQ(ParseVersionFile(c.bytes), c.text);
    }
    // The GPS data file, which has no tag: its first line.
    const std::pair<std::string, std::string> files[] = {
        {std::string(100000, '2'), std::string(259, '2')},
        {"230110\r\nmore", "230110"},
        {"\r\n\r\n230110\r\n", "230110"},
        {"23\xE2\x80\xAE" "0110", "230110"},
    };
    for (const auto& [bytes, text] : files) EXPECT_EQ(FetchedText(bytes), text) << bytes.substr(0, 20);
}

TEST(VersionFile, ServerAddressesArePlainHttpUnlessTheHostNamesHttps) {
    const struct {
        const char* host;
        const char* url;
    } rows[] = {
        {"upd.test:8080", "http://upd.test:8080/gps_data/drgps_01.txt"},
        {"https://upd.test", "https://upd.test/gps_data/drgps_01.txt"},
        {"http://upd.test", "http://upd.test/gps_data/drgps_01.txt"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(UpdateServerUrl(row.host, kGpsDataFile), row.url);
        EXPECT_TRUE(IsUpdatePageUrl(UpdateServerUrl(row.host, kViewerPage), row.host)) << row.host;
    }
    EXPECT_FALSE(IsUpdatePageUrl("http://upd.test/0_recorder/viewer/Orvanta5/viewer.html", "https://upd.test"));
}

TEST(VersionFile, TrimBlanksTakesLineEndsAndBlanksAround) {
    const std::pair<const char*, const char*> cases[] = {
        {"3.0.0\r\n", "3.0.0"}, {" \t220425 \n", "220425"}, {"1 2", "1 2"}, {"\r\n", ""}, {"", ""}};
    for (const auto& [in, out] : cases) EXPECT_EQ(TrimBlanks(in), out);
}

UpdateSection Section(const char* current, const char* published, std::string_view page) {
    return UpdateSection{current, published, UpdateServerUrl(kHost, page)};
}

// One section as the message's format writes it.
std::string Formatted(int label, const UpdateSection& s) {
    const char* url = s.pageUrl.c_str();
    char buf[2048];
    std::snprintf(buf, sizeof buf, "%s:\r\n%s%s   →   %s%s\r\n\r\nURL : <a href=\"%s\">%s</a>", UiText(label),
                  UiText(107), s.current.c_str(), UiText(109), s.published.c_str(), url, url);
    return buf;
}

TEST(UpdateMessage, EachCombinationHasItsCodeAndFormat) {
    const UpdateSection fw = Section("1.2.3", "1.2.4", kUpdateModels[0].page);
    const UpdateSection viewer = Section("3.0.0", "3.1.0", kViewerPage);
    const UpdateSection gps = Section("22/04/25", "23/01/10", kGpsDataPage);
    const std::string head = std::string(UiText(105)) + "\r\n\r\n";
    const std::string gap = "\r\n\r\n\r\n";
    const struct {
        bool f, v, g;
        UpdateResult code;
        std::string message;
    } cases[] = {
        {false, false, false, UPDATE_NONE, ""},
        {true, false, false, UPDATE_FIRMWARE, head + Formatted(108, fw)},
        {false, true, false, UPDATE_VIEWER, head + Formatted(110, viewer)},
        {false, false, true, UPDATE_GPS, head + Formatted(111, gps)},
        {true, true, false, UPDATE_FIRMWARE_VIEWER, head + Formatted(108, fw) + gap + Formatted(110, viewer) + "\r\n"},
        {true, false, true, UPDATE_FIRMWARE_GPS, head + Formatted(108, fw) + gap + Formatted(111, gps) + "\r\n"},
        {false, true, true, UPDATE_VIEWER_GPS, head + Formatted(110, viewer) + gap + Formatted(111, gps) + "\r\n"},
        {true, true, true, UPDATE_ALL,
         head + Formatted(108, fw) + gap + Formatted(110, viewer) + gap + Formatted(111, gps) + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        UpdateNews news;
        if (c.f) news.firmware = fw;
        if (c.v) news.viewer = viewer;
        if (c.g) news.gps = gps;
        EXPECT_EQ(UpdateResultOf(news), c.code);
        EXPECT_EQ(ComposeUpdateMessage(news), c.message);
    }
}

TEST(UpdateMessage, ForeignTextStaysTextAndTheMessageIsBounded) {
    UpdateNews news;
    news.firmware = Section("1.0.0", "<a href=\"javascript:alert(1)\">x</a>&", kUpdateModels[2].page);
    news.viewer = Section("3.0.0", "<b>3.1</b>", kViewerPage);
    const std::string message = ComposeUpdateMessage(news);
    EXPECT_NE(message.find("&lt;a href=&quot;javascript:alert(1)&quot;&gt;x&lt;/a&gt;&amp;"), std::string::npos);
    const RichLinkText rich = LinkMarkupToHtml(message);
    EXPECT_EQ(rich.links, (std::vector<std::string>{news.firmware->pageUrl, news.viewer->pageUrl}));
    EXPECT_EQ(rich.html.find("javascript:alert(1)\""), std::string::npos);
    EXPECT_NE(rich.html.find("&lt;b&gt;3.1&lt;/b&gt;"), std::string::npos);

    // Texts as long as a fetch gives, full of characters that grow when escaped: the cut
    // falls between whole characters and never splits a link.
    const std::string wide(259, '"');
    news.firmware = Section(wide.c_str(), wide.c_str(), kUpdateModels[2].page);
    news.viewer = Section("3.0.0", "3.1.0", kViewerPage);
    news.gps = Section(wide.c_str(), wide.c_str(), kGpsDataPage);
    const std::string cut = ComposeUpdateMessage(news);
    EXPECT_LE(Utf8Length(cut), kMaxMessageChars);
    EXPECT_GT(Utf8Length(cut), kMaxMessageChars - 6);
    const std::size_t lastAmp = cut.rfind('&');
    EXPECT_EQ(cut.substr(lastAmp), "&quot;");
    EXPECT_TRUE(LinkMarkupToHtml(cut).links.empty());
}

TEST(UpdateMessage, ControlAndFormatCharactersReachNeitherTheMessageNorItsRichText) {
    const struct {
        std::string current, published;  // as the card and the server gave them
        std::string shownCurrent, shownPublished;
    } cases[] = {
        {std::string("2204\0" "25", 7), "23/01/10\t\r\n", "220425", "23/01/10\t\r\n"},
        {"1.2.3", "1.2.\x1b[2J4\a\b\v\f", "1.2.3", "1.2.[2J4"},
        {"1.2\x7f.3", "1.\xc2\x9b" "2\xc2\x85.4\xc2\xa0", "1.2.3", "1.2.4\xc2\xa0"},
        {"1.2.3\xE2\x80\x8F", "\xE2\x80\xAE" "4.2.1\xE2\x80\xAC", "1.2.3", "4.2.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shownPublished);
        const std::string page = UpdateServerUrl(kHost, kGpsDataPage);
        UpdateNews news, shown;
        news.gps = UpdateSection{c.current, c.published, page};
        shown.gps = UpdateSection{c.shownCurrent, c.shownPublished, page};
        EXPECT_EQ(ComposeUpdateMessage(news), ComposeUpdateMessage(shown));
        // The dialog's own gate, for markup that did not come through the message.
        EXPECT_EQ(LinkMarkupToHtml(c.current + c.published).html,
                  LinkMarkupToHtml(c.shownCurrent + c.shownPublished).html);
    }
}

TEST(LinkMarkup, BreaksBlanksEntitiesAndLinks) {
    const RichLinkText r = LinkMarkupToHtml(
        "a\r\nb   c &lt;x&gt; & <i>\r\nURL : <a href=\"http://h/p?a=1&amp;b=2\">http://h/p?a=1&amp;b=2</a>\n"
        "<a href=\"http://h/q\">broken");
    EXPECT_EQ(r.links, std::vector<std::string>{"http://h/p?a=1&b=2"});
    EXPECT_EQ(r.html,
              "<div style=\"white-space:pre-wrap\">a<br>b   c &lt;x&gt; &amp; &lt;i&gt;<br>URL : "
              "<a href=\"http://h/p?a=1&amp;b=2\">http://h/p?a=1&amp;b=2</a><br>"
              "&lt;a href=&quot;http://h/q&quot;&gt;broken</div>");
}

}  // namespace
}  // namespace orv
