#include "ui/text/UiText.h"

#include <cstring>

#include <gtest/gtest.h>

namespace orv {
namespace {

class UiTextTest : public testing::Test {
protected:
    void TearDown() override { g_nLanguage = 0; }
};

TEST_F(UiTextTest, TableHoldsTextsUpTo173InBothRows) {
    for (int row = 0; row < kUiLanguageRows; ++row) {
        int count = 0;
        for (int id = 0; id < kUiTextCount; ++id) {
            const char* t = g_pszUiText[row * kUiTextCount + id];
            if (id < 174) {
                ASSERT_NE(t, nullptr) << id;
                ++count;
            } else {
                EXPECT_EQ(t, nullptr) << id;
            }
            EXPECT_EQ(t, g_pszUiText[id]) << "rows differ at " << id;
        }
        EXPECT_EQ(count, 174);
    }
}

TEST_F(UiTextTest, SampleTextsByteForByte) {
    EXPECT_STREQ(UiText(0), "\xE9\x96\x89\xE3\x81\x98\xE3\x82\x8B");  // 閉じる
    EXPECT_STREQ(UiText(33), "%d\xE5\x80\x8B");                        // %d個
    EXPECT_STREQ(UiText(96), "動画のオープンに失敗しました。");
    EXPECT_STREQ(UiText(97), "録画時間が短いため再生できません。");
    EXPECT_STREQ(UiText(112), "メイリオ");
    EXPECT_STREQ(UiText(5), "回転 180°");
    EXPECT_STREQ(UiText(25), "衝撃＋マニュアル");  // full-width plus
    EXPECT_STREQ(UiText(65), "ドライブサポート　急加速");  // ideographic space
    EXPECT_STREQ(UiText(105),
                 "新しいバージョンのソフトを利用できます。\r\n"
                 "ダウンロードする場合は下記URLをクリックしてください。");
    EXPECT_STREQ(UiText(173), "拡大モードです\n\n拡大したい場所を\nクリックしてください");
    EXPECT_STREQ(UiText(168), "駐車タイムラプス");
    // Ids that share a text.
    EXPECT_STREQ(UiText(1), UiText(40));
    EXPECT_STREQ(UiText(3), UiText(43));
    EXPECT_STREQ(UiText(0), UiText(78));
}

TEST_F(UiTextTest, EmptyAndOutOfRangeIdsGiveNoText) {
    EXPECT_STREQ(UiText(174), "");
    EXPECT_STREQ(UiText(259), "");
    EXPECT_STREQ(UiText(260), "");
    EXPECT_STREQ(UiText(-1), "");
}

TEST_F(UiTextTest, LangStringJoinsWithPlus) {
    EXPECT_EQ(LangString("", 164), "+衝撃");
    EXPECT_EQ(LangString(UiText(165), 164), "常時タイムラプス+衝撃");
    EXPECT_EQ(LangString("x", 200), "x+");
    EXPECT_EQ(LangString("x", 999), "x+");
}

TEST_F(UiTextTest, LanguageRowFollowsUsEnglishOnly) {
    ChooseLanguageRow(0x411);
    EXPECT_EQ(g_nLanguage, 0);
    ChooseLanguageRow(0x409);
    EXPECT_EQ(g_nLanguage, 1);
    EXPECT_STREQ(UiText(112), "メイリオ");  // both rows are the same texts
}

}  // namespace
}  // namespace orv
