// The JSON objects of the web messages between the program and the map page.
#include <gtest/gtest.h>

#include "views/map/JsonHolder.h"
#include "views/map/MapScripts.h"
#include "views/map/WebView2Holder.h"

namespace orv::test {
namespace {

TEST(MapJson, TheUpdateMessageHasItsFiveKeysInOrder) {
    CJsonHolder json;
    json.AddPair("stale", "x");  // composing starts from an empty object
    EXPECT_EQ(CWebView2Holder::ComposeMapUpdate(json, "pause", FormatFixed6(35.5), FormatFixed6(139.25)),
              R"({"map_lat":"35.500000","map_lng":"139.250000","map_status":"pause","val_command":"update","val_end":""})");
}

TEST(MapJson, TextsSurviveTheRoundTrip) {
    const std::string texts[] = {"", "a,b:c", "say \"hi\"", "{}[]", "back\\slash", "改行\nと\tタブ", "マップ"};
    for (const std::string& text : texts) {
        CJsonHolder out;
        out.AddPair("map_status", text);
        out.AddPair("val_end", "");
        CJsonHolder in;
        ASSERT_TRUE(in.Parse(out.Serialize())) << text;
        EXPECT_EQ(in.Get("map_status"), text);
        EXPECT_EQ(in.Size(), 2u);
    }
}

TEST(MapJson, ParsingKeepsOnlyTheStringMembersOfAnObject) {
    struct Case {
        const char* text;
        bool ok;
        std::size_t pairs;
        const char* mapLat;
    };
    const Case cases[] = {
        {R"({"map_lat":"1.5","map_lng":"2.5"})", true, 2, "1.5"},
        {R"({"map_lat":12.5,"map_lng":"2.5"})", true, 1, ""},  // a number is no text
        {R"({"map_lat":{"x":"1"},"a":["b"],"c":null})", true, 0, ""},
        {R"(["map_lat","1"])", false, 0, ""},
        {R"({"map_lat":"1")", false, 0, ""},
        {"", false, 0, ""},
        {"\xff\xfe{", false, 0, ""},
    };
    for (const Case& c : cases) {
        CJsonHolder json;
        json.AddPair("left", "over");
        EXPECT_EQ(json.Parse(c.text), c.ok) << c.text;
        EXPECT_EQ(json.Size(), c.pairs) << c.text;
        EXPECT_EQ(json.Get("map_lat"), c.mapLat) << c.text;
    }
}

}  // namespace
}  // namespace orv::test
