#include "StalledPipe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "MovieCache.h"

namespace orv::mediatest {

StalledPipe::StalledPipe(const std::string& movie, const std::string& path) : path_(path), bytes_(ReadAll(movie)) {
    if (bytes_.empty() || mkfifo(path_.c_str(), 0600) != 0) return;
    writer_ = open(path_.c_str(), O_RDWR);  // never blocks, never ends the pipe
    if (writer_ < 0) return;
    feed_ = std::thread([this] {
        const std::size_t half = bytes_.size() / 2;
        for (std::size_t done = 0; done < half;) {
            const ssize_t n = write(writer_, bytes_.data() + done, half - done);
            if (n <= 0) break;
            done += std::size_t(n);
        }
        fed_ = true;
    });
}

StalledPipe::~StalledPipe() {
    if (feed_.joinable()) {
        // A reader that stopped early leaves the feeder blocked on a full pipe: the pipe is
        // emptied here until the feeder is through, and further writes fail instead of waiting.
        fcntl(writer_, F_SETFL, fcntl(writer_, F_GETFL) | O_NONBLOCK);
        char sink[4096];
        while (!fed_) {
            if (read(writer_, sink, sizeof sink) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        feed_.join();
    }
    if (writer_ >= 0) close(writer_);
    unlink(path_.c_str());
}

void StalledPipe::WaitFed() {
    if (feed_.joinable()) feed_.join();
}

}  // namespace orv::mediatest
