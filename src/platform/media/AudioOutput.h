// The sound device, through Qt Multimedia: 16-bit interleaved samples pushed to a QAudioSink.
// Made, used and destroyed on one thread (the audio renderer's).
#pragma once

#include <cstdint>
#include <memory>

class QAudioSink;
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
    void Suspend();
    void Resume();
    // Drops what the device holds and starts again.
    void Reset();

private:
    AudioOutput() = default;

    std::unique_ptr<QAudioSink> sink_;
    QIODevice* device_ = nullptr;  // owned by the sink
    bool suspended_ = false;
};

}  // namespace orv
