// Both process-wide channels on the real engine, as the main window sets them up: channel 1
// with a video surface, channel 2 without a window. The surface's client size is the test's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QImage>

#include "playback/PlayChannel.h"
#include "playback/engine/ChannelEngineImpl.h"

namespace orv::enginetest {

using namespace std::chrono_literals;

// A channel's video surface: the messages posted to it and the last picture presented to it.
class VideoSurface {
public:
    VideoSurface();
    ~VideoSurface();
    VideoSurface(const VideoSurface&) = delete;
    VideoSurface& operator=(const VideoSurface&) = delete;

    HWND Handle() const { return handle_; }
    int Count(unsigned message);
    // Waits until the picture on screen, or one presented after it, shows the frame number (a
    // stripe movie), however late this thread gets to look; false on time-out.
    bool WaitForNumber(int number, std::chrono::milliseconds timeout = 60s);
    // Waits for a picture of that frame number or a later one (a playing movie's pictures
    // may follow each other faster than a busy machine wakes the waiting thread).
    bool WaitForNumberFrom(int number, std::chrono::milliseconds timeout = 60s);
    // Waits for a picture presented after this call that satisfies nothing more.
    bool WaitForNewPicture(std::chrono::milliseconds timeout = 60s);
    // How many pictures were presented so far; with it, waits for one of the number among
    // those presented from then on.
    std::size_t Presented();
    bool WaitForNumberSince(std::size_t presented, int number, std::chrono::milliseconds timeout = 60s);
    // The numbers of the pictures presented from then on, in order.
    std::vector<int> NumbersSince(std::size_t presented);
    QImage LastPicture();
    RECT LastDestination();
    // The client size the surface tells the presenter from now on (none at first).
    void TellSize(std::function<SIZE()> size);
    // Waits for a picture on screen of that size, shown in that rectangle.
    bool WaitForShown(QSize size, RECT destination, std::chrono::milliseconds timeout = 60s);

private:
    HWND handle_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    int messages_[2] = {0, 0};  // WM_APP_PLAYER_READY, WM_APP_PLAYER_ENDED
    long pictures_ = 0;
    std::vector<int> numbers_;  // of every picture presented, in order (-1: not a stripe picture)
    QImage last_;
    RECT destination_{};
    std::function<SIZE()> size_;
};

class ChannelOpsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static PlayerDriverTable& Slots(int index) { return g_aPlayerDriverTable[index]; }
    static sPLAYCHANNEL& Channel(int index) { return g_aPlayChannel[index]; }
    // Opens the movie on the channel through slot 3 and waits until it is ready; false (with
    // a test failure) when it did not get there.
    bool OpenReady(int index, const std::string& path);
    // Waits until the channel's player answers the picture size (its topology is ready).
    static bool WaitReady(int index, std::chrono::milliseconds timeout = 60s);
    ComPtr<CPlayer> Player(int index) { return engine_->PlayerOf(Channel(index)); }

    RECT client_{0, 0, 320, 240};  // the surface's client area
    VideoSurface surface_;
    // Channel 2's surface, given to it only when a test sets rearWindow_ before SetUp.
    bool rearWindow_ = false;
    VideoSurface rearSurface_;
    std::unique_ptr<ChannelEngineImpl> engine_;
};

}  // namespace orv::enginetest
