// A stand-in for a channel's video surface: one window handle that records the messages posted
// to it and the pictures presented to it (with the frame number each shows), and the steps that
// open a player on it and close it again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <QImage>

#include "platform/media/MediaFoundation.h"
#include "playback/engine/CPlayer.h"

namespace orv::enginetest {

using namespace std::chrono_literals;

class PlayerWindow {
public:
    PlayerWindow();
    ~PlayerWindow();
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    HWND Handle() const { return handle_; }

    struct Message {
        unsigned id;
        WPARAM wParam;
        LPARAM lParam;
        std::chrono::steady_clock::time_point when;
    };
    // Waits for the next message with the id (later than the ones waited for before); false on
    // time-out.
    bool WaitForMessage(unsigned id, std::chrono::milliseconds timeout = 10s);
    // The same for the notice that the open with the tag is ready: a late notice of an earlier
    // open of the same player is passed over.
    bool WaitForReady(UINT64 tag, std::chrono::milliseconds timeout = 10s);
    std::vector<Message> Messages();
    int Count(unsigned id);

    struct Shown {
        int number;  // -1: not a stripe picture
        std::chrono::steady_clock::time_point when;
    };
    std::vector<Shown> Frames();
    int LastNumber();
    bool WaitForNumber(int number, std::chrono::milliseconds timeout = 10s);
    // Waits for a picture with the number or a later one.
    bool WaitForNumberFrom(int number, std::chrono::milliseconds timeout = 10s);
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout = 10s);
    void ClearFrames();

private:
    bool WaitForMessageWhere(const std::function<bool(const Message&)>& wanted, std::chrono::milliseconds timeout);

    HWND handle_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Message> messages_;
    std::size_t messageCursor_ = 0;
    std::vector<Shown> frames_;
};

// A player on the window with the movie open and ready (WM_APP_PLAYER_READY seen); null, with
// a test failure, when it did not get there.
ComPtr<CPlayer> OpenReady(const std::string& path, PlayerWindow& window);
// CloseSession and the last release; false when the close failed.
bool ClosePlayer(ComPtr<CPlayer>& player);

// The clock's time (100 ns); -1 without a clock.
LONGLONG ClockTime(CPlayer* player);
// A frame's time as the channel computes it: frame x interval (ms) x 10000 in single
// precision, truncated.
LONGLONG ChannelFrameTime(int frame, float fps);

}  // namespace orv::enginetest
