#include "SoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace orv::enginetest {

namespace {

using namespace std::chrono_literals;

constexpr const char* kSink = "orvtest";
constexpr auto kStartLimit = 10s;

// Runs the program (looked up in PATH) with the arguments and the environment; its process
// id, or -1. stdout goes to `out` when it is not -1, else to /dev/null; stderr to /dev/null.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int out = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    else posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int r = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

// The exit status of a program run to its end; -1 when it could not be run.
int Run(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args, {});
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

SoundServer::SoundServer() {
    const std::string& dir = folder_.Path();
    const std::string socket = dir + "/native";
    address_ = "unix:" + socket;
    if (dir.empty()) {
        failure_ = "no temporary folder";
        return;
    }
    // Its own home, runtime and state folders: nothing of a desktop session is touched. A test
    // that is killed leaves a server without clients: it ends a while after the last one left.
    server_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=30", "--disable-shm=yes",
                     "--use-pid-file=no", "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                     std::string("--load=module-null-sink sink_name=") + kSink + " rate=" + std::to_string(kRate)},
                    {"HOME=" + dir, "XDG_RUNTIME_DIR=" + dir, "PULSE_RUNTIME_PATH=" + dir, "PULSE_STATE_PATH=" + dir});
    if (server_ < 0) {
        failure_ = "the pulseaudio command could not be run (package pulseaudio)";
        return;
    }
    const auto until = std::chrono::steady_clock::now() + kStartLimit;
    for (;;) {
        int status = 0;
        if (waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            failure_ = "pulseaudio ended at once (is another server holding the sound card, or is it too old?)";
            return;
        }
        const int info = Run({"pactl", "-s", address_, "info"});
        if (info == 0) break;
        if (info < 0) {
            failure_ = "the pactl command could not be run (package pulseaudio-utils)";
            Kill(server_);
            return;
        }
        if (std::chrono::steady_clock::now() > until) {
            failure_ = "pulseaudio did not answer within 10 s";
            Kill(server_);
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
    setenv("PULSE_SERVER", address_.c_str(), 1);
}

SoundServer::~SoundServer() {
    if (recorder_ >= 0) StopRecording();
    Kill(server_);
    unsetenv("PULSE_SERVER");
}

void SoundServer::Kill(pid_t& pid) {
    if (pid < 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

void SoundServer::StartRecording() {
    if (!failure_.empty() || recorder_ >= 0) return;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    {
        std::lock_guard lock(mutex_);
        samples_.clear();
        haveStart_ = false;
    }
    // Small fragments, so that each arrives soon after the sink played it.
    recorder_ = Spawn({"parec", "-s", address_, "-d", std::string(kSink) + ".monitor", "--raw", "--format=s16le",
                       "--rate=" + std::to_string(kRate), "--channels=1", "--latency-msec=5"},
                      {}, pipeFds[1]);
    close(pipeFds[1]);
    if (recorder_ < 0) {
        close(pipeFds[0]);
        return;
    }
    reader_ = std::thread([this, fd = pipeFds[0]] { ReadRecording(fd); });
    // The monitor sends silence too: once it flows, the recorder is listening.
    std::unique_lock lock(mutex_);
    flowing_.wait_for(lock, kStartLimit, [this] { return !samples_.empty(); });
}

void SoundServer::ReadRecording(int fd) {
    std::vector<char> buffer(4096);
    std::string pending;  // an odd byte left over
    for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        pending.append(buffer.data(), std::size_t(n));
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i + 1 < pending.size(); i += 2)
            samples_.push_back(std::int16_t(std::uint16_t(std::uint8_t(pending[i])) |
                                            std::uint16_t(std::uint8_t(pending[i + 1])) << 8));
        pending.erase(0, pending.size() & ~std::size_t(1));
        // Every sample that arrived had been played by now: the first was played no later than
        // now less the length of all of them. The earliest such bound is the closest.
        const auto start = now - std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(double(samples_.size()) / kRate));
        if (!haveStart_ || start < earliestStart_) earliestStart_ = start;
        haveStart_ = true;
        flowing_.notify_all();
    }
    close(fd);
}

void SoundServer::Stall(std::chrono::milliseconds span) {
    if (server_ < 0) return;
    kill(server_, SIGSTOP);
    std::this_thread::sleep_for(span);
    kill(server_, SIGCONT);
}

bool SoundServer::WaitForPlayed(std::chrono::steady_clock::time_point moment, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return flowing_.wait_for(lock, limit, [&] {
        const auto recorded = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(double(samples_.size()) / kRate));
        return haveStart_ && std::chrono::steady_clock::time_point(earliestStart_ + recorded) >= moment;
    });
}

SoundServer::Recording SoundServer::StopRecording() {
    Kill(recorder_);
    if (reader_.joinable()) reader_.join();
    std::lock_guard lock(mutex_);
    return Recording{std::move(samples_), std::chrono::steady_clock::time_point(earliestStart_)};
}

}  // namespace orv::enginetest
