// The audio renderer of a session: it takes decoded sound from the streaming thread and plays
// it in step with the presentation clock on the sound device, or, without a device, consumes
// it silently at the pace of the clock so that the end of the stream still comes on time.
// Sound is heard only while the clock runs at rate 1.0.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/MediaFoundation.h"

namespace orv {

class PresentationClock;

// Interleaved 16-bit samples starting at a presentation time (100 ns).
struct AudioChunk {
    LONGLONG time = 0;
    std::vector<std::int16_t> samples;
};

class AudioRenderer final : public ComObject<IMFAudioStreamVolume> {
public:
    // EC_COMPLETE when the clock has passed the end of the epoch's sound; it must only queue.
    using EventHandler = std::function<void(long code, HRESULT status, std::uint64_t epoch)>;

    // channels: 1 or 2.
    static ComPtr<AudioRenderer> Create(int sampleRate, int channels, ComPtr<PresentationClock> clock,
                                        EventHandler handler);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAudioStreamVolume>(this, iid, object);
    }
    HRESULT GetChannelCount(UINT32* count) override;
    HRESULT SetChannelVolume(UINT32 index, float level) override;
    HRESULT GetChannelVolume(UINT32 index, float* level) override;
    HRESULT SetAllVolumes(UINT32 count, const float* levels) override;
    HRESULT GetAllVolumes(UINT32 count, float* levels) override;

    // The streaming thread. Render waits while enough sound is queued; false when the chunk
    // was not taken (a flush or shutdown came first).
    bool Render(AudioChunk chunk, std::uint64_t epoch);
    void EndOfStream(std::uint64_t epoch);

    // The control thread.
    void Flush(std::uint64_t epoch);
    // The clock was started, paused, stopped or changed its rate.
    void ClockChanged();
    void Shutdown();

    bool HasDevice() const;  // false: the silent renderer

private:
    AudioRenderer(int sampleRate, int channels, ComPtr<PresentationClock> clock, EventHandler handler);
    ~AudioRenderer() override;
    void Run();
    LONGLONG ChunkEnd(const AudioChunk& c) const;
    LONGLONG QueuedTime() const;  // under mutex_
    // Drops the next `span` (100 ns) of the queued sound; under mutex_.
    void SkipQueued(LONGLONG span);

    const int rate_;
    const int channels_;
    const ComPtr<PresentationClock> clock_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    EventHandler handler_;
    std::vector<float> levels_;
    std::deque<AudioChunk> queue_;
    std::size_t frontOffset_ = 0;  // samples of the front chunk already played
    std::uint64_t epoch_ = 0;
    bool endOfStream_ = false;
    LONGLONG lastEnd_ = 0;  // end of the last chunk of the epoch
    bool resetDevice_ = false;
    // Sample frames written to the device since it was last reset; the device holds sound the
    // clock has run past silently (at another rate) since then.
    std::int64_t deviceFrames_ = 0;
    bool staleDevice_ = false;
    bool hasDevice_ = false;
    bool shutdown_ = false;
    std::thread thread_;
};

}  // namespace orv
