// join-bench OUT IN...: joins the movies IN (in order, each with its companion and data file
// when present) into OUT with the product's joiner, keeps OUT, and sets its speed against
// `cat` of the same movies into a file beside OUT, in the same run: once as `cat` leaves it
// (in the page cache) and once forced to the disk as the joiner forces its output. The peak
// memory of the process is printed with the size of the joiner's copy piece.
//
// Three 1080p recordings of one minute, for example:
//   for i in 1 2 3; do ffmpeg -f lavfi -i testsrc2=size=1920x1080:rate=30 -f lavfi -i sine
//     -t 60 -c:v libx264 -preset ultrafast -b:v 12M -c:a aac -f mp4 A___-220101-12000$i-00000${i}M.MOV; done
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/AbsolutePath.h"
#include "recorder/CardLayout.h"
#include "recorder/MovieJoin.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// `cat` of the inputs into `out`; with `sync`, the file is then forced to the disk. Seconds.
double TimeCat(const std::vector<std::string>& inputs, const std::string& out, bool sync) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(127);
        std::vector<char*> argv{const_cast<char*>("cat")};
        for (const std::string& in : inputs)
            argv.push_back(const_cast<char*>(in.c_str()));
        argv.push_back(nullptr);
        execvp("cat", argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (sync) {
        const int fd = ::open(out.c_str(), O_WRONLY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    const double seconds = Seconds(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: join-bench OUT IN...\n");
        return 2;
    }
    // The joiner finds each movie's companion and data file from its absolute path.
    const std::string out = orv::bench::AbsolutePath(argv[1]);
    std::vector<std::string> inputs;
    std::uint64_t inputBytes = 0;
    for (int i = 2; i < argc; ++i) {
        inputs.push_back(orv::bench::AbsolutePath(argv[i]));
        std::error_code ec;
        if (!std::filesystem::is_regular_file(inputs.back(), ec)) {
            std::fprintf(stderr, "join-bench: %s: not a movie file\n", argv[i]);
            return 1;
        }
        inputBytes += std::filesystem::file_size(inputs.back(), ec);
    }
    const std::string catOut = out + ".cat";

    // Both readers find the inputs in the page cache.
    TimeCat(inputs, catOut, false);
    const long rssBefore = PeakRssKiB();

    const auto start = Clock::now();
    orv::sMOVIEJOIN join;
    bool ok = orv::BeginJoin(join, inputs[0]);
    for (std::size_t i = 1; ok && i < inputs.size(); ++i)
        ok = orv::AppendMovieToJoin(join, inputs[i]);
    ok = ok && orv::WriteJoinedMovie(join, out);
    const double joinSeconds = Seconds(start);
    const bool rear = join.hasRear, data = join.hasData;
    orv::FreeJoin(join);
    if (!ok) {
        std::filesystem::remove(catOut);
        std::fprintf(stderr, "join failed: %s\n", join.error.c_str());
        return 1;
    }
    const long rssAfter = PeakRssKiB();

    const double cat = TimeCat(inputs, catOut, false);
    const double catSync = TimeCat(inputs, catOut, true);
    std::filesystem::remove(catOut);
    // What the joiner wrote: the movie, and its companion and data file when they were joined;
    // cat copies the front movies only.
    const auto size = [](const std::string& path) -> std::uint64_t {
        std::error_code ec;
        const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
        return ec ? 0 : bytes;
    };
    const std::uint64_t written = size(out) + (rear ? size(orv::CompanionFileName(out)) : 0) +
                                  (data ? size(orv::DataFileOfMovie(out)) : 0);
    const double mib = 1024.0 * 1024.0;
    std::printf("inputs: %zu movies, %.1f MiB (companions %s, data files %s)\n", inputs.size(),
                double(inputBytes) / mib, rear ? "joined" : "absent", data ? "joined" : "absent");
    std::printf("join-bench: %.3f s, %.1f MiB/s (%.1f MiB written and forced to the disk)\n", joinSeconds,
                double(written) / mib / joinSeconds, double(written) / mib);
    std::printf("cat:        %.3f s, %.1f MiB/s (page cache)   ratio join/cat %.2f\n", cat,
                double(inputBytes) / mib / cat, (double(written) / joinSeconds) / (double(inputBytes) / cat));
    std::printf("cat+fsync:  %.3f s, %.1f MiB/s                ratio join/cat+fsync %.2f\n", catSync,
                double(inputBytes) / mib / catSync, (double(written) / joinSeconds) / (double(inputBytes) / catSync));
    std::printf("peak memory: %.1f MiB before the join, %.1f MiB after (copy piece %zu MiB)\n",
                double(rssBefore) / 1024, double(rssAfter) / 1024, orv::kJoinCopyPiece >> 20);
    return 0;
}
