#include "StripeMovie.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cerrno>

extern char** environ;

namespace orv::mediatest {

namespace {

constexpr int kBands = 16;
constexpr int kNumberBits = 12;
constexpr std::uint8_t kWhite = 235;  // limited-range luma of white and black
constexpr std::uint8_t kBlack = 16;

unsigned Check(unsigned number) { return unsigned(std::popcount(number)) & 0xF; }

}  // namespace

int RunFfmpeg(const std::vector<std::string>& args, const std::vector<std::uint8_t>& input, std::string* error) {
    signal(SIGPIPE, SIG_IGN);  // an ffmpeg that fails early must not kill the test
    int in[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    if (pipe2(err, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> full = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(err[1]);
    if (spawned != 0) {
        close(in[1]);
        close(err[0]);
        if (error) *error = "cannot run ffmpeg";
        return -1;
    }
    // Feed stdin and drain stderr together, so that neither side can block the other.
    std::string text;
    std::size_t written = 0;
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    bool inOpen = true, errOpen = true;
    if (input.empty()) {
        close(in[1]);
        inOpen = false;
    }
    while (inOpen || errOpen) {
        pollfd fds[2] = {{inOpen ? in[1] : -1, POLLOUT, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, 1000) < 0 && errno != EINTR) break;
        if (inOpen && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(in[1], input.data() + written, input.size() - written);
            if (n > 0) written += std::size_t(n);
            if ((n < 0 && errno != EAGAIN) || written == input.size()) {
                close(in[1]);
                inOpen = false;
            }
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const ssize_t n = read(err[0], buffer, sizeof buffer);
            if (n > 0) text.append(buffer, std::size_t(n));
            else if (n == 0 || errno != EAGAIN) {
                close(err[0]);
                errOpen = false;
            }
        }
    }
    if (inOpen) close(in[1]);
    if (errOpen) close(err[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    if (error) *error = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool MakeStripeMovie(const StripeMovieSpec& params, const std::string& path, std::string* error) {
    if (params.frames <= 0 || params.frames > (1 << kNumberBits) || params.width < kBands * 2 || params.height < 4) {
        if (error) *error = "bad stripe movie params";
        return false;
    }
    // Grey frames: the luma plane alone; the encoder's chroma is neutral.
    const std::size_t frameBytes = std::size_t(params.width) * std::size_t(params.height);
    std::vector<std::uint8_t> raw(frameBytes * std::size_t(params.frames));
    for (int f = 0; f < params.frames; ++f) {
        const unsigned code = (unsigned(f) << 4) | Check(unsigned(f));
        std::uint8_t* frame = raw.data() + frameBytes * std::size_t(f);
        for (int x = 0; x < params.width; ++x) {
            const int band = x * kBands / params.width;
            const bool set = (code >> (kBands - 1 - band)) & 1;
            for (int y = 0; y < params.height; ++y) frame[std::size_t(y) * std::size_t(params.width) + std::size_t(x)] = set ? kWhite : kBlack;
        }
    }
    const std::string size = std::to_string(params.width) + "x" + std::to_string(params.height);
    const std::string rate = std::to_string(params.fpsNum) + "/" + std::to_string(params.fpsDen);
    std::vector<std::string> args = {"-f", "rawvideo", "-pix_fmt", "gray", "-s", size, "-r", rate, "-i", "-"};
    std::string srt;
    if (params.audio) args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"});
    if (params.subtitle) {
        srt = path + ".srt";
        FILE* f = std::fopen(srt.c_str(), "w");
        if (!f) return false;
        std::fputs("1\n00:00:00,000 --> 00:00:01,000\nsubtitle\n", f);
        std::fclose(f);
        args.insert(args.end(), {"-i", srt});
    }
    args.insert(args.end(), {"-map", "0:v"});
    if (params.audio) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-shortest"});
    if (params.subtitle) args.insert(args.end(), {"-map", params.audio ? "2:s" : "1:s", "-c:s", "mov_text"});
    // Lossless coding (quantiser 0) makes no B-frames: disposable ones need quantiser 1.
    args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-qp", params.disposableB ? "1" : "0",
                             "-pix_fmt", "yuv420p", "-g", std::to_string(params.gop), "-bf", "2", "-x264-params",
                             params.disposableB ? "open-gop=0:b-adapt=0:b-pyramid=none" : "open-gop=0:b-adapt=0",
                             "-color_range", "tv", "-colorspace", "bt709"});
    if (params.timecode) args.insert(args.end(), {"-timecode", "00:00:00:00"});
    if (params.moovFirst) args.insert(args.end(), {"-movflags", "+faststart"});
    args.insert(args.end(), {"-f", "mp4", path});
    const int status = RunFfmpeg(args, raw, error);
    if (!srt.empty()) unlink(srt.c_str());
    return status == 0;
}

int ReadStripeNumber(const QImage& picture) {
    if (picture.isNull() || picture.width() < kBands) return -1;
    unsigned code = 0;
    const int y = picture.height() / 2;
    for (int band = 0; band < kBands; ++band) {
        const int x = (2 * band + 1) * picture.width() / (2 * kBands);
        const QRgb p = picture.pixel(x, y);
        const int level = (qRed(p) + qGreen(p) + qBlue(p)) / 3;
        if (level > 96 && level < 160) return -1;  // neither white nor black: not a stripe picture
        code = (code << 1) | (level >= 128 ? 1u : 0u);
    }
    const unsigned number = code >> 4;
    return (code & 0xF) == Check(number) ? int(number) : -1;
}

bool MakeColourMovie(int width, int height, const std::vector<YuvBar>& bars, const std::string& matrix,
                     const std::string& range, const std::string& path, std::string* error) {
    if (bars.empty() || width % 2 || height % 2) return false;
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    const std::size_t chroma = luma / 4;
    std::vector<std::uint8_t> frame(luma + 2 * chroma);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const YuvBar& b = bars[std::size_t(x) * bars.size() / std::size_t(width)];
            frame[std::size_t(y) * std::size_t(width) + std::size_t(x)] = b.y;
            if (y % 2 == 0 && x % 2 == 0) {
                const std::size_t c = std::size_t(y / 2) * std::size_t(width / 2) + std::size_t(x / 2);
                frame[luma + c] = b.cb;
                frame[luma + chroma + c] = b.cr;
            }
        }
    std::vector<std::uint8_t> raw;
    raw.insert(raw.end(), frame.begin(), frame.end());
    raw.insert(raw.end(), frame.begin(), frame.end());
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<std::string> args = {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size, "-r", "30", "-i", "-",
                                     "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0", "-pix_fmt", "yuv420p"};
    if (!matrix.empty()) args.insert(args.end(), {"-colorspace", matrix});
    if (!range.empty()) args.insert(args.end(), {"-color_range", range});
    args.insert(args.end(), {"-f", "mp4", path});
    return RunFfmpeg(args, raw, error) == 0;
}

StripeMoviePair SmallFrontAndHalfRateCompanion() {
    StripeMoviePair pair;
    pair.front.width = 160;
    pair.front.height = 120;
    pair.front.frames = 90;
    pair.front.gop = 15;
    pair.front.audio = true;
    pair.companion = pair.front;
    pair.companion.fpsNum = 15;
    pair.companion.frames = 45;
    pair.companion.audio = false;
    return pair;
}

}  // namespace orv::mediatest
