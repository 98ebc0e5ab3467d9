#include "recorder/Mp4MovieInfo.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/DataBlockWriter.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/base/PathUtil.h"
#include "BoxBytes.h"

namespace orv {
namespace {

using test::Be16;
using test::Be32;
using test::Be64;
using test::Box;
using test::Bytes;
using test::Cat;
using test::Text;

// Version 0 movie header: times, time scale, duration, then fields no reader needs.
Bytes Mvhd(std::uint32_t timeScale, std::uint32_t duration) {
    return Box("mvhd", Cat({Bytes(12, 0), Be32(timeScale), Be32(duration), Bytes(80, 0)}));
}

Bytes Hdlr(const char* handler) {
    return Box("hdlr", Cat({Bytes(8, 0), Text(handler), Bytes(12, 0), {0}}));
}

// A sample description with one visual entry of 86 bytes.
Bytes VisualStsd(std::uint16_t width, std::uint16_t height) {
    const Bytes entry = Cat({Be32(86), Text("avc1"), Bytes(6, 0), Be16(1), Bytes(16, 0),
                             Be16(width), Be16(height), Bytes(50, 0)});
    return Box("stsd", Cat({Be32(0), Be32(1), entry}));
}

Bytes AudioStsd() {
    const Bytes entry = Cat({Be32(36), Text("mp4a"), Bytes(6, 0), Be16(1), Bytes(8, 0), Be16(2),
                             Be16(16), Bytes(4, 0), Be32(48000u << 16)});
    return Box("stsd", Cat({Be32(0), Be32(1), entry}));
}

Bytes Stts(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries,
           int extraCount = 0) {
    Bytes b = Cat({Be32(0), Be32(std::uint32_t(entries.size() + extraCount))});
    for (const auto& [count, delta] : entries)
        b = Cat({b, Be32(count), Be32(delta)});
    return Box("stts", b);
}

Bytes Track(const char* handler, const Bytes& stsd, const Bytes& stts) {
    const Bytes minf = Box("minf", Cat({Box(handler[0] == 'v' ? "vmhd" : "smhd", Bytes(12, 0)),
                                        Box("stbl", Cat({stsd, stts}))}));
    return Box("trak", Cat({Box("tkhd", Bytes(84, 0)),
                            Box("mdia", Cat({Box("mdhd", Bytes(24, 0)), Hdlr(handler), minf}))}));
}

const Bytes kFtyp = Box("ftyp", Cat({Text("isom"), Be32(0x200), Text("isomiso2avc1mp41")}));

class Mp4MovieInfoTest : public testing::Test {
protected:
    std::unique_ptr<sMP4MOVIE> Open(const Bytes& moovPayload) {
        const std::string path =
            Write(Cat({kFtyp, Box("moov", moovPayload), Box("mdat", Bytes(300, 0))}));
        return OpenMovieBoxes(path, true, false, 0);
    }
    std::string Write(const Bytes& bytes) {
        const std::string path = PathAppend(dir_.Path(), "m" + std::to_string(++files_) + ".mp4");
        EXPECT_TRUE(fixtures::WriteFileBytes(path, bytes));
        return path;
    }

    fixtures::TempDir dir_;
    int files_ = 0;
};

TEST_F(Mp4MovieInfoTest, AnMp4FileHasFtypAndAtLeast260Bytes) {
    const Bytes head = Box("ftyp", Cat({Text("isom"), Be32(0x200), Text("isom")}));
    EXPECT_TRUE(IsMp4File(Write(Cat({head, Box("free", Bytes(260 - head.size() - 8, 0))}))));
    EXPECT_FALSE(IsMp4File(Write(Cat({head, Box("free", Bytes(200 - head.size() - 8, 0))}))));
    EXPECT_FALSE(IsMp4File(Write(Cat({Box("moov", Box("mvhd", Bytes(100, 0))), Bytes(300, 0)}))));
    EXPECT_FALSE(IsMp4File(Write({})));
    EXPECT_FALSE(IsMp4File(PathAppend(dir_.Path(), "missing.mp4")));
    EXPECT_FALSE(IsMp4File(dir_.Path()));
}

TEST_F(Mp4MovieInfoTest, ValuesComeFromTheVideoTrackWhereverItStands) {
    const Bytes audio = Track("soun", AudioStsd(), Stts({{100, 1024}}));
    const Bytes video = Track("vide", VisualStsd(640, 480), Stts({{10, 100}, {5, 100}}));
    for (const bool videoFirst : {true, false}) {
        SCOPED_TRACE(videoFirst ? "video first" : "audio first");
        const auto movie =
            Open(Cat({Mvhd(1000, 500), videoFirst ? video : audio, videoFirst ? audio : video}));
        ASSERT_TRUE(movie);
        EXPECT_EQ(GetVideoSize(*movie), (SIZE{640, 480}));
        EXPECT_EQ(GetFrameCount(*movie), 15);
        EXPECT_FLOAT_EQ(GetFrameRate(*movie), 30.0f);
    }
}

TEST_F(Mp4MovieInfoTest, MissingOrShortBoxesGiveMinusOne) {
    const Bytes audio = Track("soun", AudioStsd(), Stts({{100, 1024}}));
    auto movie = Open(Cat({Mvhd(1000, 500), audio}));
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{-1, -1}));
    EXPECT_EQ(GetFrameCount(*movie), -1);
    EXPECT_EQ(GetFrameRate(*movie), -1.0f);

    // A sample description cut before the picture size; a table that counts more entries
    // than it holds.
    const Bytes shortStsd =
        Box("stsd", Cat({Be32(0), Be32(1), Be32(86), Text("avc1"), Bytes(20, 0)}));
    movie = Open(Cat({Mvhd(1000, 500), Track("vide", shortStsd, Stts({{10, 100}}, 1))}));
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{-1, -1}));
    EXPECT_EQ(GetFrameCount(*movie), -1);
    EXPECT_EQ(GetFrameRate(*movie), -1.0f);

    // An empty table has no frames; a zero duration has no rate.
    const Bytes video = Track("vide", VisualStsd(320, 240), Stts({}));
    movie = Open(Cat({Mvhd(1000, 0), video}));
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{320, 240}));
    EXPECT_EQ(GetFrameCount(*movie), 0);
    EXPECT_EQ(GetFrameRate(*movie), -1.0f);

    // Without a movie header.
    movie = Open(Track("vide", VisualStsd(320, 240), Stts({{3, 1}})));
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetFrameCount(*movie), 3);
    EXPECT_EQ(GetFrameRate(*movie), -1.0f);

    // Read without payloads, nothing can be told.
    const std::string path = Write(Cat({kFtyp, Box("moov", Cat({Mvhd(1000, 500), video}))}));
    movie = OpenMovieBoxes(path, false, false, 0);
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{-1, -1}));
    EXPECT_EQ(GetFrameRate(*movie), -1.0f);
}

TEST_F(Mp4MovieInfoTest, VersionOneMovieHeaderHas64BitTimes) {
    const Bytes mvhd1 =
        Box("mvhd", Cat({{1, 0, 0, 0}, Bytes(16, 0), Be32(600), Be64(300), Bytes(80, 0)}));
    const auto movie = Open(Cat({mvhd1, Track("vide", VisualStsd(320, 240), Stts({{15, 20}}))}));
    ASSERT_TRUE(movie);
    EXPECT_FLOAT_EQ(GetFrameRate(*movie), 30.0f);
}

class Mp4MovieInfoMadeTest : public Mp4MovieInfoTest {
protected:
    void SetUp() override {
        if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    }
    std::unique_ptr<sMP4MOVIE> Make(const fixtures::MovieSpec& params) {
        const std::string path =
            PathAppend(dir_.Path(), "made" + std::to_string(++files_) + ".mp4");
        std::string error;
        EXPECT_TRUE(fixtures::MakeMovie(params, path, &error)) << error;
        EXPECT_TRUE(IsMp4File(path));
        return OpenMovieBoxes(path, true, false, 0);
    }
};

TEST_F(Mp4MovieInfoMadeTest, SizeFramesAndRateOfMadeMovies) {
    fixtures::MovieSpec params;  // 320x240, 30 fps, 2 s, with sound
    auto movie = Make(params);
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{320, 240}));
    EXPECT_EQ(GetFrameCount(*movie), 60);
    // The movie's duration is the longer of the tracks; the sound may run a little longer.
    EXPECT_NEAR(GetFrameRate(*movie), 30.0f, 0.6f);

    params.audio = false;
    params.width = 640;
    params.height = 360;
    params.fpsNum = 15;
    movie = Make(params);
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetVideoSize(*movie), (SIZE{640, 360}));
    EXPECT_EQ(GetFrameCount(*movie), 30);
    EXPECT_NEAR(GetFrameRate(*movie), 15.0f, 0.01f);

    params.fpsNum = 30000;
    params.fpsDen = 1001;
    params.seconds = 1.0;
    movie = Make(params);
    ASSERT_TRUE(movie);
    EXPECT_EQ(GetFrameCount(*movie), 30);
    EXPECT_NEAR(GetFrameRate(*movie), 29.97f, 0.01f);
}

}  // namespace
}  // namespace orv
