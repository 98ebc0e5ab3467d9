// Shared helpers of the data views' tests: a movie's records decoded from a block that the
// fixture writer made, put in place as channel 1's data, and a window handle that records
// what is posted to it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "fixtures/DataBlockWriter.h"
#include "platform/base/AppMessage.h"
#include "playback/PlayChannel.h"
#include "recorder/MovieScanner.h"
#include "recorder/RecorderRecords.h"
#include "views/EventClassification.h"

namespace orv::test {

namespace fx = orv::fixtures;

// `n` records as the recorder writes them when nothing happens (no event, no alert).
inline std::vector<fx::RawRecord> QuietRecords(int n) { return std::vector<fx::RawRecord>(std::size_t(n)); }

// Installs the decoded records of `records` as channel 1's active data, with `frames`
// video frames of `frameMs` ms (100 ms: one frame per record), and takes them away again.
class FrontChannelData {
public:
    explicit FrontChannelData(const std::vector<fx::RawRecord>& records, std::int64_t frames = -1,
                              float frameMs = 100.0f) {
        fx::DataBlock block;
        block.records = records;
        const std::vector<std::uint8_t> bytes = block.Bytes();
        sMOVIESCANNER scanner;
        scanner.path = "/card/_NData/A___-220315-083000-000001D.ADA";
        decoded_ = ParseRecorderBlock(scanner, bytes, scanner.gps, scanner.sensor, scanner.header, scanner.obd);
        scanner.frameInterval = frameMs;
        if (frames < 0) frames = std::int64_t(records.size());
        scanner.SetFrameCountSource([frames] { return frames; });
        built_ = scanner.BuildFrameTable();
        sPLAYCHANNEL& front = g_aPlayChannel[0];
        const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        scanner.MoveTo(front.scanners[kActiveScanner]);
        front.initialised = 1;
    }
    ~FrontChannelData() {
        sPLAYCHANNEL& front = g_aPlayChannel[0];
        const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        front.scanners[kActiveScanner].Reset();
        front.initialised = 0;
    }
    FrontChannelData(const FrontChannelData&) = delete;
    FrontChannelData& operator=(const FrontChannelData&) = delete;

    bool Ready() const { return decoded_ && built_; }

private:
    bool decoded_ = false;
    bool built_ = false;
};

struct Posted {
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
    friend bool operator==(const Posted&, const Posted&) = default;
};

// A window handle whose messages are kept, in posting order.
class RecordingWindow {
public:
    RecordingWindow()
        : hwnd_(RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
              const std::lock_guard<std::mutex> lock(mutex_);
              got_.push_back({msg, w, l});
          })) {}
    ~RecordingWindow() { UnregisterAppWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }
    std::vector<Posted> Take() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(got_, {});
    }

private:
    std::mutex mutex_;
    std::vector<Posted> got_;
    HWND hwnd_;
};

}  // namespace orv::test
