// A named pipe that delivers the first half of a movie and then nothing more, without ending:
// a reader of it waits for good, as on a card that stopped answering.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace orv::mediatest {

class StalledPipe {
public:
    // Makes the pipe at `path` and starts feeding it the movie's first half; Ok() says whether
    // that could be done.
    StalledPipe(const std::string& movie, const std::string& path);
    // Ends the feeding (also when the reader stopped early), closes and removes the pipe.
    ~StalledPipe();
    StalledPipe(const StalledPipe&) = delete;
    StalledPipe& operator=(const StalledPipe&) = delete;

    bool Ok() const { return writer_ >= 0; }
    // Waits until the whole half went into the pipe.
    void WaitFed();

private:
    const std::string path_;
    std::string bytes_;
    int writer_ = -1;
    std::atomic<bool> fed_{false};
    std::thread feed_;
};

}  // namespace orv::mediatest
