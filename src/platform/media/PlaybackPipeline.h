// The streaming threads of a session: one reads packets from the movie, one decodes the
// video into the video renderer, one decodes the sound into the audio renderer.
//
// A seek gives an epoch and a target time: every thread drops what it holds, the reader
// goes to the key frame before the target, and the decoders drop what lies before the
// target, so the first frame the renderer receives is the one shown at the target time.
// When that key frame turns out to lie after the target (a frame shown before its key
// frame), the reader goes back further and tries again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/AudioDecoder.h"
#include "platform/media/AudioRenderer.h"
#include "platform/media/Demuxer.h"
#include "platform/media/FramePtr.h"
#include "platform/media/PresentationClock.h"
#include "platform/media/VideoDecoder.h"
#include "platform/media/VideoRenderer.h"

namespace orv {

class PlaybackPipeline : public std::enable_shared_from_this<PlaybackPipeline> {
public:
    struct Config {
        std::shared_ptr<Demuxer> demuxer;
        ComPtr<PresentationClock> clock;
        int videoStream = -1;
        std::unique_ptr<VideoDecoder> videoDecoder;
        ComPtr<VideoRenderer> video;
        int audioStream = -1;
        std::unique_ptr<AudioDecoder> audioDecoder;
        ComPtr<AudioRenderer> audio;
        // A read error (status); called on the reader thread, must only queue.
        std::function<void(HRESULT)> onError;
    };

    // The threads start halted: nothing is read before the first Seek. The demuxer must have
    // been acquired for the pipeline; the pipeline releases it when it is destroyed.
    static std::shared_ptr<PlaybackPipeline> Start(Config config);
    ~PlaybackPipeline();

    // Drops everything in flight and streams from the key frame before the target (100 ns).
    void Seek(LONGLONG target, std::uint64_t epoch);
    // Drops everything in flight and streams nothing until the next Seek.
    void Halt();
    // Thinning: non-reference frames are not decoded and late frames are not rendered.
    void SetThinning(bool thin);

    // Makes every thread end soon: reads are interrupted and waits woken. Renderers must be
    // shut down as well to wake a thread that waits for them.
    void Abort();
    // Waits until the deadline for the threads; one still running then is let go (it keeps
    // what it uses alive). True when all have ended.
    bool Join(std::chrono::steady_clock::time_point deadline);

private:
    struct Item {
        PacketPtr packet;  // null: the end of the stream
        std::uint64_t serial = 0;
    };
    struct Queue {
        int stream = -1;
        std::deque<Item> items;
        std::size_t bytes = 0;
    };
    // What a decoding thread works towards: the seek it serves.
    struct Target {
        std::uint64_t serial = 0;
        std::uint64_t epoch = 0;
        LONGLONG time = 0;
        LONGLONG position = 0;  // where the reader went
    };

    explicit PlaybackPipeline(Config config);
    void RunReader();
    void RunVideo();
    void RunAudio();
    // The next packet of a queue and the seek it belongs to; false when aborting.
    bool Pop(Queue& queue, Item* item, Target* target);
    bool Current(std::uint64_t serial) const { return serial == serial_.load(); }
    // Goes back further for a seek whose key frame lay after its target.
    void SeekEarlier(const Target& target);
    void ClearQueues();  // under mutex_
    void Spawn(void (PlaybackPipeline::*run)(), const char* name);

    Config config_;
    Queue videoQueue_;
    Queue audioQueue_;

    mutable std::mutex mutex_;
    std::condition_variable readerWake_;
    std::condition_variable packetWake_;
    std::condition_variable doneWake_;
    std::atomic<std::uint64_t> serial_{0};  // counts seeks, including the ones made to go back
    Target target_;
    bool seekPending_ = false;
    bool halted_ = true;
    bool endOfFile_ = false;
    std::atomic<bool> abort_{false};
    std::atomic<bool> thin_{false};
    int running_ = 0;
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> threads_;  // with "ended"
};

}  // namespace orv
