// Helpers of the browser tests: an owner that records what the browser asks of it, card
// trees with recordings, and channel 1 set up without an engine (it checks MP4 files and
// reads data files, which is all the browser needs of it).
#pragma once

#include <QApplication>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "filer/FileListCtrl.h"
#include "filer/FileListOwner.h"
#include "playback/preview/MFSession.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/base/AppMessage.h"
#include "playback/PlayChannel.h"
#include "ui/ControlTestSupport.h"

namespace orv::filer_test {

struct Posted {
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
};

class FakeOwner : public IFileListOwner {
public:
    FakeOwner() {
        hwnd_ = RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
            std::lock_guard lock(mutex_);
            posted_.push_back({msg, w, l});
        });
    }
    ~FakeOwner() override { UnregisterAppWindow(hwnd_); }

    HWND GetOwnerHwnd() const override { return hwnd_; }
    int GetCurrentFileRow() const override { return currentRow; }
    bool TakeReselectRequest() override {
        const bool was = reselect;
        reselect = false;
        return was;
    }
    void MoveCurrentFileRow(int row) override {
        currentRow = row;
        moved.push_back(row);
    }
    void OnFileRowSelected(int row, const sFILEENTRY& entry) override {
        currentRow = row;
        selected.push_back(row);
        selectedPaths.push_back(entry.path);
    }
    void OnPreviewFile(int row, const sFILEENTRY& entry) override {
        previewed.push_back(row);
        previewedPaths.push_back(entry.path);
        if (!playFrom || !g_pPreviewSession) return;
        g_pPreviewSession->Close();
        if (g_pPreviewSession->OpenMovie(entry.path)) g_pPreviewSession->Play(0);
    }
    void OnFilterButton(int kind) override { filterClicks.push_back(kind); }

    std::vector<Posted> Posted_() {
        std::lock_guard lock(mutex_);
        return posted_;
    }
    void ClearPosted() {
        std::lock_guard lock(mutex_);
        posted_.clear();
    }

    int currentRow = -1;
    bool reselect = false;
    std::vector<int> selected;
    std::vector<int> moved;  // rows the current recording moved to when the list was refilled
    std::vector<int> previewed;
    // The entries' paths the list handed with the rows above.
    std::vector<std::string> selectedPaths;
    std::vector<std::string> previewedPaths;
    std::vector<int> filterClicks;
    // When set, a previewed row's movie is opened and played as the program does.
    CFileListCtrl* playFrom = nullptr;

private:
    HWND hwnd_ = 0;
    std::mutex mutex_;
    std::vector<Posted> posted_;
};

// Channel 1 initialised on the engine that only checks files, for the length of a test.
class ChannelOneScope {
public:
    ChannelOneScope() {
        EXPECT_EQ(InitChannel(g_aPlayChannel[0], 0, "Noto Sans CJK JP"), 1);
        g_aPlayChannel[0].initialised = 1;
    }
    ~ChannelOneScope() {
        g_aPlayChannel[0].initialised = 0;
        TermChannel(g_aPlayChannel[0]);
    }
};

// A recording of the layout's driving or parking folder with `letters` and `serial`.
inline std::string AddRecording(fixtures::CardBuilder& card, int layout, const std::string& letters, int serial,
                                const std::string& time = "120000") {
    fixtures::RecordingSpec params;
    params.layout = layout;
    params.letters = letters;
    params.serial = serial;
    params.time = time;
    params.data = fixtures::DataBlock{};
    return card.AddRecording(params);
}

}  // namespace orv::filer_test
