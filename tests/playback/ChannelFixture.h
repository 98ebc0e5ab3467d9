// Both process-wide channels set up with a fake engine for each test, and ended after it.
#pragma once

#include <gtest/gtest.h>

#include "playback/FakeEngine.h"
#include "playback/PlayChannel.h"

namespace orv::playback_test {

// Both channels initialised on `engine`, with nothing open and nothing known of a movie.
inline void StartChannels(ChannelEngine& engine) {
    for (sPLAYCHANNEL& channel : g_aPlayChannel) {
        channel.engine = &engine;
        ASSERT_EQ(InitChannel(channel, 0, "メイリオ"), 1);
        channel.initialised = 1;
        channel.frameInterval = 0.0f;
        channel.canPlayBackwards = 0;
        channel.dataLoaded = 0;
        channel.rearOpened = 0;
    }
}

inline void EndChannels() {
    for (sPLAYCHANNEL& channel : g_aPlayChannel) {
        channel.initialised = 0;
        TermChannel(channel);
        channel.engine = nullptr;
    }
}

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartChannels(engine);
        engine.calls.clear();
    }

    void TearDown() override { EndChannels(); }

    FakeEngine engine;
};

}  // namespace orv::playback_test
