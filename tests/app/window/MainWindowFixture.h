// The real main window as the window suites start it: in a start folder of the test's own,
// with no removable drives, on the monitors of the work area `work_` (and `second_`, when it
// is not empty), its messages collected in `messages_` and its questions answered with
// `answer_`. A suite with a card makes it once (MakeCard, from its SetUpTestSuite); the
// settings file then names the card's movie folder as the last folder source, and the suite
// is skipped where ffmpeg cannot make the movies.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window/CsulvaneDlg.h"
#include "app/window/MovieFrameCheck.h"
#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/EventLoopWait.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/files/RemovableMounts.h"
#include "ui/CommonUtil.h"
#include "ui/MsgBox.h"
#include "ui/ResourceImage.h"

namespace orv {

// The frame channel 1 stands at.
inline int FrontFrame() { return g_aPlayerDriverTable[0].GetCurrentFrame(g_aPlayChannel[0]); }

// One recording of a suite's card: a front movie of 320 x 180 with the frame numbers drawn,
// `frames` frames at `fps`, its rear companion (MakeCameraMovies) when `rear`, and `data` as
// its recorder data. Without `sound` the movie has no sound track, which would lengthen it
// past its frames. `letters` are the name's first four letters (its kind), `row` the movie
// folder it goes to.
struct CardRecording {
    int frames = 80;
    int fps = 10;
    bool rear = true;
    bool sound = true;
    fixtures::DataBlock data;
    std::string letters = "A___";
    fixtures::CardRow row = fixtures::CardRow::Driving;
};

class MainWindowFixture : public ::testing::Test {
protected:
    // Recordings 1, 2, ... at 12:00:00, 12:01:00, ... in the movie folders of the second
    // card layout. Recordings with the same length and sound share their movies.
    static void MakeCard(const std::vector<CardRecording>& recordings) {
        cardWanted_ = true;
        if (!fixtures::HaveFfmpeg()) return;
        card_ = new fixtures::TempDir();
        fixtures::CardBuilder builder(card_->Path() + "/card");
        builder.MakeLayoutFolders(1);
        movies_.clear();
        for (std::size_t i = 0; i < recordings.size(); ++i) {
            const CardRecording& r = recordings[i];
            const int serial = int(i) + 1;
            Movies made{card_->Path() + "/front" + std::to_string(serial) + ".mp4",
                        card_->Path() + "/rear" + std::to_string(serial) + ".mp4", {}};
            bool shared = false;
            for (std::size_t j = 0; j < i && !shared; ++j) {
                const CardRecording& earlier = recordings[j];
                shared = earlier.frames == r.frames && earlier.fps == r.fps && earlier.sound == r.sound &&
                         (earlier.rear || !r.rear);
                if (shared) made = movies_[j];
            }
            if (!shared) {
                ASSERT_TRUE(MakeCameraMovies(made.front, r.rear ? made.rear : std::string(), r.frames, r.fps, r.sound));
            }
            fixtures::RecordingSpec params;
            params.layout = 1;
            params.row = r.row;
            params.letters = r.letters;
            params.serial = serial;
            params.time = "12" + std::string(serial <= 10 ? "0" : "") + std::to_string(serial - 1) + "00";
            params.data = r.data;
            params.movieFile = made.front;
            params.companion = r.rear;
            if (r.rear) params.companionFile = made.rear;
            made.onCard = builder.AddRecording(params);
            ASSERT_FALSE(made.onCard.empty());
            movies_.push_back(made);
        }
    }
    static void TearDownTestSuite() {
        delete card_;
        card_ = nullptr;
        cardWanted_ = false;
    }
    // The card's movie folder, the window's last source.
    static std::string CardFolder() { return card_->Path() + "/card/Video"; }
    // The movies recording `serial` was made of, and its front movie on the card.
    static const std::string& FrontMovie(int serial) { return movies_[std::size_t(serial - 1)].front; }
    static const std::string& RearMovie(int serial) { return movies_[std::size_t(serial - 1)].rear; }
    static const std::string& CardMovie(int serial) { return movies_[std::size_t(serial - 1)].onCard; }

    void SetUp() override {
        if (cardWanted_ && !card_) GTEST_SKIP() << "no ffmpeg for the card's movies";
        SetRemovableMountProvider([] { return std::vector<std::string>(); });
        SetMonitorListProvider([this] {
            std::vector<MonitorRects> monitors{{work_, work_}};
            if (second_.Width() > 0) monitors.push_back({second_, second_});
            return monitors;
        });
        oldDir_ = std::filesystem::current_path();
        std::filesystem::create_directories(dir_.Path() + "/start");
        std::filesystem::current_path(dir_.Path() + "/start");
        if (card_)
            std::ofstream(dir_.Path() + "/start/Default_Folder.ini")
                << "[SOURCE]\nSELECT=FOLDER\nFOLDER=" << CardFolder() << "\n[DISPLAY]\nASPECT=on\n";
        g_bLimitedModel = FALSE;
    }
    void TearDown() override {
        dlg_.reset();
        std::filesystem::current_path(oldDir_);
        SetMonitorListProvider(nullptr);
        SetRemovableMountProvider(nullptr);
        SetFolderPicker(nullptr);
        g_bLimitedModel = FALSE;
    }

    // The window once its deferred start-up (which opens the last source) is done.
    CsulvaneDlg& Open() {
        dlg_ = std::make_unique<CsulvaneDlg>();
        dlg_->SetShowMessage([this](const QString& text, const QString&) { messages_.push_back(text); });
        dlg_->SetAskOkCancel([this](const QString& text, const QString&) {
            messages_.push_back(text);
            return answer_;
        });
        dlg_->OnInitDialog();
        EXPECT_FALSE(dlg_->IsInitFailed());
        dlg_->show();
        // The deferred start-up follows the first painting, later on a busy machine.
        EXPECT_TRUE(fixtures::RunUntil([this] { return bool(dlg_->IsInitDone()); }, std::chrono::seconds(20)));
        return *dlg_;
    }
    // The window with the recording of `row` open and held at its first frame.
    CsulvaneDlg& OpenRecording(int row = 0) {
        Open();
        EXPECT_TRUE(RecordingOpen(0)) << "the card's first recording did not open; rows " << dlg_->RowCount();
        if (row != 0) Select(row);
        return *dlg_;
    }
    // `row` selected in the list, as a click selects it, and its recording open.
    void Select(int row) {
        dlg_->Browser()->SelectFileRow(row, FALSE);
        ASSERT_TRUE(RecordingOpen(row)) << "row " << row;
    }
    // The recording of the list's row `row` is the one open, with its data.
    bool RowOpen(int row) const {
        const std::optional<sFILEENTRY> entry = dlg_->Browser()->GetList()->EntryAt(row);
        return entry && dlg_->Road().CurrentRow() == row && dlg_->Road().OpenPath() == entry->path &&
               dlg_->Road().DataLoaded() && g_aPlayChannel[0].playState != PLAY_CLOSED;
    }
    void MoveToWorkArea(const RECT& work) {
        work_ = work;
        dlg_->OnMonitorChanged();
    }

    fixtures::TempDir dir_;
    std::filesystem::path oldDir_;
    RECT work_{0, 0, 1920, 1056};
    RECT second_{};  // a second monitor, when not empty
    std::unique_ptr<CsulvaneDlg> dlg_;
    std::vector<QString> messages_;
    int answer_ = IDOK;

    static inline fixtures::TempDir* card_ = nullptr;

private:
    struct Movies {
        std::string front, rear, onCard;
    };
    bool RecordingOpen(int row) const { return fixtures::RunUntil([&] { return RowOpen(row); }, std::chrono::seconds(30)); }

    static inline bool cardWanted_ = false;
    static inline std::vector<Movies> movies_;
};

}  // namespace orv
