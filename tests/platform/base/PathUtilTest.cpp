#include "platform/base/PathUtil.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(PathUtil, FileNameAndExtension) {
    EXPECT_EQ(PathFindFileName("/media/card/Normal/A___-220101-120000-000001M.MOV"),
              "A___-220101-120000-000001M.MOV");
    EXPECT_EQ(PathFindFileName("name.MOV"), "name.MOV");
    EXPECT_EQ(PathFindFileName("/dir/"), "");
    EXPECT_EQ(PathFindExtension("/a.b/name.tar.gz"), ".gz");
    EXPECT_EQ(PathFindExtension("/a.b/name"), "");  // a point in a folder is no extension
    EXPECT_EQ(PathRenameExtension("/x/name.MOV", ".ADA"), "/x/name.ADA");
    EXPECT_EQ(PathRenameExtension("/x.y/name", ".ADA"), "/x.y/name.ADA");
}

TEST(PathUtil, RemoveFileSpecAndAppend) {
    EXPECT_EQ(PathRemoveFileSpec("/media/card/Normal/x.MOV"), "/media/card/Normal");
    EXPECT_EQ(PathRemoveFileSpec("/x.MOV"), "/");
    EXPECT_EQ(PathRemoveFileSpec("x.MOV"), "");
    EXPECT_EQ(PathAppend("/a", "b"), "/a/b");
    EXPECT_EQ(PathAppend("/a/", "b"), "/a/b");
    EXPECT_EQ(PathAppend("/", "b"), "/b");
}

TEST(PathUtil, CharactersAreCodePoints) {
    const std::string s = "写真/AB";  // two 3-byte characters
    EXPECT_EQ(Utf8Length(s), 5u);
    EXPECT_EQ(Utf8Offset(s, 2), 6u);
    EXPECT_EQ(Utf8Substr(s, 3, 2), "AB");
    EXPECT_EQ(Utf8Substr(s, 1, 1), "真");
    EXPECT_EQ(Utf8Offset(s, 99), s.size());
    // A broken sequence counts byte by byte and is never lost.
    const std::string broken = "a\xE5\x86" "b";
    EXPECT_EQ(Utf8Length(broken), 3u);
    EXPECT_EQ(Utf8Substr(broken, 2), "b");
}

TEST(PathUtil, CaseInsensitiveComparison) {
    EXPECT_TRUE(EqualsNoCase("Normal", "NORMAL"));
    EXPECT_FALSE(EqualsNoCase("Normal", "Norma"));
    EXPECT_TRUE(StartsWithNoCase("main/x", "MAIN"));
    EXPECT_EQ(FindNoCase("/media/VIDEO_card", "video"), 7u);
    EXPECT_EQ(FindNoCase("abc", "abcd"), std::string_view::npos);
}

}  // namespace
}  // namespace orv
