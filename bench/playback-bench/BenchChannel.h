// One channel of the benchmark: a player on a window of its own, whose frame sink counts the
// pictures presented and how late each came, and keeps the last one for the seek checks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <QImage>

#include "FfmpegReference.h"
#include "playback/engine/CPlayer.h"

namespace orv::bench {

class BenchChannel {
public:
    explicit BenchChannel(std::string path);
    ~BenchChannel();
    BenchChannel(const BenchChannel&) = delete;
    BenchChannel& operator=(const BenchChannel&) = delete;

    // Opens the movie and waits until it is ready; false with the reason in `error`.
    bool Open(std::string* error);
    const std::string& Path() const { return path_; }
    double Fps() const { return fps_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    long FrameCount() const { return frameCount_; }

    // The play from the start to the end at the rate (thinning above 2, as the channel does).
    HRESULT StartPlay(float rate);
    bool WaitEnded(std::chrono::milliseconds timeout);
    // Pictures presented from the start of the play to its end.
    long Presented();
    // Frames shown later than a quarter frame after their time. The i-th picture of the play is
    // taken to be frame i: without thinning the engine shows every frame in order.
    long Late();
    double MaxLagMs();
    // The presenter's own count of the play: pictures its scheduler presented, and those it
    // found more than a quarter frame late when their turn came (valid with thinning too).
    UINT64 PresenterPresented() const { return presenterPresented_; }
    UINT64 PresenterLate() const { return presenterLate_; }

    // A seek to the frame, then the wait for its picture (a first picture, then a quiet while).
    void StartSeek(int frame);
    struct SeekResult {
        int frame = 0;
        double latencyMs = -1;  // -1: no picture came
        Thumbnail picture;
    };
    SeekResult FinishSeek();

private:
    void OnFrame(const QImage& frame);
    void ReadPresenterCounts(UINT64* presented, UINT64* late);

    const std::string path_;
    HWND window_ = 0;
    ComPtr<CPlayer> player_;
    double fps_ = 0;
    int width_ = 0, height_ = 0;
    long frameCount_ = 0;
    UINT64 presenterPresented_ = 0, presenterLate_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool ready_ = false;
    int ended_ = 0;
    bool measuring_ = false;
    long presented_ = 0;  // every picture, also those of the seeks
    long played_ = 0;
    long late_ = 0;
    LONGLONG maxLag_ = 0;  // 100 ns
    QImage last_;
    std::chrono::steady_clock::time_point lastWhen_;
    int seekFrame_ = 0;
    long seekCount_ = 0;  // pictures before the seek
    std::chrono::steady_clock::time_point seekStart_;
};

}  // namespace orv::bench
