#include "FfmpegReference.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <limits>

extern char** environ;

namespace orv::bench {

namespace {

// Runs the program (ffmpeg or ffprobe) with the arguments (no shell), handing its standard
// output to `onOutput` as it comes and keeping its standard error; the exit status, -1 when it
// could not be run.
int RunTool(const std::string& program, const std::vector<std::string>& args,
            const std::function<void(const char*, std::size_t)>& onOutput, std::string* errorText) {
    signal(SIGPIPE, SIG_IGN);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> full = {program, "-hide_banner"};
    if (program == "ffmpeg") full.push_back("-nostdin");
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    // Drain both pipes together so that neither can fill up and stall ffmpeg.
    std::vector<char> buffer(1 << 20);
    bool outOpen = spawned == 0, errOpen = spawned == 0;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buffer.data(), buffer.size());
            if (n > 0 && i == 0) onOutput(buffer.data(), std::size_t(n));
            if (n > 0 && i == 1) errorText->append(buffer.data(), std::size_t(n));
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) (i == 0 ? outOpen : errOpen) = false;
        }
    }
    close(out[0]);
    close(err[0]);
    if (spawned != 0) {
        *errorText = "cannot run " + program;
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunFfmpeg(const std::vector<std::string>& args, const std::function<void(const char*, std::size_t)>& onOutput,
              std::string* errorText) {
    return RunTool("ffmpeg", args, onOutput, errorText);
}

// The value of `key=` on a line of ffprobe's "default" output; empty when missing.
std::string ProbeValue(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key + "=");
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return {};
    const std::size_t from = at + key.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

// The number after the last `key` in the text (digits and a decimal point).
bool NumberAfterLast(const std::string& text, const std::string& key, double* value) {
    const std::size_t at = text.rfind(key);
    if (at == std::string::npos) return false;
    const char* p = text.data() + at + key.size();
    const char* end = text.data() + text.size();
    while (p < end && *p == ' ') ++p;
    return std::from_chars(p, end, *value).ec == std::errc();
}

// A select expression true for the frames [begin, end) of the list: a sum of eq(n,f) terms
// nested as a balanced tree, because ffmpeg's expression parser refuses a long flat sum. The
// commas are escaped from the filter graph's own syntax.
std::string AnyOf(const std::vector<int>& frames, std::size_t begin, std::size_t end) {
    if (end - begin == 1) return "eq(n\\," + std::to_string(frames[begin]) + ")";
    const std::size_t middle = begin + (end - begin) / 2;
    return "(" + AnyOf(frames, begin, middle) + ")+(" + AnyOf(frames, middle, end) + ")";
}

}  // namespace

bool MeasureDecode(const std::string& path, bool toBgra, DecodeCost* cost, std::string* error) {
    std::vector<std::string> args = {"-benchmark", "-i", path};
    if (toBgra) args.insert(args.end(), {"-pix_fmt", "bgra"});
    args.insert(args.end(), {"-f", "null", "-"});
    std::string text;
    const int status = RunFfmpeg(args, [](const char*, std::size_t) {}, &text);
    double user = 0, system = 0, frames = 0;
    // The report's last lines: "frame= 1800 fps=..." and "bench: utime=12.3s stime=0.4s rtime=...".
    if (status != 0 || !NumberAfterLast(text, "utime=", &user) || !NumberAfterLast(text, "stime=", &system) ||
        !NumberAfterLast(text, "frame=", &frames)) {
        *error = text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
        return false;
    }
    cost->cpuSeconds = user + system;
    cost->frames = long(frames);
    return true;
}

Thumbnail MakeThumbnail(const std::uint8_t* bgra, int width, int height, int stride) {
    Thumbnail t;
    t.reserve(std::size_t(width / kStep + 1) * std::size_t(height / kStep + 1) * 3);
    for (int y = kStep / 2; y < height; y += kStep) {
        const std::uint8_t* row = bgra + std::size_t(y) * std::size_t(stride);
        for (int x = kStep / 2; x < width; x += kStep) t.insert(t.end(), row + 4 * x, row + 4 * x + 3);
    }
    return t;
}

double Difference(const Thumbnail& a, const Thumbnail& b) {
    if (a.size() != b.size() || a.empty()) return std::numeric_limits<double>::infinity();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::uint64_t(std::abs(int(a[i]) - int(b[i])));
    return double(sum) / double(a.size());
}

// The engine's rule for a picture's colours: the matrix and range it is tagged with; untagged,
// BT.709 from 720 lines up and BT.601 below, and limited range unless its pixel format is a
// full-range ("yuvj") one.
std::string ColourConversion(const std::string& path, std::string* error) {
    std::string text, errors;
    if (RunTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=color_space,color_range,pix_fmt,height", "-of", "default=nw=1", path},
                [&](const char* data, std::size_t n) { text.append(data, n); }, &errors) != 0) {
        *error = "ffprobe: " + errors;
        return {};
    }
    const std::string space = ProbeValue(text, "color_space"), range = ProbeValue(text, "color_range");
    int height = 0;
    const std::string h = ProbeValue(text, "height");
    std::from_chars(h.data(), h.data() + h.size(), height);
    std::string matrix = height >= 720 ? "bt709" : "bt601";
    if (space == "bt709") matrix = "bt709";
    else if (space == "smpte170m" || space == "bt470bg" || space == "fcc") matrix = "bt601";
    else if (space == "smpte240m") matrix = "smpte240m";
    else if (space == "bt2020nc" || space == "bt2020c") matrix = "bt2020";
    const bool full = range == "pc" || (range != "tv" && ProbeValue(text, "pix_fmt").rfind("yuvj", 0) == 0);
    // Converted to BGRA in this filter, as the engine converts (bilinear, no scaling), so that
    // no later conversion picks its own matrix.
    return "scale=flags=bilinear:in_color_matrix=" + matrix + ":in_range=" + (full ? "pc" : "tv") +
           ":out_range=pc,format=bgra";
}

bool ReferenceFrames(const std::string& path, int width, int height, std::vector<int> frames,
                     const std::function<void(int, const Thumbnail&)>& onFrame, std::string* error) {
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    if (frames.empty() || width <= 0 || height <= 0) return true;
    const std::string colours = ColourConversion(path, error);
    if (colours.empty()) return false;
    const std::string select = "select=" + AnyOf(frames, 0, frames.size()) + "," + colours;
    const std::size_t frameBytes = std::size_t(width) * std::size_t(height) * 4;
    std::vector<std::uint8_t> frame;
    frame.reserve(frameBytes);
    std::size_t next = 0;
    std::string text;
    const int status = RunFfmpeg({"-i", path, "-an", "-sn", "-dn", "-vf", select, "-fps_mode", "passthrough",
                                  "-pix_fmt", "bgra", "-f", "rawvideo", "-"},
                                 [&](const char* data, std::size_t n) {
                                     while (n > 0) {
                                         const std::size_t take = std::min(n, frameBytes - frame.size());
                                         frame.insert(frame.end(), data, data + take);
                                         data += take;
                                         n -= take;
                                         if (frame.size() == frameBytes) {
                                             if (next < frames.size())
                                                 onFrame(frames[next++], MakeThumbnail(frame.data(), width, height, width * 4));
                                             frame.clear();
                                         }
                                     }
                                 },
                                 &text);
    if (status != 0 || next != frames.size()) {
        *error = "reference frames: " + std::to_string(next) + " of " + std::to_string(frames.size()) + "; " +
                 text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
        return false;
    }
    return true;
}

}  // namespace orv::bench
