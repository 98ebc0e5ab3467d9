#include "platform/gdi/SkinManifest.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(SkinManifest, ReadsEveryKindOfLine) {
    const std::string text =
        "# comment\n"
        "\n"
        "129  1200 750  BMP  FFFFFF none   main.svg\n"
        "  206 191 19 BMP 102030 black date.svg?y=13&h=2\r\n"
        "350 48 16 BMP FFFFFF white dashes.svg\n"
        "313 22 106 MASK - - needle.svg\n"
        "192 60 35 BMP FFFFFF none badge.svg?label=Full HD&quality=高画質\n"
        "348 42 35 PNG - - gps.svg";
    std::vector<SkinPicture> pictures;
    std::string error;
    ASSERT_TRUE(ParseSkinManifest(text, &pictures, &error)) << error;
    ASSERT_EQ(pictures.size(), 6u);

    EXPECT_EQ(pictures[0].id, 129);
    EXPECT_EQ(pictures[0].width, 1200);
    EXPECT_EQ(pictures[0].height, 750);
    EXPECT_EQ(pictures[0].kind, SkinKind::Bmp);
    EXPECT_EQ(pictures[0].background, RGB(255, 255, 255));
    EXPECT_EQ(pictures[0].key, SkinKey::None);
    EXPECT_EQ(pictures[0].source, "main.svg");

    EXPECT_EQ(pictures[1].background, RGB(0x10, 0x20, 0x30));  // written RRGGBB
    EXPECT_EQ(pictures[1].key, SkinKey::Black);
    EXPECT_EQ(pictures[1].source, "date.svg?y=13&h=2");
    EXPECT_EQ(pictures[2].key, SkinKey::White);
    EXPECT_EQ(pictures[3].kind, SkinKind::Mask);
    EXPECT_EQ(pictures[4].source, "badge.svg?label=Full HD&quality=高画質");  // the rest of the line
    EXPECT_EQ(pictures[5].kind, SkinKind::Png);
}

TEST(SkinManifest, RefusesBadLinesNamingThem) {
    const char* bad[] = {
        "0 10 10 BMP FFFFFF none a.svg",          // id 0
        "70000 10 10 BMP FFFFFF none a.svg",      // id too large
        "12 0 10 BMP FFFFFF none a.svg",          // no width
        "12 10 x BMP FFFFFF none a.svg",          // not a number
        "12 10 10 GIF FFFFFF none a.svg",         // unknown kind
        "12 10 10 BMP FFFFF none a.svg",          // colour of five digits
        "12 10 10 BMP FFFFFF grey a.svg",         // unknown key
        "12 10 10 PNG FFFFFF none a.svg",         // a PNG has no background
        "12 10 10 BMP FFFFFF none",               // no source
    };
    for (const char* line : bad) {
        std::vector<SkinPicture> pictures;
        std::string error;
        const std::string text = std::string("1 1 1 BMP 000000 none ok.svg\n") + line + "\n";
        EXPECT_FALSE(ParseSkinManifest(text, &pictures, &error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
        EXPECT_TRUE(pictures.empty());
    }

    std::vector<SkinPicture> pictures;
    std::string error;
    EXPECT_FALSE(ParseSkinManifest("5 1 1 BMP 000000 none a.svg\n5 2 2 BMP 000000 none b.svg\n", &pictures, &error));
    EXPECT_EQ(error, "line 2: id listed twice");
}

}  // namespace
}  // namespace orv
