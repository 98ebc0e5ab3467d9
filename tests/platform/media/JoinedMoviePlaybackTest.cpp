// A joined movie's sound as the engine's demuxer and sound decoder hand it to the audio
// renderer, which plays the chunks one behind the other from the first one's time: each
// joined movie's tone must reach it where that movie's picture starts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "fixtures/ToneTrack.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/Demuxer.h"
#include "recorder/MovieJoin.h"

namespace orv {
namespace {

TEST(JoinedMoviePlayback, EachMoviesSoundReachesTheRendererWithItsPicture) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    fixtures::TempDir dir;
    const struct {
        int frames;  // at 30 a second
        int toneHz;
    } movies[] = {{30, 400}, {21, 1000}, {39, 2200}};
    constexpr int kRate = 48000, kFrame = 1024, kSamplesPerPicture = kRate / 30;
    std::vector<int> tones;
    std::vector<std::int64_t> joints;  // in samples
    sMOVIEJOIN join;
    int pictures = 0;
    for (const auto& m : movies) {
        fixtures::MovieSpec params;
        params.seconds = m.frames / 30.0;
        params.toneHz = m.toneHz;
        params.frameNumber = false;
        const std::string path = dir.Path() + "/tone" + std::to_string(m.toneHz) + ".mp4";
        ASSERT_TRUE(fixtures::MakeMovie(params, path, nullptr));
        ASSERT_TRUE(tones.empty() ? BeginJoin(join, path) : AppendMovieToJoin(join, path)) << join.error;
        if (!tones.empty()) joints.push_back(std::int64_t(pictures) * kSamplesPerPicture);
        tones.push_back(m.toneHz);
        pictures += m.frames;
    }
    const std::string output = dir.Path() + "/joined.mp4";
    ASSERT_TRUE(WriteJoinedMovie(join, output)) << join.error;
    FreeJoin(join);

    std::unique_ptr<Demuxer> demuxer;
    ASSERT_EQ(Demuxer::Open(output, &demuxer), S_OK);
    const int stream = av_find_best_stream(const_cast<AVFormatContext*>(demuxer->Format()), AVMEDIA_TYPE_AUDIO,
                                           -1, -1, nullptr, 0);
    ASSERT_GE(stream, 0);
    std::unique_ptr<AudioDecoder> decoder;
    ASSERT_EQ(AudioDecoder::Open(demuxer->Format()->streams[stream], demuxer->StartTime(), &decoder), S_OK);
    ASSERT_EQ(decoder->SampleRate(), kRate);

    // What the renderer plays: every chunk's samples in order. Each chunk's time stamp must
    // agree with where it is played, within a frame (no chunk laps over the one before).
    std::vector<std::int16_t> played;
    AudioChunk chunk;
    auto take = [&] {
        while (decoder->Receive(&chunk) == 0) {
            const double at = double(chunk.time) * kRate / 1e7;
            EXPECT_NEAR(at, double(played.size()), kFrame) << "chunk at " << chunk.time;
            for (std::size_t i = 0; i < chunk.samples.size(); i += std::size_t(decoder->Channels()))
                played.push_back(chunk.samples[i]);
        }
    };
    PacketPtr packet = MakePacket();
    while (demuxer->ReadPacket(packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            decoder->Send(packet.get());
            take();
        }
        av_packet_unref(packet.get());
    }
    decoder->Send(nullptr);
    take();

    const auto changes = fixtures::ToneChanges(played, kRate, tones);
    ASSERT_EQ(changes.size(), joints.size());
    for (std::size_t j = 0; j < joints.size(); ++j)
        EXPECT_NEAR(double(changes[j]), double(joints[j]), kFrame) << "joint " << j + 1;
}

}  // namespace
}  // namespace orv
