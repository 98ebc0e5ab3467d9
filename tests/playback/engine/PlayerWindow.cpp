#include "PlayerWindow.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "StripeMovie.h"
#include "platform/media/VideoFrameSink.h"

namespace orv::enginetest {

PlayerWindow::PlayerWindow() {
    handle_ = RegisterAppWindow([this](unsigned id, WPARAM wParam, LPARAM lParam) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(Message{id, wParam, lParam, std::chrono::steady_clock::now()});
        }
        cv_.notify_all();
    });
    SetVideoFrameSink(handle_, [this](const QImage& frame, const RECT&) {
        const int number = mediatest::ReadStripeNumber(frame);
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(Shown{number, std::chrono::steady_clock::now()});
        }
        cv_.notify_all();
    });
}

PlayerWindow::~PlayerWindow() {
    SetVideoFrameSink(handle_, nullptr);
    UnregisterAppWindow(handle_);
}

bool PlayerWindow::WaitForMessage(unsigned id, std::chrono::milliseconds timeout) {
    return WaitForMessageWhere([id](const Message& m) { return m.id == id; }, timeout);
}

bool PlayerWindow::WaitForReady(UINT64 tag, std::chrono::milliseconds timeout) {
    return WaitForMessageWhere(
        [tag](const Message& m) { return m.id == WM_APP_PLAYER_READY && m.wParam == WPARAM(tag); }, timeout);
}

bool PlayerWindow::WaitForMessageWhere(const std::function<bool(const Message&)>& wanted,
                                       std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        for (; messageCursor_ < messages_.size(); ++messageCursor_)
            if (wanted(messages_[messageCursor_])) {
                ++messageCursor_;
                return true;
            }
        return false;
    });
}

std::vector<PlayerWindow::Message> PlayerWindow::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

int PlayerWindow::Count(unsigned id) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (auto& m : messages_) n += m.id == id;
    return n;
}

std::vector<PlayerWindow::Shown> PlayerWindow::Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

int PlayerWindow::LastNumber() {
    std::lock_guard lock(mutex_);
    return frames_.empty() ? -1 : frames_.back().number;
}

bool PlayerWindow::WaitForNumber(int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        return std::any_of(frames_.begin(), frames_.end(), [&](const Shown& f) { return f.number == number; });
    });
}

bool PlayerWindow::WaitForNumberFrom(int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        return std::any_of(frames_.begin(), frames_.end(), [&](const Shown& f) { return f.number >= number; });
    });
}

bool PlayerWindow::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

void PlayerWindow::ClearFrames() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

ComPtr<CPlayer> OpenReady(const std::string& path, PlayerWindow& window) {
    ComPtr<CPlayer> player;
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(CPlayer::CreateInstance(window.Handle(), player.ReleaseAndGetAddressOf()), S_OK);
    if (!player) return nullptr;
    const HRESULT hr = player->OpenFile(path);
    EXPECT_EQ(hr, S_OK) << path;
    const bool ready = SUCCEEDED(hr) && window.WaitForReady(player->OpenTag());
    EXPECT_TRUE(ready) << path;
    if (!ready) {
        ClosePlayer(player);
        return nullptr;
    }
    return player;
}

bool ClosePlayer(ComPtr<CPlayer>& player) {
    const bool closed = !player || SUCCEEDED(player->CloseSession());
    player.Reset();
    return closed;
}

LONGLONG ClockTime(CPlayer* player) {
    MFTIME t = -1;
    if (auto clock = player->Clock()) clock->GetTime(&t);
    return t;
}

LONGLONG ChannelFrameTime(int frame, float fps) {
    const float interval = 1000.0f / fps;
    return LONGLONG(float(frame) * interval * 10000.0f);
}

}  // namespace orv::enginetest
