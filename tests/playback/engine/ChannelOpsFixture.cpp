#include "ChannelOpsFixture.h"

#include <algorithm>
#include <thread>

#include "StripeMovie.h"
#include "platform/media/VideoFrameSink.h"

namespace orv::enginetest {

VideoSurface::VideoSurface() {
    handle_ = RegisterAppWindow([this](unsigned message, WPARAM, LPARAM) {
        {
            std::lock_guard lock(mutex_);
            if (message == WM_APP_PLAYER_READY) ++messages_[0];
            if (message == WM_APP_PLAYER_ENDED) ++messages_[1];
        }
        wake_.notify_all();
    });
    SetVideoFrameSink(handle_, [this](const QImage& frame, const RECT& destination) {
        const int number = mediatest::ReadStripeNumber(frame);
        {
            std::lock_guard lock(mutex_);
            numbers_.push_back(number);
            last_ = frame;
            destination_ = destination;
            ++pictures_;
        }
        wake_.notify_all();
    }, [this] {
        std::lock_guard lock(mutex_);
        return size_ ? size_() : SIZE{};
    });
}

void VideoSurface::TellSize(std::function<SIZE()> size) {
    std::lock_guard lock(mutex_);
    size_ = std::move(size);
}

bool VideoSurface::WaitForShown(QSize size, RECT destination, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [&] { return last_.size() == size && destination_ == destination; });
}

VideoSurface::~VideoSurface() {
    SetVideoFrameSink(handle_, nullptr);
    UnregisterAppWindow(handle_);
}

int VideoSurface::Count(unsigned message) {
    std::lock_guard lock(mutex_);
    return message == WM_APP_PLAYER_READY ? messages_[0] : message == WM_APP_PLAYER_ENDED ? messages_[1] : 0;
}

bool VideoSurface::WaitForNumber(int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const std::size_t from = numbers_.empty() ? 0 : numbers_.size() - 1;
    return wake_.wait_for(lock, timeout, [&] {
        return std::find(numbers_.begin() + std::ptrdiff_t(from), numbers_.end(), number) != numbers_.end();
    });
}

bool VideoSurface::WaitForNumberFrom(int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [&] { return !last_.isNull() && mediatest::ReadStripeNumber(last_) >= number; });
}

bool VideoSurface::WaitForNewPicture(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const long seen = pictures_;
    return wake_.wait_for(lock, timeout, [&] { return pictures_ > seen; });
}

std::size_t VideoSurface::Presented() {
    std::lock_guard lock(mutex_);
    return numbers_.size();
}

bool VideoSurface::WaitForNumberSince(std::size_t presented, int number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [&] {
        return numbers_.size() > presented &&
               std::find(numbers_.begin() + std::ptrdiff_t(presented), numbers_.end(), number) != numbers_.end();
    });
}

std::vector<int> VideoSurface::NumbersSince(std::size_t presented) {
    std::lock_guard lock(mutex_);
    return numbers_.size() > presented ? std::vector<int>(numbers_.begin() + std::ptrdiff_t(presented), numbers_.end())
                                       : std::vector<int>();
}

QImage VideoSurface::LastPicture() {
    std::lock_guard lock(mutex_);
    return last_;
}

RECT VideoSurface::LastDestination() {
    std::lock_guard lock(mutex_);
    return destination_;
}

void ChannelOpsTest::SetUp() {
    engine_ = std::make_unique<ChannelEngineImpl>([this](HWND window, RECT* client) {
        if (window != surface_.Handle()) return false;
        *client = client_;
        return true;
    });
    const HWND owners[kChannelCount] = {surface_.Handle(), rearWindow_ ? rearSurface_.Handle() : 0};
    for (int i = 0; i < kChannelCount; ++i) {
        Channel(i).engine = engine_.get();
        ASSERT_EQ(Slots(i).InitChannel(Channel(i), owners[i], "メイリオ"), 1);
        Channel(i).initialised = 1;
        Channel(i).zoomFactor = 1.0f;  // as the main window's view block starts
        Channel(i).volume = 0;
        Channel(i).rearOpened = 0;
    }
}

void ChannelOpsTest::TearDown() {
    for (int i = kChannelCount - 1; i >= 0; --i) {
        Slots(i).CloseMovie(Channel(i));
        Channel(i).initialised = 0;
        Slots(i).TermChannel(Channel(i));
        Channel(i).engine = nullptr;
    }
    engine_.reset();
}

bool ChannelOpsTest::OpenReady(int index, const std::string& path) {
    EXPECT_FALSE(path.empty());
    const int opened = Slots(index).OpenMovie(Channel(index), path);
    EXPECT_EQ(opened, 1) << path;
    const bool ready = opened == 1 && WaitReady(index);
    EXPECT_TRUE(ready) << path;
    return ready;
}

bool ChannelOpsTest::WaitReady(int index, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    int width = 0, height = 0;
    while (!Slots(index).GetVideoSize(Channel(index), &width, &height)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

}  // namespace orv::enginetest
