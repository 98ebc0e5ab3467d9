// A playback engine for tests: it logs every call as "Operation#channel(arguments)" and
// answers from a table that the test fills (1 by default). Calls may come from two threads
// at once (the channels open together); the log and the table are read after they return.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "playback/ChannelEngine.h"
#include "playback/PlayChannel.h"

namespace orv::playback_test {

class FakeEngine : public ChannelEngine {
public:
    std::vector<std::string> calls;
    // Answers by "Operation" or, first, "Operation#channel".
    std::map<std::string, std::int64_t> results;
    bool player = true;
    // Run at the start of every OpenMovie, with the channel number, outside the log's lock.
    std::function<void(int)> onOpen;

    // The channel number (1 or 2) of one of the two process-wide channels, else 0.
    static int Number(const sPLAYCHANNEL& c) {
        for (int i = 0; i < kChannelCount; ++i) {
            if (&c == &g_aPlayChannel[i]) return i + 1;
        }
        return 0;
    }

    int CheckMovieFile(sPLAYCHANNEL& c, const std::string& path) override {
        return int(Call(c, "CheckMovieFile", path));
    }
    int OpenMovie(sPLAYCHANNEL& c, const std::string& path) override {
        if (onOpen) onOpen(Number(c));
        return int(Call(c, "OpenMovie", path));
    }
    int CloseMovie(sPLAYCHANNEL& c) override { return int(Call(c, "CloseMovie")); }
    int LoadRecorderData(sPLAYCHANNEL& c, const std::string& path) override {
        return int(Call(c, "LoadRecorderData", path));
    }
    int ResetRecorderData(sPLAYCHANNEL& c) override { return int(Call(c, "ResetRecorderData")); }
    int PlayMovie(sPLAYCHANNEL& c) override { return int(Call(c, "PlayMovie")); }
    void BeginJointStart() override { Log("BeginJointStart"); }
    void EndJointStart() override { Log("EndJointStart"); }
    void WaitUntilSettled(sPLAYCHANNEL& c) override { Call(c, "WaitUntilSettled"); }
    int SeekWhilePlaying(sPLAYCHANNEL& c, std::int64_t frame) override {
        return int(Call(c, "SeekWhilePlaying", Text(frame)));
    }
    int PauseMovie(sPLAYCHANNEL& c) override { return int(Call(c, "PauseMovie")); }
    int StopMovie(sPLAYCHANNEL& c) override { return int(Call(c, "StopMovie")); }
    std::int32_t GetCurrentFrame(sPLAYCHANNEL& c) override {
        return std::int32_t(Call(c, "GetCurrentFrame"));
    }
    int SeekToFrame(sPLAYCHANNEL& c, std::int64_t frame) override {
        return int(Call(c, "SeekToFrame", Text(frame)));
    }
    int SetPlaybackSpeed(sPLAYCHANNEL& c, int step) override {
        return int(Call(c, "SetPlaybackSpeed", Text(step)));
    }
    int SetKeepAspect(sPLAYCHANNEL& c, int keep) override {
        return int(Call(c, "SetKeepAspect", Text(keep)));
    }
    std::int64_t GetFrameCount(sPLAYCHANNEL& c) override { return Call(c, "GetFrameCount"); }
    int GetVideoSize(sPLAYCHANNEL& c, int* width, int* height) override {
        *width = 1920;
        *height = 1080;
        return int(Call(c, "GetVideoSize"));
    }
    int SetVolume(sPLAYCHANNEL& c, int volume) override { return int(Call(c, "SetVolume", Text(volume))); }
    int ShowOverlayText(sPLAYCHANNEL& c, const std::string& text) override {
        return int(Call(c, "ShowOverlayText", text));
    }
    int ClearOverlay(sPLAYCHANNEL& c) override { return int(Call(c, "ClearOverlay")); }
    int SetVideoFlip(sPLAYCHANNEL& c, int flip) override { return int(Call(c, "SetVideoFlip", Text(flip))); }
    int SetView(sPLAYCHANNEL& c, int cx, int cy, int ox, int oy, float zoom, int redraw) override {
        std::ostringstream args;
        args << cx << ',' << cy << ',' << ox << ',' << oy << ',' << zoom << ',' << redraw;
        return int(Call(c, "SetView", args.str()));
    }
    int SaveSnapshot(sPLAYCHANNEL& c, const std::string& path) override {
        return int(Call(c, "SaveSnapshot", path));
    }
    int RefreshFrame(sPLAYCHANNEL& c) override { return int(Call(c, "RefreshFrame")); }
    int RepaintVideo(sPLAYCHANNEL& c) override { return int(Call(c, "RepaintVideo")); }
    bool HasPlayer(const sPLAYCHANNEL&) const override { return player; }

    std::string Last() const { return calls.empty() ? std::string() : calls.back(); }

private:
    template <typename T>
    static std::string Text(T value) {
        return std::to_string(value);
    }

    void Log(std::string call) {
        std::lock_guard lock(mutex_);
        calls.push_back(std::move(call));
    }

    std::int64_t Call(const sPLAYCHANNEL& c, const std::string& op, const std::string& args = {}) {
        const std::string channel = op + "#" + std::to_string(Number(c));
        std::lock_guard lock(mutex_);
        calls.push_back(channel + "(" + args + ")");
        if (auto it = results.find(channel); it != results.end()) return it->second;
        if (auto it = results.find(op); it != results.end()) return it->second;
        return 1;
    }

    std::mutex mutex_;
};

}  // namespace orv::playback_test
