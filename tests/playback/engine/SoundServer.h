// A private PulseAudio sound server for the tests that listen to the player: it runs with a
// null sink (a sound card that plays into nothing) whose monitor records what was played.
// The server lives in a temporary folder and ends with the object; the process's sound goes
// to it from the moment it is started (PULSE_SERVER), so start it before the first sound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/TempDir.h"

namespace orv::enginetest {

class SoundServer {
public:
    static constexpr int kRate = 48000;  // the monitor is recorded at this rate, one channel

    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Empty when the server runs, else why it could not be started.
    const std::string& Failure() const { return failure_; }

    // What the sink played while recording, with the steady-clock time at which its first
    // sample was played (estimated from when the recorded bytes arrived).
    struct Recording {
        std::vector<std::int16_t> samples;
        std::chrono::steady_clock::time_point start;
    };
    void StartRecording();
    // Waits until the recording reaches what the sink played at `moment` (by the count of
    // samples recorded from the first); false when `limit` passed first.
    bool WaitForPlayed(std::chrono::steady_clock::time_point moment, std::chrono::milliseconds limit);
    Recording StopRecording();
    // Stops the server for the span, as a machine too busy to run it would: the sink then plays
    // the time it missed at once, and a stream that cannot fill it runs dry.
    void Stall(std::chrono::milliseconds span);

private:
    void Kill(pid_t& pid);
    void ReadRecording(int fd);

    fixtures::TempDir folder_;
    std::string address_;  // "unix:" and the socket
    std::string failure_;
    pid_t server_ = -1;
    pid_t recorder_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable flowing_;
    std::vector<std::int16_t> samples_;
    std::chrono::steady_clock::duration earliestStart_{};  // since the epoch of the steady clock
    bool haveStart_ = false;
};

}  // namespace orv::enginetest
