// The embedded skin pictures: present, at the sizes the drawing code expects, four
// frames to a strip, and no pure black but where black is the key.
#include <QImage>

#include <cstdlib>
#include <fstream>
#include <string>

#include <set>

#include <gtest/gtest.h>

#include "platform/gdi/SkinResources.h"

namespace orv {
namespace {

struct Expected {
    int id;
    int width;
    int height;
};

// Every picture the image store, the dialogs, the buttons and the sliders load, with the
// sizes the drawing code is written for.
const Expected kPictures[] = {
    {129, 1200, 750}, {164, 452, 392}, {324, 452, 392}, {320, 210, 151}, {307, 210, 151},
    {309, 210, 151}, {321, 210, 151}, {325, 210, 151}, {312, 22, 106}, {313, 22, 106},
    {198, 60, 35}, {199, 60, 35}, {196, 60, 35}, {197, 60, 35}, {192, 60, 35}, {195, 60, 35},
    {358, 60, 35}, {359, 60, 35}, {360, 60, 35}, {361, 60, 35}, {368, 60, 35}, {369, 60, 35},
    {201, 720, 77}, {207, 139, 14}, {206, 191, 19}, {218, 245, 28}, {202, 309, 34},
    {209, 45, 18}, {210, 45, 18}, {208, 45, 18}, {203, 76, 31}, {204, 76, 31}, {205, 76, 31},
    {213, 32, 14}, {211, 48, 16}, {350, 48, 16}, {219, 42, 28}, {351, 42, 28}, {212, 80, 26},
    {190, 30, 21}, {214, 452, 634}, {215, 227, 634}, {364, 48, 19}, {348, 42, 35},
    {331, 48, 35}, {332, 48, 35}, {333, 48, 35}, {334, 25, 35}, {335, 25, 35}, {336, 25, 35},
    {337, 25, 35}, {338, 35, 35}, {339, 35, 35}, {340, 35, 35}, {341, 35, 35}, {342, 80, 18},
    {343, 80, 18}, {344, 80, 18}, {345, 80, 18}, {349, 80, 18},
    // strips of four frames
    {217, 48, 12}, {352, 52, 12},
    {154, 128, 32}, {144, 128, 32}, {148, 128, 32}, {147, 128, 32}, {142, 128, 32}, {139, 128, 32},
    {145, 128, 32}, {153, 128, 32}, {150, 128, 32}, {200, 128, 32}, {146, 128, 32}, {138, 128, 32},
    {151, 128, 32}, {137, 128, 32}, {322, 128, 32}, {357, 128, 32},
    {155, 184, 18}, {157, 104, 18}, {158, 104, 18}, {156, 104, 18}, {362, 600, 18},
    // slider tracks and thumbs
    {174, 800, 10}, {159, 800, 10}, {160, 25, 10}, {161, 25, 10},
    {167, 100, 20}, {168, 100, 20}, {169, 10, 20}, {170, 10, 20},
};

const int kStrips[] = {217, 352, 154, 144, 148, 147, 142, 139, 145, 153, 150, 200,
                       146, 138, 151, 137, 322, 357, 155, 157, 158, 156, 362};

TEST(SkinPictures, EveryPictureIsListedAndLoadsAtItsSize) {
    for (const Expected& e : kPictures) {
        const SkinPicture* listed = FindSkinPicture(e.id);
        ASSERT_NE(listed, nullptr) << e.id;
        EXPECT_EQ(listed->width, e.width) << e.id;
        EXPECT_EQ(listed->height, e.height) << e.id;
    }
    ASSERT_FALSE(SkinManifest().empty());
    for (const SkinPicture& p : SkinManifest()) {
        const QImage image = LoadSkinBitmap(p.id);
        ASSERT_FALSE(image.isNull()) << p.id;
        EXPECT_EQ(image.size(), QSize(p.width, p.height)) << p.id;
        switch (p.kind) {
        case SkinKind::Bmp: EXPECT_EQ(image.format(), QImage::Format_RGB32) << p.id; break;
        case SkinKind::Mask: EXPECT_EQ(image.format(), QImage::Format_Mono) << p.id; break;
        case SkinKind::Png: EXPECT_TRUE(image.hasAlphaChannel()) << p.id; break;
        }
    }
    EXPECT_TRUE(LoadSkinBitmap(1).isNull());  // not listed
}

// Reading the skin needs no image format plugin: a start-up that loaded them all to ask
// each about every picture would pay for libraries it never uses. In a fresh process,
// where no other test has loaded one.
TEST(SkinPicturesDeathTest, LoadingTheSkinMapsNoImageFormatPlugin) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int loaded = 0;
            for (const SkinPicture& p : SkinManifest()) {
                if (!LoadSkinBitmap(p.id).isNull()) ++loaded;
                if (!ReadSkinResource(p.id).isNull()) ++loaded;
            }
            std::ifstream maps("/proc/self/maps");
            std::string line;
            bool plugin = false;
            while (std::getline(maps, line)) plugin = plugin || line.find("/imageformats/") != std::string::npos;
            std::exit(loaded > 0 && !plugin ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SkinPictures, PureBlackAppearsOnlyWhereBlackIsTheKey) {
    for (const SkinPicture& p : SkinManifest()) {
        if (p.kind == SkinKind::Mask || (p.kind == SkinKind::Bmp && p.key == SkinKey::Black)) continue;
        const QImage image = LoadSkinBitmap(p.id).convertToFormat(QImage::Format_ARGB32);
        int black = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                if (qAlpha(c) >= 128 && qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 0) ++black;
            }
        EXPECT_EQ(black, 0) << p.id;
    }
}

TEST(SkinPictures, StripsHoldFourDifferentFrames) {
    for (const int id : kStrips) {
        const QImage strip = LoadSkinBitmap(id);
        ASSERT_FALSE(strip.isNull()) << id;
        ASSERT_EQ(strip.width() % 4, 0) << id;
        const int w = strip.width() / 4;
        std::set<QByteArray> frames;
        for (int i = 0; i < 4; ++i) {
            const QImage frame = strip.copy(i * w, 0, w, strip.height());
            bool drawn = false;
            for (int y = 0; y < frame.height() && !drawn; ++y)
                for (int x = 0; x < frame.width() && !drawn; ++x) drawn = frame.pixel(x, y) != qRgb(0, 0, 0);
            EXPECT_TRUE(drawn) << id << " frame " << i;
            frames.insert(QByteArray(reinterpret_cast<const char*>(frame.constBits()), int(frame.sizeInBytes())));
        }
        EXPECT_EQ(frames.size(), 4u) << id;
    }
}

TEST(SkinPictures, TheNeedleMaskCoversTheNeedle) {
    const QImage needle = LoadSkinBitmap(312);
    const QImage mask = LoadSkinBitmap(313);
    ASSERT_FALSE(needle.isNull());
    ASSERT_FALSE(mask.isNull());
    int covered = 0;
    for (int y = 0; y < needle.height(); ++y)
        for (int x = 0; x < needle.width(); ++x) {
            const bool in = qGray(mask.pixel(x, y)) >= 128;
            const bool drawn = needle.pixel(x, y) != qRgb(0, 0, 0);  // black is the needle's key
            EXPECT_EQ(in, drawn) << x << "," << y;
            covered += in;
        }
    EXPECT_GT(covered, 22 * 106 / 10);
}

}  // namespace
}  // namespace orv
