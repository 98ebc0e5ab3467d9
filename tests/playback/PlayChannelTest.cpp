#include "playback/PlayChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "fixtures/CardBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/base/WindowDpi.h"
#include "playback/ChannelFixture.h"
#include "playback/FakeEngine.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;
using playback_test::ChannelTest;
using playback_test::FakeEngine;

fx::DataBlock BlockOf(int records) {
    fx::DataBlock block;
    block.records.resize(std::size_t(records));
    return block;
}

// A data file in a card folder; returns its path.
std::string AddDataFile(fx::CardBuilder& card, int records) {
    fx::RecordingSpec params;
    params.layout = -1;
    params.data = BlockOf(records);
    card.AddRecording(params);
    return card.PathsFor(params).data;
}

TEST(PlayChannelLife, TermOnANeverInitialisedRecordIsHarmless) {
    auto channel = std::make_unique<sPLAYCHANNEL>();
    EXPECT_EQ(TermChannel(*channel), 1);
    EXPECT_EQ(channel->playState, PLAY_CLOSED);
    EXPECT_FALSE(channel->overlayFont);
    EXPECT_FALSE(channel->listGpsTrack);
    EXPECT_EQ(TermChannel(*channel), 1);
}

TEST(PlayChannelLife, InitSetsTheChannelUpWithAllThreeScanners) {
    fx::TempDir dir;
    fx::CardBuilder card(dir.Path());
    const std::string dataPath = AddDataFile(card, 3);

    auto channel = std::make_unique<sPLAYCHANNEL>();
    channel->speedStep = 4;
    channel->keepAspect = 0;
    channel->currentFrame = 99;
    ASSERT_EQ(InitChannel(*channel, 0, "メイリオ"), 1);
    EXPECT_EQ(channel->speedStep, 1);
    EXPECT_EQ(channel->keepAspect, 1);
    EXPECT_EQ(channel->playState, PLAY_CLOSED);
    EXPECT_EQ(channel->currentFrame, 0);
    EXPECT_EQ(channel->owner, HWND(0));
    EXPECT_FALSE(channel->overlayFont) << "no owner window, no font";
    // Every scanner can read a data file, the staging one included.
    for (sMOVIESCANNER& scanner : channel->scanners) {
        ASSERT_TRUE(scanner.ReadDataFile(dataPath));
        EXPECT_EQ(scanner.gps.size(), 3u);
    }
    EXPECT_EQ(TermChannel(*channel), 1);
    for (sMOVIESCANNER& scanner : channel->scanners) {
        EXPECT_TRUE(scanner.gps.empty());
        EXPECT_FALSE(scanner.ReadDataFile(dataPath)) << "terminated scanners do not search";
    }
}

TEST(PlayChannelLife, ScannersCountChannelOnesFramesThroughSlot22) {
    FakeEngine engine;
    engine.results["GetFrameCount#1"] = 7;
    g_aPlayChannel[0].engine = &engine;
    auto rear = std::make_unique<sPLAYCHANNEL>();
    ASSERT_EQ(InitChannel(*rear, 0, ""), 1);
    sMOVIESCANNER& staging = rear->scanners[kStagingScanner];
    staging.frameInterval = 100.0f;
    staging.sensor.resize(2);
    staging.gps.resize(2);
    staging.obd.resize(2);
    ASSERT_TRUE(staging.BuildFrameTable());
    EXPECT_EQ(staging.frameTable.size(), 7u);
    EXPECT_EQ(engine.Last(), "GetFrameCount#1()");
    TermChannel(*rear);
    g_aPlayChannel[0].engine = nullptr;
}

int Dpi144(HWND) { return 144; }
int WindowGone(HWND) { return 0; }

TEST(PlayChannelLife, OverlayFontFollowsTheOwnersScreen) {
    auto channel = std::make_unique<sPLAYCHANNEL>();
    ASSERT_EQ(InitChannel(*channel, 5, "メイリオ"), 1);
    ASSERT_TRUE(channel->overlayFont);
    EXPECT_EQ(channel->overlayFont->face, "メイリオ");
    EXPECT_EQ(channel->overlayFont->height, -56) << "42 points at 96 dpi";
    EXPECT_EQ(channel->overlayFont->weight, 700);

    SetWindowDpiProvider(Dpi144);
    ASSERT_EQ(InitChannel(*channel, 5, "メイリオ"), 1);
    ASSERT_TRUE(channel->overlayFont);
    EXPECT_EQ(channel->overlayFont->height, -84);

    SetWindowDpiProvider(WindowGone);
    ASSERT_EQ(InitChannel(*channel, 5, "メイリオ"), 1);
    EXPECT_FALSE(channel->overlayFont);
    SetWindowDpiProvider(nullptr);

    // A face holds 31 characters; a longer name is cut between characters.
    std::string longFace;
    for (int i = 0; i < 40; ++i) longFace += "あ";
    ASSERT_EQ(InitChannel(*channel, 5, longFace), 1);
    ASSERT_TRUE(channel->overlayFont);
    EXPECT_EQ(channel->overlayFont->face.size(), 31u * 3);
    TermChannel(*channel);
    EXPECT_FALSE(channel->overlayFont);
}

TEST(PlayChannelLife, SecondInitClosesTheMovieAndMakesEverythingNew) {
    FakeEngine engine;
    auto channel = std::make_unique<sPLAYCHANNEL>();
    channel->engine = &engine;
    ASSERT_EQ(InitChannel(*channel, 3, "A"), 1);
    ASSERT_EQ(kPlayerDriverOperations.OpenMovie(*channel, "movie.MOV"), 1);
    ASSERT_EQ(kPlayerDriverOperations.PlayMovie(*channel), 1);
    channel->listGpsTrack = std::make_unique<std::vector<sGPSRECORD>>(4);
    channel->scanners[kActiveScanner].gps.resize(2);
    channel->speedStep = 2;
    engine.calls.clear();

    ASSERT_EQ(InitChannel(*channel, 4, "B"), 1);
    ASSERT_FALSE(engine.calls.empty());
    EXPECT_EQ(engine.calls.front(), "CloseMovie#0()");
    EXPECT_EQ(channel->playState, PLAY_CLOSED);
    EXPECT_FALSE(channel->listGpsTrack);
    EXPECT_TRUE(channel->scanners[kActiveScanner].gps.empty());
    EXPECT_EQ(channel->speedStep, 1);
    EXPECT_EQ(channel->owner, HWND(4));
    ASSERT_TRUE(channel->overlayFont);
    EXPECT_EQ(channel->overlayFont->face, "B");
    TermChannel(*channel);
}

TEST_F(ChannelTest, PlayStateFollowsTheTable) {
    sPLAYCHANNEL& c = g_aPlayChannel[0];
    const PlayerDriverTable& t = g_aPlayerDriverTable[0];
    EXPECT_EQ(c.playState, PLAY_CLOSED);

    // OpenMovie: only 1 opens.
    engine.results["OpenMovie"] = 2;
    EXPECT_EQ(t.OpenMovie(c, "m.MOV"), 2);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
    engine.results["OpenMovie"] = 0;
    EXPECT_EQ(t.OpenMovie(c, "m.MOV"), 0);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
    engine.results["OpenMovie"] = 1;
    EXPECT_EQ(t.OpenMovie(c, "m.MOV"), 1);
    EXPECT_EQ(c.playState, PLAY_STOPPED);

    // Play, pause, stop with a player; the state asked for again does nothing.
    EXPECT_EQ(t.PlayMovie(c), 1);
    EXPECT_EQ(c.playState, PLAY_PLAYING);
    engine.calls.clear();
    EXPECT_EQ(t.PlayMovie(c), 1);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(t.PauseMovie(c), 1);
    EXPECT_EQ(c.playState, PLAY_PAUSED);
    engine.calls.clear();
    EXPECT_EQ(t.PauseMovie(c), 1);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(t.StopMovie(c), 1);
    EXPECT_EQ(c.playState, PLAY_STOPPED);
    engine.calls.clear();
    EXPECT_EQ(t.StopMovie(c), 1);
    EXPECT_TRUE(engine.calls.empty());

    // A player that is not ready refuses (0) and the state stays.
    engine.results["PlayMovie"] = 0;
    EXPECT_EQ(t.PlayMovie(c), 0);
    EXPECT_EQ(c.playState, PLAY_STOPPED);
    engine.results.erase("PlayMovie");

    // Without a player nothing moves.
    engine.player = false;
    EXPECT_EQ(t.PlayMovie(c), 1);
    EXPECT_EQ(c.playState, PLAY_STOPPED);
    engine.player = true;

    // Seeking keeps the state; closing, terminating and initialising close.
    EXPECT_EQ(t.PlayMovie(c), 1);
    EXPECT_EQ(t.SeekToFrame(c, 10), 1);
    EXPECT_EQ(c.playState, PLAY_PLAYING);
    EXPECT_EQ(t.CloseMovie(c), 1);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
    ASSERT_EQ(t.OpenMovie(c, "m.MOV"), 1);
    ASSERT_EQ(t.PauseMovie(c), 1);
    EXPECT_EQ(t.TermChannel(c), 1);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
    ASSERT_EQ(t.InitChannel(c, 0, ""), 1);
    ASSERT_EQ(t.OpenMovie(c, "m.MOV"), 1);
    ASSERT_EQ(t.PlayMovie(c), 1);
    ASSERT_EQ(t.InitChannel(c, 0, ""), 1);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
}

#define SLOT(name, number) \
    EXPECT_EQ(offsetof(PlayerDriverTable, name), std::size_t(number) * sizeof(void (*)())) << #name

TEST(PlayerDriverTableLayout, HoldsTheThirtyFourSlotsInOrder) {
    EXPECT_EQ(sizeof(PlayerDriverTable), 34 * sizeof(void (*)()));
    SLOT(InitChannel, 0);
    SLOT(TermChannel, 1);
    SLOT(CheckMovieFile, 2);
    SLOT(OpenMovie, 3);
    SLOT(CloseMovie, 4);
    SLOT(LoadRecorderData, 5);
    SLOT(ResetRecorderData, 6);
    SLOT(PlayMovie, 7);
    SLOT(SeekWhilePlaying, 8);
    SLOT(PauseMovie, 9);
    SLOT(StopMovie, 10);
    SLOT(GetCurrentFrame, 11);
    SLOT(SeekToFrame, 12);
    SLOT(LocateFrame, 13);
    SLOT(SetDecodeOption, 14);
    SLOT(Empty15, 15);
    SLOT(SetHardwareDecode, 16);
    SLOT(Empty17, 17);
    SLOT(SetPlaybackSpeed, 18);
    SLOT(SetTrickMode, 19);
    SLOT(SetKeepAspect, 20);
    SLOT(GetFrameCount, 21);
    SLOT(GetFrameCount2, 22);
    SLOT(GetFirstFrame, 23);
    SLOT(GetFrameInterval, 24);
    SLOT(GetVideoSize, 25);
    SLOT(SetVolume, 26);
    SLOT(ShowOverlayText, 27);
    SLOT(ClearOverlay, 28);
    SLOT(SetVideoFlip, 29);
    SLOT(SetView, 30);
    SLOT(SaveSnapshot, 31);
    SLOT(RefreshFrame, 32);
    SLOT(RepaintVideo, 33);

    // Every slot is filled, both tables alike, and slot 22 is slot 21's operation.
    for (const PlayerDriverTable& table : g_aPlayerDriverTable) {
        const auto* slots = reinterpret_cast<const unsigned char*>(&table);
        const auto* operations = reinterpret_cast<const unsigned char*>(&kPlayerDriverOperations);
        EXPECT_TRUE(std::equal(slots, slots + sizeof table, operations));
    }
    EXPECT_EQ(kPlayerDriverOperations.GetFrameCount2, kPlayerDriverOperations.GetFrameCount);
    EXPECT_EQ(kPlayerDriverOperations.InitChannel, &InitChannel);
    EXPECT_EQ(kPlayerDriverOperations.TermChannel, &TermChannel);
}

#undef SLOT

TEST_F(ChannelTest, EngineSlotsReachTheEngineWithTheirArguments) {
    sPLAYCHANNEL& c = g_aPlayChannel[1];
    const PlayerDriverTable& t = g_aPlayerDriverTable[1];
    int width = 0, height = 0;
    t.CheckMovieFile(c, "a.MOV");
    t.OpenMovie(c, "b.MOV");
    t.LoadRecorderData(c, "c.MOV");
    t.ResetRecorderData(c);
    t.SeekWhilePlaying(c, 5);
    t.GetCurrentFrame(c);
    t.SeekToFrame(c, 1LL << 40);
    t.LocateFrame(c, 77);
    t.SetPlaybackSpeed(c, -2);
    t.SetKeepAspect(c, 0);
    t.GetFrameCount(c);
    t.GetVideoSize(c, &width, &height);
    t.SetVolume(c, 65535);
    t.ShowOverlayText(c, "12:34");
    t.ClearOverlay(c);
    t.SetVideoFlip(c, 1);
    t.SetView(c, 10, 20, -3, 4, 2.5f, 1);
    t.SaveSnapshot(c, "shot.jpg");
    t.RefreshFrame(c);
    t.RepaintVideo(c);
    t.CloseMovie(c);
    const std::vector<std::string> expected = {
        "CheckMovieFile#2(a.MOV)", "OpenMovie#2(b.MOV)", "LoadRecorderData#2(c.MOV)",
        "ResetRecorderData#2()", "SeekWhilePlaying#2(5)", "GetCurrentFrame#2()",
        "SeekToFrame#2(1099511627776)", "SeekToFrame#2(77)", "SetPlaybackSpeed#2(-2)",
        "SetKeepAspect#2(0)", "GetFrameCount#2()", "GetVideoSize#2()", "SetVolume#2(65535)",
        "ShowOverlayText#2(12:34)", "ClearOverlay#2()", "SetVideoFlip#2(1)", "SetView#2(10,20,-3,4,2.5,1)",
        "SaveSnapshot#2(shot.jpg)", "RefreshFrame#2()", "RepaintVideo#2()", "CloseMovie#2()",
    };
    EXPECT_EQ(engine.calls, expected);
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
}

TEST_F(ChannelTest, Slot22GivesWhatSlot21Gives) {
    sPLAYCHANNEL& c = g_aPlayChannel[0];
    const PlayerDriverTable& t = g_aPlayerDriverTable[0];
    engine.results["GetFrameCount"] = 5'000'000'000LL;
    EXPECT_EQ(t.GetFrameCount(c), 5'000'000'000LL);
    EXPECT_EQ(t.GetFrameCount2(c), t.GetFrameCount(c));
    engine.results["GetFrameCount"] = -1;
    EXPECT_EQ(t.GetFrameCount2(c), -1);
    EXPECT_EQ(t.GetFrameCount(c), -1);
}

TEST_F(ChannelTest, ChannelSlotsKeepTheirFieldsAndEmptySlotsDoNothing) {
    sPLAYCHANNEL& c = g_aPlayChannel[0];
    const PlayerDriverTable& t = g_aPlayerDriverTable[0];
    t.SetDecodeOption(c, 1);
    t.SetHardwareDecode(c, 1);
    EXPECT_EQ(c.decodeOption, 1);
    EXPECT_EQ(c.hardwareDecode, 1);

    EXPECT_EQ(t.SetTrickMode(c, 2), 0) << "no frame interval";
    EXPECT_EQ(c.trickMode, 0);
    c.frameInterval = 33.3f;
    EXPECT_EQ(t.SetTrickMode(c, 2), 1);
    EXPECT_EQ(c.trickMode, 2);
    EXPECT_FLOAT_EQ(t.GetFrameInterval(c), 33.3f);
    EXPECT_EQ(t.GetFirstFrame(c), 0);

    c.volume = 100;
    c.speedStep = 2;
    c.zoomFactor = 1.5f;
    t.Empty15(c);
    t.Empty17(c);
    EXPECT_EQ(c.volume, 100);
    EXPECT_EQ(c.speedStep, 2);
    EXPECT_EQ(c.zoomFactor, 1.5f);
    EXPECT_EQ(c.decodeOption, 1);
    EXPECT_EQ(c.hardwareDecode, 1);
    EXPECT_EQ(c.trickMode, 2);
    EXPECT_EQ(c.playState, PLAY_CLOSED);
    EXPECT_TRUE(engine.calls.empty()) << "the channel's own slots never reach the engine";
}

TEST(NullEngine, TransportOnAChannelWithoutAMovieHasNoEffect) {
    fx::TempDir dir;
    fx::CardBuilder card(dir.Path());
    const std::string movie = card.AddStubMovie("m.MOV", 4096);
    const std::string tiny = card.AddStubMovie("t.MOV", 200);

    sPLAYCHANNEL& c = g_aPlayChannel[0];
    const PlayerDriverTable& t = g_aPlayerDriverTable[0];
    ASSERT_EQ(t.InitChannel(c, 0, ""), 1);
    c.volume = 300;
    EXPECT_EQ(t.CheckMovieFile(c, movie), 1);
    EXPECT_EQ(t.CheckMovieFile(c, tiny), 0) << "shorter than 260 bytes";
    EXPECT_EQ(t.OpenMovie(c, movie), 0);
    EXPECT_EQ(t.PlayMovie(c), 1);
    EXPECT_EQ(t.PauseMovie(c), 1);
    EXPECT_EQ(t.StopMovie(c), 1);
    EXPECT_EQ(t.SeekToFrame(c, 40), 1);
    EXPECT_EQ(t.LocateFrame(c, 40), 1);
    EXPECT_EQ(t.SeekWhilePlaying(c, 40), 1);
    EXPECT_EQ(t.GetCurrentFrame(c), 0);
    EXPECT_EQ(t.GetFrameCount(c), 0);
    EXPECT_EQ(t.SetPlaybackSpeed(c, 4), 1);
    EXPECT_EQ(t.SetVolume(c, 0), 1);
    int width = -7, height = -7;
    EXPECT_EQ(t.GetVideoSize(c, &width, &height), 0);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(t.ShowOverlayText(c, "x"), 0);
    EXPECT_EQ(t.SetView(c, 1, 1, 0, 0, 2.0f, 1), 0);
    EXPECT_EQ(t.SaveSnapshot(c, dir.Path() + "/shot.jpg"), 0);
    EXPECT_EQ(t.RefreshFrame(c), 0);
    EXPECT_EQ(t.LoadRecorderData(c, movie), 0);
    EXPECT_EQ(t.SetKeepAspect(c, 0), 1);
    EXPECT_EQ(c.keepAspect, 0);

    EXPECT_EQ(c.playState, PLAY_CLOSED);
    EXPECT_EQ(c.speedStep, 1);
    EXPECT_EQ(c.volume, 300);
    EXPECT_EQ(c.currentFrame, 0);
    EXPECT_EQ(t.CloseMovie(c), 1);
    EXPECT_EQ(t.TermChannel(c), 1);
}

}  // namespace
}  // namespace orv
