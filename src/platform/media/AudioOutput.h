// The sound device, through Qt Multimedia: 16-bit interleaved samples pushed to a QAudioSink.
// Made, used and destroyed on one thread (the audio renderer's). That thread has no event loop
// of its own, but the sink's timers need one: it gets an event dispatcher when the output is
// opened, and must call ProcessEvents every few milliseconds.
#pragma once

#include <cstdint>
#include <memory>

class QAudioSink;
class QEventLoop;
class QIODevice;

namespace orv {

class AudioOutput {
public:
    // Null when there is no application object or no sound device, or the device refuses
    // the format.
    static std::unique_ptr<AudioOutput> OpenDefault(int sampleRate, int channels);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Bytes the device takes now without waiting.
    std::int64_t BytesFree() const;
    // Bytes taken.
    std::int64_t Write(const char* data, std::int64_t bytes);
    // Sample frames the device has played since it was opened or last reset (the sound layer's
    // own account, read between its timing updates by the time passed); never more than were
    // written.
    std::int64_t PlayedFrames() const;
    void Suspend();
    void Resume();
    // Drops what the device holds and starts again.
    void Reset();
    // Runs the sink's timers and notifications that are due.
    void ProcessEvents();

private:
    AudioOutput() = default;

    std::unique_ptr<QEventLoop> events_;  // made first, so the sink's timers find a dispatcher
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* device_ = nullptr;  // owned by the sink
    int sampleRate_ = 0;
    bool suspended_ = false;
};

}  // namespace orv
