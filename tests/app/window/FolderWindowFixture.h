// The real main window started on a folder of recordings: a start folder of its own whose
// settings file names the folder as the last source, one monitor of the work area `work_`,
// and no removable drives. The suite makes the folder; Open() starts the window on it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/window/CsulvaneDlg.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "ui/CommonUtil.h"

namespace orv {

class FolderWindowFixture : public ::testing::Test {
protected:
    // The folder the window opens at its start.
    virtual std::string SourceFolder() const = 0;

    void SetUp() override {
        if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
        SetRemovableMountProvider([] { return std::vector<std::string>(); });
        SetMonitorListProvider([this] { return std::vector<MonitorRects>{{work_, work_}}; });
        oldDir_ = std::filesystem::current_path();
        std::filesystem::create_directories(dir_.Path() + "/start");
        std::filesystem::current_path(dir_.Path() + "/start");
        std::ofstream(dir_.Path() + "/start/Default_Folder.ini")
            << "[SOURCE]\nSELECT=FOLDER\nFOLDER=" << SourceFolder() << "\n[DISPLAY]\nASPECT=on\n";
    }
    void TearDown() override {
        dlg_.reset();
        std::filesystem::current_path(oldDir_);
        SetMonitorListProvider(nullptr);
        SetRemovableMountProvider(nullptr);
    }
    // The window with the first recording open and paused at its first frame.
    CsulvaneDlg& Open() {
        using namespace std::chrono_literals;
        dlg_ = std::make_unique<CsulvaneDlg>();
        dlg_->SetShowMessage([](const QString&, const QString&) {});
        dlg_->OnInitDialog();
        EXPECT_FALSE(dlg_->IsInitFailed());
        dlg_->show();
        EXPECT_TRUE(fixtures::RunUntil(
            [&] { return dlg_->Road().DataLoaded() && dlg_->Road().CurrentRow() == 0 && g_aPlayChannel[0].playState != PLAY_CLOSED; }, 30s));
        return *dlg_;
    }

    fixtures::TempDir dir_;
    std::filesystem::path oldDir_;
    RECT work_{0, 0, 1920, 1056};
    std::unique_ptr<CsulvaneDlg> dlg_;
};

}  // namespace orv
