#include "BenchChannel.h"

#include <cmath>

#include "BenchFigures.h"
#include "platform/media/VideoFrameSink.h"

namespace orv::bench {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

LONGLONG FrameTime(int frame, double fps) { return LONGLONG(std::llround(double(frame) * 1e7 / fps)); }

// A seek's time as the channel computes it: frame x interval (ms) x 10000 in single precision.
LONGLONG ChannelFrameTime(int frame, double fps) {
    const float interval = float(1000.0 / fps);
    return LONGLONG(float(frame) * interval * 10000.0f);
}

}  // namespace

BenchChannel::BenchChannel(std::string path) : path_(std::move(path)) {
    window_ = RegisterAppWindow([this](unsigned id, WPARAM, LPARAM) {
        {
            std::lock_guard lock(mutex_);
            if (id == WM_APP_PLAYER_READY) ready_ = true;
            if (id == WM_APP_PLAYER_ENDED) ++ended_;
        }
        wake_.notify_all();
    });
    SetVideoFrameSink(window_, [this](const QImage& frame, const RECT&) { OnFrame(frame); });
}

BenchChannel::~BenchChannel() {
    if (player_) player_->CloseSession();
    player_.Reset();
    SetVideoFrameSink(window_, nullptr);
    UnregisterAppWindow(window_);
}

bool BenchChannel::Open(std::string* error) {
    HRESULT hr = CPlayer::CreateInstance(window_, player_.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = player_->OpenFile(path_);
    if (FAILED(hr)) {
        *error = path_ + ": cannot open (" + std::to_string(hr) + ")";
        return false;
    }
    {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, kReadyWait, [this] { return ready_; })) {
            *error = path_ + ": never ready";
            return false;
        }
    }
    // The video stream's frame rate and size, and the movie's length.
    ComPtr<IMFPresentationDescriptor> descriptor;
    if (auto source = player_->Source()) source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf());
    DWORD streams = 0;
    if (descriptor) descriptor->GetStreamDescriptorCount(&streams);
    for (DWORD i = 0; i < streams && fps_ == 0; ++i) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        ComPtr<IMFMediaType> type;
        GUID major;
        UINT32 num = 0, den = 0, w = 0, h = 0;
        if (FAILED(descriptor->GetStreamDescriptorByIndex(i, &selected, stream.ReleaseAndGetAddressOf())) ||
            FAILED(stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf())) ||
            FAILED(handler->GetMajorType(&major)) || !(major == MFMediaType_Video) ||
            FAILED(handler->GetCurrentMediaType(type.ReleaseAndGetAddressOf())) ||
            FAILED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &num, &den)) ||
            FAILED(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h)) || num == 0 || den == 0)
            continue;
        fps_ = double(num) / double(den);
        width_ = int(w);
        height_ = int(h);
    }
    UINT64 duration = 0;
    if (fps_ == 0 || FAILED(player_->GetDuration(&duration))) {
        *error = path_ + ": no video frame rate or length";
        return false;
    }
    frameCount_ = long(std::llround(double(duration) * fps_ / 1e7));
    return true;
}

void BenchChannel::OnFrame(const QImage& frame) {
    LONGLONG now = 0;
    if (auto clock = player_ ? player_->Clock() : nullptr) clock->GetTime(&now);
    std::lock_guard lock(mutex_);
    last_ = frame;
    lastWhen_ = Clock::now();
    if (measuring_) {
        const LONGLONG lag = now - FrameTime(int(presented_), fps_);
        if (lag > FrameTime(1, fps_) / 4) ++late_;
        maxLag_ = std::max(maxLag_, lag);
    }
    ++presented_;
    wake_.notify_all();
}

void BenchChannel::ReadPresenterCounts(UINT64* presented, UINT64* late) {
    *presented = *late = 0;
    auto activate = player_->PresenterActivate();
    if (auto presenter = activate ? activate->Presenter() : nullptr) presenter->GetFrameCounts(presented, late);
}

HRESULT BenchChannel::StartPlay(float rate) {
    ReadPresenterCounts(&presenterPresented_, &presenterLate_);
    {
        std::lock_guard lock(mutex_);
        measuring_ = true;
        presented_ = late_ = 0;
        maxLag_ = 0;
        ended_ = 0;
    }
    auto rates = player_->RateControl();
    if (!rates) return E_POINTER;
    HRESULT hr = rates->SetRate(rate > 2.0f, rate);
    if (SUCCEEDED(hr)) hr = player_->Play();
    return hr;
}

bool BenchChannel::WaitEnded(std::chrono::milliseconds timeout) {
    bool ended = false;
    {
        std::unique_lock lock(mutex_);
        ended = wake_.wait_for(lock, timeout, [this] { return ended_ > 0; });
        measuring_ = false;
        played_ = presented_;
    }
    UINT64 presented = 0, late = 0;
    ReadPresenterCounts(&presented, &late);
    presenterPresented_ = presented - presenterPresented_;
    presenterLate_ = late - presenterLate_;
    return ended;
}

long BenchChannel::Presented() {
    std::lock_guard lock(mutex_);
    return played_;
}

long BenchChannel::Late() {
    std::lock_guard lock(mutex_);
    return late_;
}

double BenchChannel::MaxLagMs() {
    std::lock_guard lock(mutex_);
    return double(maxLag_) / 1e4;
}

void BenchChannel::StartSeek(int frame) {
    {
        std::lock_guard lock(mutex_);
        seekFrame_ = frame;
        seekCount_ = presented_;
        seekStart_ = Clock::now();
    }
    player_->SeekTo(ChannelFrameTime(frame, fps_));
}

BenchChannel::SeekResult BenchChannel::FinishSeek() {
    SeekResult result;
    std::unique_lock lock(mutex_);
    result.frame = seekFrame_;
    if (!wake_.wait_for(lock, kSeekWait, [this] { return presented_ > seekCount_; })) return result;
    result.latencyMs = std::chrono::duration<double, std::milli>(lastWhen_ - seekStart_).count();
    // Let a picture that follows at once replace the first one.
    for (long seen = presented_;; seen = presented_)
        if (!wake_.wait_for(lock, kSeekQuiet, [&] { return presented_ != seen; })) break;
    const QImage picture = last_.convertToFormat(QImage::Format_RGB32);
    lock.unlock();
    result.picture = MakeThumbnail(picture.constBits(), picture.width(), picture.height(), int(picture.bytesPerLine()));
    return result;
}

}  // namespace orv::bench
