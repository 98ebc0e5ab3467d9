#include "platform/media/AudioRenderer.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/media/AudioOutput.h"
#include "platform/media/PresentationClock.h"

namespace orv {

namespace {

// Sound decoded ahead of the clock (100 ns).
constexpr LONGLONG kQueueAhead = 5000000;
// Sound goes to the device this far ahead of its time (100 ns).
constexpr LONGLONG kDeviceLead = 1500000;
// Sound whose chunk has ended this long before the clock's time (100 ns) is not played.
constexpr LONGLONG kLateStart = 300000;
// How far (100 ns) the sound heard may be off the clock before it is brought back: beyond what
// the sound layer's account of the samples played wavers by (a few ms) between its timing
// updates, so that its wavering is never heard as a skip; far within a frame of the sound.
constexpr LONGLONG kSyncTolerance = 50000;
// The longest sleep of the device thread while it waits for time to pass (ms).
constexpr double kMaxWaitMs = 50.0;
// How often the device thread lets the sound layer's timers run while it waits (ms).
constexpr double kEventPollMs = 10.0;

std::chrono::duration<double, std::milli> Wait(LONGLONG hundredNs, float rate) {
    const double ms = double(std::max<LONGLONG>(hundredNs, 10000)) / 10000.0 / std::max(rate, 0.25f);
    return std::chrono::duration<double, std::milli>(std::min(ms, kMaxWaitMs));
}

}  // namespace

ComPtr<AudioRenderer> AudioRenderer::Create(int sampleRate, int channels, ComPtr<PresentationClock> clock,
                                            EventHandler handler) {
    auto made = AdoptRef(new AudioRenderer(sampleRate, channels, std::move(clock), std::move(handler)));
    std::unique_lock lock(made->mutex_);
    made->thread_ = std::thread([r = made.Get()] { r->Run(); });
    pthread_setname_np(made->thread_.native_handle(), "orv-mf-audio");
    return made;
}

AudioRenderer::AudioRenderer(int sampleRate, int channels, ComPtr<PresentationClock> clock, EventHandler handler)
    : rate_(sampleRate), channels_(channels), clock_(std::move(clock)), handler_(std::move(handler)),
      levels_(std::size_t(channels), 1.0f) {}

AudioRenderer::~AudioRenderer() { Shutdown(); }

LONGLONG AudioRenderer::ChunkEnd(const AudioChunk& c) const {
    return c.time + LONGLONG(c.samples.size() / std::size_t(channels_)) * 10000000 / rate_;
}

LONGLONG AudioRenderer::QueuedTime() const {
    return queue_.empty() ? 0 : ChunkEnd(queue_.back()) - queue_.front().time;
}

HRESULT AudioRenderer::GetChannelCount(UINT32* count) {
    if (!count) return E_POINTER;
    *count = UINT32(channels_);
    return S_OK;
}

HRESULT AudioRenderer::SetChannelVolume(UINT32 index, float level) {
    if (index >= UINT32(channels_) || !(level >= 0.0f && level <= 1.0f)) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    levels_[index] = level;
    return S_OK;
}

HRESULT AudioRenderer::GetChannelVolume(UINT32 index, float* level) {
    if (!level) return E_POINTER;
    if (index >= UINT32(channels_)) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    *level = levels_[index];
    return S_OK;
}

HRESULT AudioRenderer::SetAllVolumes(UINT32 count, const float* levels) {
    if (!levels) return E_POINTER;
    if (count != UINT32(channels_)) return E_INVALIDARG;
    for (UINT32 i = 0; i < count; ++i)
        if (!(levels[i] >= 0.0f && levels[i] <= 1.0f)) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    levels_.assign(levels, levels + count);
    return S_OK;
}

HRESULT AudioRenderer::GetAllVolumes(UINT32 count, float* levels) {
    if (!levels) return E_POINTER;
    if (count != UINT32(channels_)) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    std::copy(levels_.begin(), levels_.end(), levels);
    return S_OK;
}

bool AudioRenderer::Render(AudioChunk chunk, std::uint64_t epoch) {
    if (chunk.samples.size() < std::size_t(channels_)) return true;
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return shutdown_ || epoch != epoch_ || QueuedTime() < kQueueAhead; });
    if (shutdown_ || epoch != epoch_) return false;
    lastEnd_ = ChunkEnd(chunk);
    queue_.push_back(std::move(chunk));
    wake_.notify_all();
    return true;
}

void AudioRenderer::EndOfStream(std::uint64_t epoch) {
    std::lock_guard lock(mutex_);
    if (epoch != epoch_) return;
    endOfStream_ = true;
    wake_.notify_all();
}

void AudioRenderer::Flush(std::uint64_t epoch) {
    std::lock_guard lock(mutex_);
    queue_.clear();
    frontOffset_ = 0;
    epoch_ = epoch;
    endOfStream_ = false;
    lastEnd_ = 0;
    resetDevice_ = true;
    wake_.notify_all();
}

void AudioRenderer::ClockChanged() {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
}

void AudioRenderer::Shutdown() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
        handler_ = nullptr;
        thread.swap(thread_);
    }
    wake_.notify_all();
    if (thread.joinable()) thread.join();
}

void AudioRenderer::SkipQueued(LONGLONG span) {
    std::size_t frames = std::size_t(span * rate_ / 10000000);
    while (frames > 0 && !queue_.empty()) {
        AudioChunk& front = queue_.front();
        const std::size_t left = (front.samples.size() - frontOffset_) / std::size_t(channels_);
        if (frames < left) {
            frontOffset_ += frames * std::size_t(channels_);
            return;
        }
        frames -= left;
        queue_.pop_front();
        frontOffset_ = 0;
        wake_.notify_all();
    }
}

bool AudioRenderer::HasDevice() const {
    std::lock_guard lock(mutex_);
    return hasDevice_;
}

void AudioRenderer::Run() {
    std::unique_ptr<AudioOutput> output = AudioOutput::OpenDefault(rate_, channels_);
    std::vector<std::int16_t> scaled;
    std::unique_lock lock(mutex_);
    hasDevice_ = output != nullptr;
    // With a device, no wait is longer than the sink's timers allow.
    const auto idle = [&](std::chrono::duration<double, std::milli> most) {
        if (!output) {
            wake_.wait_for(lock, most);
            return;
        }
        wake_.wait_for(lock, std::min(most, std::chrono::duration<double, std::milli>(kEventPollMs)));
        lock.unlock();
        output->ProcessEvents();
        lock.lock();
    };
    constexpr std::chrono::duration<double, std::milli> kForever(1e9);
    while (!shutdown_) {
        if (resetDevice_) {
            resetDevice_ = false;
            if (output) output->Reset();
            deviceFrames_ = 0;
            continue;
        }
        LONGLONG now = 0;
        MFTIME system = 0;
        clock_->GetCorrelatedTime(0, &now, &system);
        const float rate = clock_->Rate();
        if (!clock_->Running()) {
            if (output) output->Suspend();
            idle(kForever);
            continue;
        }
        const bool audible = output && rate == 1.0f;
        if (output) {
            if (audible && staleDevice_) {
                // What the device held when the sound stopped belongs to a time the clock
                // has run past silently.
                staleDevice_ = false;
                output->Reset();
                deviceFrames_ = 0;
            }
            if (audible) output->Resume();
            else output->Suspend();
            if (!audible && deviceFrames_ > 0) staleDevice_ = true;
        }

        // Sound whose time has passed is dropped.
        while (!queue_.empty() && ChunkEnd(queue_.front()) <= now - (audible ? kLateStart : 0)) {
            queue_.pop_front();
            frontOffset_ = 0;
            wake_.notify_all();
        }
        if (queue_.empty()) {
            if (endOfStream_ && now >= lastEnd_) {
                endOfStream_ = false;
                const EventHandler handler = handler_;
                const std::uint64_t epoch = epoch_;
                lock.unlock();
                if (handler) handler(EC_COMPLETE, S_OK, epoch);
                lock.lock();
                continue;
            }
            if (endOfStream_) idle(Wait(lastEnd_ - now, rate));
            else idle(kForever);
            continue;
        }
        AudioChunk& front = queue_.front();
        if (!audible) {  // silent: the chunk is consumed when its time has come
            if (front.time <= now) {
                queue_.pop_front();
                frontOffset_ = 0;
                wake_.notify_all();
            } else {
                idle(Wait(front.time - now, rate));
            }
            continue;
        }
        if (front.time > now + kDeviceLead) {
            idle(Wait(front.time - now - kDeviceLead, rate));
            continue;
        }
        const std::int64_t room = output->BytesFree() / 2 / channels_ * channels_;  // whole sample frames
        if (room <= 0) {
            idle(std::chrono::milliseconds(10));
            continue;
        }
        // When the next sample will be heard: once the device has played what it holds. Off
        // its time by more than the tolerance (the device ran dry and what came after is late,
        // or a gap in the sound lies ahead), the sound is brought back to the clock: late
        // sound is skipped, early sound waits behind silence.
        const LONGLONG next = front.time + LONGLONG(frontOffset_ / std::size_t(channels_)) * 10000000 / rate_;
        const std::int64_t queued = std::max<std::int64_t>(0, deviceFrames_ - output->PlayedFrames());
        const LONGLONG late = now + queued * 10000000 / rate_ - next;
        if (late > kSyncTolerance) {
            SkipQueued(late);
            continue;
        }
        const std::int64_t silence = late < -kSyncTolerance ? std::int64_t(-late * rate_ / 10000000) : 0;
        const std::size_t count = silence > 0 ? std::size_t(std::min(silence * channels_, room))
                                              : std::min<std::size_t>(std::size_t(room), front.samples.size() - frontOffset_);
        scaled.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const float v = silence > 0 ? 0.0f
                                        : float(front.samples[frontOffset_ + i]) *
                                              levels_[(frontOffset_ + i) % std::size_t(channels_)];
            scaled[i] = std::int16_t(std::clamp(std::lround(v), -32768L, 32767L));
        }
        const std::uint64_t epoch = epoch_;
        lock.unlock();
        const std::int64_t written = output->Write(reinterpret_cast<const char*>(scaled.data()),
                                                   std::int64_t(count) * 2);
        lock.lock();
        deviceFrames_ += written / 2 / channels_;
        if (silence > 0 || epoch != epoch_ || queue_.empty()) continue;  // or flushed meanwhile
        frontOffset_ += std::size_t(written / 2);
        if (frontOffset_ >= front.samples.size()) {
            queue_.pop_front();
            frontOffset_ = 0;
            wake_.notify_all();
        }
    }
    lock.unlock();
    output.reset();
}

}  // namespace orv
