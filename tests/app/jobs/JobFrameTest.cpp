// The job frame with a stand-in main window: the near-end rule, deleting on a card and
// elsewhere, and a join from the command to its end.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "app/jobs/DeleteJob.h"
#include "app/jobs/JobFrame.h"
#include "app/jobs/JoinJob.h"
#include "fixtures/CardBuilder.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/OccupiedName.h"
#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"
#include "recorder/CardLayout.h"
#include "recorder/FolderScan.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinDialog.h"
#include "ui/SkinProgressBarCtrl.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using fixtures::CardBuilder;
using fixtures::RecordingSpec;

struct Posted {
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

// A window handle whose posts queue up for the test thread.
class MessageQueue {
public:
    MessageQueue() {
        hwnd_ = RegisterAppWindow([this](unsigned msg, WPARAM w, LPARAM l) {
            if (onPost) onPost(Posted{msg, w, l});
            std::lock_guard<std::mutex> guard(lock_);
            queue_.push_back({msg, w, l});
            arrived_.notify_all();
        });
    }
    ~MessageQueue() { UnregisterAppWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }
    // Runs on the posting thread as each message is posted; set before the job starts.
    std::function<void(const Posted&)> onPost;

    // The next message; {0} when none comes within a minute (a hung job).
    Posted Next() {
        std::unique_lock<std::mutex> guard(lock_);
        if (!arrived_.wait_for(guard, std::chrono::minutes(1), [this] { return !queue_.empty(); })) return {};
        Posted p = queue_.front();
        queue_.pop_front();
        return p;
    }

private:
    HWND hwnd_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Posted> queue_;
};

// The file list as the jobs see it: the folder's entries and the rows, changed by name.
class FakeRows : public IFileRows {
public:
    int RowCount() const override { return int(listed.size()); }
    std::optional<sFILEENTRY> EntryAt(int row) const override {
        if (row < 0 || row >= RowCount()) return std::nullopt;
        return listed[std::size_t(row)];
    }
    std::vector<sFILEENTRY> CopyOfRows() const override { return listed; }
    std::vector<sFILEENTRY> CopyOfFolder() const override { return folder; }
    bool SetEntryQuality(int, const std::string&, int) override { return false; }
    bool SetEntryStartTime(int, const std::string&, const SYSTEMTIME&, float) override { return false; }
    void MarkJoined(const std::vector<sFILEENTRY>& chosen, bool joined) override { SetJoinMarks(folder, chosen, joined); }
    void RemoveEntries(const std::vector<sFILEENTRY>& removed) override {
        for (std::vector<sFILEENTRY>* entries : {&listed, &folder}) {
            RemoveEntriesByName(*entries, removed);
            NumberEntries(*entries);
        }
    }

    std::vector<sFILEENTRY> folder, listed;
};

class FakeHost : public IJobHost, public FakeRows {
public:
    HWND JobWindow() override { return queue.Handle(); }
    QWidget* ActiveVideoSurface() override { return &surface; }
    void EnableJobControls(BOOL enable) override { calls.push_back(enable ? "enable" : "disable"); }
    ChannelPosition JobChannelPosition() override { return position; }
    BOOL IsOpenFailed() override { return FALSE; }
    void PrepareChannels(JobKind) override { calls.push_back("prepare"); }
    std::int64_t CloseMovieOnScreen() override {
        calls.push_back("close");
        return 7;
    }
    void SetResumePending(BOOL pending) override { calls.push_back(pending ? "resume" : "no resume"); }
    void SetResumeFrame(std::int64_t frame) override { calls.push_back("resume at " + std::to_string(frame)); }
    void RewindAfterJoin() override { calls.push_back("rewind"); }
    void AfterJob() override {}
    bool SelectCurrentMovie() override { return true; }
    SourceKind JobSourceKind() override { return SOURCE_FOLDER; }
    std::vector<sFILEENTRY> GatherSourceFiles() override { return listed; }
    IFileRows& FileRows() override { return *this; }
    int SelectedRow() override { return 0; }
    void ReselectRow(int row) override { calls.push_back("reselect " + std::to_string(row)); }
    void RebuildBrowser() override { calls.push_back("rebuild"); }
    std::string PickFolder(std::string_view, std::string_view, int) override { return pickedFolder; }
    int ShowMessage(int text, const QString&, MsgBoxType) override {
        if (onMessage) onMessage();
        messages.push_back(text);
        return IDOK;
    }
    int ShowMessageWithNote(int text, const std::string& note, const QString&, MsgBoxType) override {
        if (onMessage) onMessage();
        messages.push_back(text);
        notes.push_back(note);
        return IDOK;
    }
    int AskToReplace(const std::vector<std::string>& names) override {
        replaced.push_back(names);
        return ShowMessage(kTextOverwrite, {}, MSGBOX_OKCANCEL);
    }
    bool SelectFiles(int, const std::vector<sFILEENTRY>&, const std::vector<sFILEENTRY>& shown,
                     std::vector<sFILEENTRY>* ticked) override {
        for (std::size_t i : tick)
            ticked->push_back(shown[i]);
        return !tick.empty();
    }

    MessageQueue queue;
    QWidget window;
    QWidget surface{&window};
    ChannelPosition position{true, true, 1, 0, 100, 1};
    std::vector<std::size_t> tick;
    std::string pickedFolder;
    std::vector<std::string> calls;
    std::vector<int> messages;
    std::vector<std::string> notes;  // of the messages shown with a note
    std::vector<std::vector<std::string>> replaced;  // what each question to replace named
    std::function<void()> onMessage;  // when a message box would show
};

// Hands the posted messages to the frame as the main window does, until the job ended.
std::vector<Posted> RunToEnd(CJobFrame& frame, MessageQueue& queue) {
    std::vector<Posted> seen;
    for (;;) {
        const Posted p = queue.Next();
        seen.push_back(p);
        if (p.msg == WM_APP_PROGRESS) frame.OnProgress(p.wParam, p.lParam);
        if (p.msg == WM_APP_LIST_REFRESH) frame.OnRefreshList();
        if (p.msg == WM_APP_JOB_DONE) frame.OnJobFinished();
        if (p.msg == WM_APP_JOB_DONE || p.msg == 0) return seen;
    }
}

// The settings file of the test's jobs lies in `folder` (the start folder) while it lives;
// after, the start folder is the one before (none), never the folder the test runs in.
class SettingsIn {
public:
    explicit SettingsIn(const std::string& folder) : old_(fs::current_path()), oldStart_(g_szStartDir) {
        fs::current_path(folder);
        CaptureStartDir();
    }
    ~SettingsIn() {
        fs::current_path(old_);
        g_szStartDir = oldStart_;
    }

private:
    fs::path old_;
    std::string oldStart_;
};

std::vector<sFILEENTRY> EntriesOf(const std::vector<std::string>& paths) {
    std::vector<sFILEENTRY> entries;
    for (const std::string& p : paths)
        AddMovieEntry(p, entries);
    return entries;
}

class DeleteJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The desktop trash of this test lies on the file system of its files.
        setenv("XDG_DATA_HOME", (dir_.Path() + "/data").c_str(), 1);
    }
    std::vector<std::string> Recordings(CardBuilder& card, int layout) {
        std::vector<std::string> paths;
        for (int i = 1; i <= 3; ++i) {
            RecordingSpec params;
            params.layout = layout;
            params.serial = i;
            params.time = "12000" + std::to_string(i);
            params.data = fixtures::DataBlock{};
            paths.push_back(card.AddRecording(params));
        }
        return paths;
    }
    static std::vector<Posted> Progress(std::vector<Posted> seen) {
        std::erase_if(seen, [](const Posted& p) { return p.msg != WM_APP_PROGRESS; });
        return seen;
    }
    fixtures::TempDir dir_;
};

TEST_F(DeleteJobTest, OutsideACardTheThreeFilesGoToTheTrashWithProgress) {
    CardBuilder card(dir_.Path() + "/folder");
    FakeHost host;
    host.listed = EntriesOf(Recordings(card, -1));
    host.tick = {0, 1, 2};
    CSkinProgressBarCtrl bar(&host.window);
    CJobFrame frame(host, &bar);
    frame.OnDeleteMovies();
    EXPECT_EQ(bar.GetPos(), 0);  // the bar starts empty
    const auto seen = RunToEnd(frame, host.queue);
    EXPECT_EQ(bar.GetPos(), 100);
    EXPECT_FALSE(bar.isVisibleTo(&host.window));
    EXPECT_EQ(Progress(seen), (std::vector<Posted>{{WM_APP_PROGRESS, 0, 3}, {WM_APP_PROGRESS, 1, 3},
                                                    {WM_APP_PROGRESS, 2, 3}, {WM_APP_PROGRESS, 3, 3}}));
    EXPECT_EQ(seen.back(), (Posted{WM_APP_JOB_DONE, 0, 1}));
    EXPECT_TRUE(fs::is_empty(card.Root()));
    const std::string trash = dir_.Path() + "/data/Trash";
    EXPECT_EQ(std::distance(fs::directory_iterator(trash + "/files"), fs::directory_iterator()), 9);
    EXPECT_EQ(std::distance(fs::directory_iterator(trash + "/info"), fs::directory_iterator()), 9);
    for (const sFILEENTRY& e : host.listed)
        EXPECT_TRUE(fs::exists(trash + "/info/" + fs::path(e.path).filename().string() + ".trashinfo"));
    EXPECT_TRUE(host.listed.empty());
    // The movie on screen (row 0) was closed before its files went; the list is rebuilt.
    EXPECT_EQ(host.calls, (std::vector<std::string>{"prepare", "disable", "close", "rebuild", "enable"}));
    EXPECT_EQ(host.messages, std::vector<int>{44});
    EXPECT_EQ(bar.GetPos(), 100);
}

TEST_F(DeleteJobTest, OnACardMoviesAreHiddenLastFirstAndAFailureStillRebuilds) {
    CardBuilder card(dir_.Path() + "/card");
    const auto paths = Recordings(card, 0);
    // The card's tree stands for a drive of its own.
    SetDriveRootProvider([&](const std::string&) { return card.Root(); });
    struct Restore {
        ~Restore() { SetDriveRootProvider({}); }
    } restore;
    // The second recording's movie is gone: hiding it fails after the third was hidden.
    fs::remove(paths[1]);
    FakeHost host;
    host.listed = EntriesOf({paths[0], paths[2]});
    sFILEENTRY gone;
    gone.path = paths[1];
    host.listed.insert(host.listed.begin() + 1, gone);
    host.tick = {0, 1, 2};
    CJobFrame frame(host, nullptr);
    frame.OnDeleteMovies();
    const auto seen = RunToEnd(frame, host.queue);

    EXPECT_EQ(Progress(seen), std::vector<Posted>{(Posted{WM_APP_PROGRESS, 0, 3})});
    const std::string stem = paths[2].substr(0, paths[2].size() - 5);  // without "M.MOV"
    const std::string data = DataFileOfMovie(paths[2]);
    EXPECT_TRUE(fs::exists(stem + "M.DMY"));
    EXPECT_TRUE(fs::exists(data.substr(0, data.size() - 5) + "D.TDA"));
    EXPECT_TRUE(fs::exists(paths[0]));
    EXPECT_EQ(host.messages, std::vector<int>{94});
    EXPECT_EQ(host.calls.end()[-2], "rebuild");
    // Only the entries whose movie is gone leave the list.
    ASSERT_EQ(host.listed.size(), 1u);
    EXPECT_EQ(host.listed[0].path, paths[0]);
}

TEST_F(DeleteJobTest, NothingTickedSelectsTheRowAgain) {
    FakeHost host;
    CJobFrame frame(host, nullptr);
    frame.OnDeleteMovies();
    // Until the job's end was handled, the job commands touch nothing.
    frame.OnJoinMovies();
    frame.OnExportCsv();
    frame.OnDeleteMovies();
    EXPECT_FALSE(frame.m_bJoinPending);
    EXPECT_EQ(RunToEnd(frame, host.queue).back(), (Posted{WM_APP_JOB_DONE, 0, 0}));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"prepare", "disable", "reselect 0", "enable"}));
    EXPECT_TRUE(host.messages.empty());
}

// Every entry below `root` by its relative path: a file's bytes, a link's target.
std::map<std::string, std::string> TreeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(e.path(), root).string();
        if (e.is_symlink()) {
            tree[relative] = "-> " + fs::read_symlink(e.path()).string();
        } else if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            tree[relative] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

// The real operations, keeping in mind which names carry the hidden attribute (the test's
// file system has none).
class HiddenNames final : public IFileOps {
public:
    bool IsHidden(const std::string& path) override { return names.count(path) > 0; }
    bool SetHidden(const std::string& path, bool on) override {
        if (!RealFileOps().SetHidden(path, on)) return false;
        if (on) names.insert(path);
        else names.erase(path);
        return true;
    }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        if (!RealFileOps().MoveNoReplace(from, to)) return false;
        if (names.erase(from)) names.insert(to);
        return true;
    }
    std::set<std::string> names;
};

TEST_F(DeleteJobTest, OnACardOnlyTheSelectedRecordingsOwnFilesAreHidden) {
    // A layout 0 card whose recordings are not all filed in their kind's folder; each file
    // holds its own name, so that no two are alike.
    const std::string parking = "P___-220101-120000-000002", driving = "AG_S-220101-130000-000003",
                      mainSub = "A___-220101-140000-000004", loose = "A___-220101-150000-000005";
    const std::vector<std::string> files = {
        "Normal/" + parking + "M.MOV", "Normal/" + parking + "S.MOV", "_NData/" + parking + "D.ADA",
        "Parking/" + parking + "M.MOV", "Parking/" + parking + "S.MOV", "_PData/" + parking + "D.ADA",
        "Parking/" + driving + "M.MOV", "_PData/" + driving + "D.ADA",
        "Normal/" + driving + "M.MOV", "_NData/" + driving + "D.ADA",
        "Normal/Main/" + mainSub + "M.MOV", "Normal/Sub_/" + mainSub + "S.MOV", "_NData/Main/" + mainSub + "D.ADA",
        "misc/" + loose + "M.MOV", "misc/" + loose + "D.ADA",
        "Normal/" + loose + "M.MOV", "_NData/" + loose + "D.ADA",
    };
    const struct {
        std::string selected;
        std::vector<std::pair<std::string, std::string>> links;  // name, target
        bool ok;
        std::vector<std::string> hidden;  // the names that go, without extension
    } cases[] = {
        // A parking-named movie in the driving folder: the parking folder's recording of
        // that name stays.
        {"Normal/" + parking + "M.MOV", {}, true, {"Normal/" + parking + "M", "_NData/" + parking + "D"}},
        {"Parking/" + driving + "M.MOV", {}, true, {"Parking/" + driving + "M", "_PData/" + driving + "D"}},
        {"Parking/" + parking + "M.MOV", {}, true, {"Parking/" + parking + "M", "_PData/" + parking + "D"}},
        {"Normal/Main/" + mainSub + "M.MOV", {}, true, {"Normal/Main/" + mainSub + "M", "_NData/Main/" + mainSub + "D"}},
        {"misc/" + loose + "M.MOV", {}, true, {"misc/" + loose + "M", "misc/" + loose + "D"}},
        // A link at a hidden name, dangling or not, is never replaced; a movie that is a
        // link is not hidden, nor the file it leads to.
        {"Normal/" + driving + "M.MOV", {{"Normal/" + driving + "M.DMY", "nowhere"}}, false, {}},
        {"Normal/" + driving + "M.MOV", {{"_NData/" + driving + "D.TDA", "../misc/" + loose + "D.ADA"}}, false, {}},
        {"misc/AG_S-220101-170000-000007M.MOV",
         {{"misc/AG_S-220101-170000-000007M.MOV", "../Parking/" + parking + "M.MOV"}}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected + (c.links.empty() ? "" : " with a link"));
        fixtures::TempDir dir;
        CardBuilder card(dir.Path() + "/card");
        for (const std::string& f : files) card.AddFile(f, std::vector<std::uint8_t>(f.begin(), f.end()));
        for (const auto& [name, target] : c.links) fs::create_symlink(target, card.PathOf(name));
        SetDriveRootProvider([&](const std::string&) { return card.Root(); });
        HiddenNames ops;
        const ScopedFileOps scoped(&ops);

        std::map<std::string, std::string> expected = TreeOf(card.Root());
        std::set<std::string> hidden;
        for (const std::string& stem : c.hidden) {
            const bool movie = stem.back() == 'M';
            const auto live = expected.find(stem + (movie ? ".MOV" : ".ADA"));
            ASSERT_NE(live, expected.end());
            expected[stem + (movie ? ".DMY" : ".TDA")] = live->second;
            hidden.insert(card.PathOf(stem + (movie ? ".DMY" : ".TDA")));
            expected.erase(live);
        }
        EXPECT_EQ(DeleteRecording(card.PathOf(c.selected)), c.ok);
        EXPECT_EQ(TreeOf(card.Root()), expected);
        EXPECT_EQ(ops.names, hidden);
        SetDriveRootProvider({});
        ForgetCardRoots();
    }
}

// A recording outside a card, in a folder that is also the start folder of the settings file.
class CsvExportFolder {
public:
    CsvExportFolder() : settings_(dir_.Path()) {
        RecordingSpec rec;
        rec.layout = -1;
        movie_ = CardBuilder(dir_.Path() + "/in").AddRecording(rec);
    }
    const std::string& Path() const { return dir_.Path(); }
    // The list's name for that recording.
    std::string ListPath() const { return dir_.Path() + "/Dv_20220101_120000.csv"; }

    // The export of the recording into `folder` (the folder picker's answer), to its end.
    void Export(FakeHost& host, const std::string& folder) const {
        host.listed = EntriesOf({movie_});
        host.pickedFolder = folder;
        CJobFrame frame(host, nullptr);
        frame.OnExportCsv();
        RunToEnd(frame, host.queue);
    }

private:
    fixtures::TempDir dir_;
    SettingsIn settings_;
    std::string movie_;
};

TEST(CsvExportJob, ResumesTheMovieOnlyOnceItWasClosed) {
    const CsvExportFolder dir;
    const struct {
        std::string folder;  // the folder picker's answer
        std::vector<std::string> calls;
        std::vector<int> messages;
    } cases[] = {
        {"", {"prepare", "resume", "disable", "no resume", "enable"}, {}},
        {dir.Path(), {"prepare", "resume", "disable", "close", "resume at 7", "enable"}, {44}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        FakeHost host;
        dir.Export(host, c.folder);
        EXPECT_EQ(host.calls, c.calls);
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_EQ(ReadIniString("FOLDERPATH", "CSV_FOLDER"), c.folder);
    }
    EXPECT_TRUE(fs::exists(dir.ListPath()));
}

// A link, FIFO or device of the list's name is refused before anything is asked or opened;
// a second hard link of a recording is a regular file: after the question it is replaced,
// and the recording keeps its bytes under its own name.
TEST(CsvExportJob, NeverWritesThroughWhatHoldsTheListsName) {
    using fixtures::Occupant;
    const struct {
        Occupant occupant;
        std::vector<int> messages;
        bool closed;  // the movie on screen was closed for the export
    } cases[] = {
        {Occupant::kSymlink, {93}, false},
        {Occupant::kDanglingLink, {93}, false},
        {Occupant::kFifo, {93}, false},
        {Occupant::kHardLink, {kTextOverwrite, 44}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fixtures::OccupantName(c.occupant));
        const CsvExportFolder dir;
        fixtures::OccupiedName occupied(c.occupant, dir.ListPath(), dir.Path() + "/recording.MOV");
        ASSERT_TRUE(occupied.Ready());
        FakeHost host;
        dir.Export(host, dir.Path());
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "close"), c.closed ? 1 : 0);
        EXPECT_EQ(occupied.Harm(), "");
        EXPECT_EQ(occupied.StillThere(), !c.closed);
    }
}

// The bar beside the report of a finished job stands at 100 %, drawn so, even when the
// job's last steps posted less (the freeing of a join's box trees posts its own share);
// a job that stopped early keeps what it reached and reports nothing.
TEST(JobFrame, AFinishedJobShowsAFullBarBesideItsReport) {
    const struct {
        const char* name;
        bool report;
        int percentAtEnd;
    } cases[] = {{"finished", true, 100}, {"stopped", false, 72}};
    const float oldScale = g_fScale;
    g_fScale = 1.0f;  // the bar's height
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        CSkinProgressBarCtrl bar(&host.window);
        host.window.show();
        CJobFrame frame(host, &bar);
        std::vector<int> shownAtReport;
        QImage barAtReport;
        host.onMessage = [&] {
            shownAtReport.push_back(bar.GetPos());
            barAtReport = bar.grab().toImage();
        };
        ASSERT_TRUE(frame.RunWorkerJob([&c](JobState& job) {
            job.Post(WM_APP_PROGRESS, 1, 3);
            job.Post(WM_APP_PROGRESS, 72, 100);
            job.report = c.report;
            job.result = 1;
            return unsigned(WM_APP_JOB_DONE);
        }));
        const std::vector<Posted> seen = RunToEnd(frame, host.queue);
        ASSERT_EQ(seen.back().msg, unsigned(WM_APP_JOB_DONE));
        if (!c.report) {
            EXPECT_TRUE(shownAtReport.empty());
            EXPECT_EQ(bar.GetPos(), c.percentAtEnd);
            continue;
        }
        ASSERT_EQ(shownAtReport, std::vector<int>{100});
        // Its top row all blue: no white part of the bar is left.
        int blue = 0;
        for (int x = 0; x < barAtReport.width(); ++x) blue += (barAtReport.pixel(x, 0) & 0xFFFFFFu) == 0x0000FFu;
        ASSERT_GT(barAtReport.width(), 0);
        EXPECT_EQ(blue, barAtReport.width());
    }
    g_fScale = oldScale;
}

// Three recordings to join in the folder "in" of `dir`, each a copy of one half-second movie
// (`made`) with the same rear companion and a data file.
struct JoinInputs {
    std::string made;
    std::string folder;
    std::vector<std::string> paths;
};

bool MakeJoinInputs(const std::string& dir, JoinInputs* inputs) {
    CardBuilder card(dir + "/in");
    fixtures::MovieSpec params;
    params.seconds = 0.5;
    params.frameNumber = false;
    inputs->made = dir + "/made.mp4";
    inputs->folder = card.Root();
    if (!fixtures::MakeMovie(params, inputs->made, nullptr)) return false;
    for (int i = 1; i <= 3; ++i) {
        RecordingSpec rec;
        rec.layout = -1;
        rec.serial = i;
        rec.time = "12000" + std::to_string(i);
        rec.movieFile = rec.companionFile = inputs->made;
        rec.data = fixtures::DataBlock{};
        inputs->paths.push_back(card.AddRecording(rec));
    }
    return true;
}

// A join's three recordings and the settings file in the test's own folder.
class JoinJob : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
        ASSERT_TRUE(MakeJoinInputs(dir.Path(), &inputs));
        settings.emplace(dir.Path());
    }

    fixtures::TempDir dir;
    JoinInputs inputs;
    const std::vector<std::string>& paths = inputs.paths;
    std::optional<SettingsIn> settings;
};

TEST_F(JoinJob, JoinsTheTickedMoviesAndMarksThem) {
    const std::string& made = inputs.made;
    // The output's movie, companion and data file, by name.
    const std::string output = dir.Path() + "/out/" + fs::path(paths[1]).filename().string();
    std::vector<std::string> outputParts;
    for (const std::string& part : {output, CompanionFileName(output), DataFileOfMovie(output)})
        outputParts.push_back(fs::path(part).filename().string());
    const struct {
        std::string folder;  // where the output goes
        int result;
        std::vector<int> messages;
        std::vector<std::vector<std::string>> replaced;  // what the question named
        std::int32_t mark;
        std::string stored;  // the output folder the settings keep afterwards
    } cases[] = {
        {dir.Path() + "/out", 1, {44}, {}, 1, dir.Path() + "/out"},
        // Again: the question names every part that is replaced.
        {dir.Path() + "/out", 1, {90, 44}, {outputParts}, 1, dir.Path() + "/out"},
        // Into the inputs' own folder under the first one's name: refused, nothing changed.
        {inputs.folder, 1, {90, 92}, {outputParts}, 0, dir.Path() + "/out"},
        // A link at the output's name: refused before any question, the link left as it was.
        {dir.Path() + "/linked", 0, {92}, {}, 0, dir.Path() + "/out"},
    };
    fs::create_directories(dir.Path() + "/linked");
    const std::string link = dir.Path() + "/linked/" + fs::path(paths[1]).filename().string();
    fs::create_symlink(paths[0], link);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        fs::create_directories(c.folder);
        FakeHost host;
        host.folder = EntriesOf(paths);
        host.tick = {1, 2};
        host.pickedFolder = c.folder;
        CJobFrame frame(host, nullptr);
        frame.OnJoinMovies();
        EXPECT_EQ(RunToEnd(frame, host.queue).back(), (Posted{WM_APP_JOB_DONE, 0, c.result}));
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_EQ(host.replaced, c.replaced);
        EXPECT_EQ(host.folder[0].reserved, 0);
        EXPECT_EQ(host.folder[1].reserved, c.mark);
        EXPECT_EQ(host.folder[2].reserved, c.mark);
        // Only a join that ran leaves the channels rewound.
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "rewind"), c.result);
        EXPECT_FALSE(frame.m_bJoinPending);
        EXPECT_EQ(ReadIniString("FOLDERPATH", "CONNECT_FOLDER"), c.stored);
        for (const std::string& p : paths)
            EXPECT_EQ(fs::file_size(p), fs::file_size(made));
    }
    EXPECT_GT(fs::file_size(dir.Path() + "/out/" + fs::path(paths[1]).filename().string()),
              fs::file_size(paths[1]));
    EXPECT_EQ(fs::read_symlink(link), paths[0]);
}

// A join whose output goes without a data file says so in its report, and why; one that
// takes a recording's data file as it was left when its power failed (no count, no end tag)
// reports plain success and writes the records.
TEST_F(JoinJob, TheReportTellsWhyTheJoinedMovieHasNoDataFile) {
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "the first data file missing" : "the first data file's power failed");
        fixtures::DataBlock block;
        block.records.resize(20);
        for (const std::string& p : paths) {
            ASSERT_TRUE(fixtures::WriteFileBytes(DataFileOfMovie(p), block.Bytes()));
        }
        block.countField = kUncountedRecords;
        block.endTag = false;
        if (missing) {
            fs::remove(DataFileOfMovie(paths[0]));
        } else {
            ASSERT_TRUE(fixtures::WriteFileBytes(DataFileOfMovie(paths[0]), block.Bytes()));
        }

        FakeHost host;
        host.folder = EntriesOf(paths);
        host.tick = {0, 1};
        host.pickedFolder = dir.Path() + "/out-" + std::to_string(missing);
        fs::create_directories(host.pickedFolder);
        CJobFrame frame(host, nullptr);
        frame.OnJoinMovies();
        EXPECT_EQ(RunToEnd(frame, host.queue).back(), (Posted{WM_APP_JOB_DONE, 0, 1}));
        EXPECT_EQ(host.messages, std::vector<int>{44});
        const std::string output = host.pickedFolder + "/" + fs::path(paths[0]).filename().string();
        EXPECT_EQ(host.notes, missing ? std::vector<std::string>{JoinDataNote(JoinDataLoss::kMissing, paths[0])}
                                      : std::vector<std::string>{});
        ASSERT_EQ(fs::exists(DataFileOfMovie(output)), !missing);
        if (!missing) {
            EXPECT_EQ(fs::file_size(DataFileOfMovie(output)), 34u + (20 + 20 + 2) * 124u + 6u);
        }
    }
    // The note names the recording and the reason in the user's words.
    EXPECT_EQ(JoinDataNote(JoinDataLoss::kCut, "/card/AG_S-220101-120000-000001M.MOV"),
              "連結した動画にデータファイルはありません。\n「AG_S-220101-120000-000001M.MOV」のデータファイルが途中で切れています。");
    EXPECT_EQ(JoinDataNote(JoinDataLoss::kNone, "/card/x.MOV"), "");
}

// The join's steps on one scale: opening to 10 %, the front and rear movies' bytes to 95 %
// by their sizes, the freeing to 99 %, 100 % only at success; never back, and held where it
// stood once the join did not finish.
TEST(JoinProgressScale, OneScaleFromTheFirstMovieToTheEnd) {
    using Step = JoinProgressScale::Step;
    struct Event {
        bool enter;  // else a report
        Step step;
        std::uint64_t a, b;  // enter: front and rear bytes; report: done and total
        int percent;
    };
    const struct {
        const char* name;
        std::vector<Event> events;
    } cases[] = {
        {"succeeds",
         {{false, {}, 1, 3, 3}, {false, {}, 3, 3, 10}, {true, Step::Writing, 300, 100, 10},
          {false, {}, 150, 300, 41}, {false, {}, 300, 300, 73}, {false, {}, 50, 100, 84}, {false, {}, 100, 100, 95},
          {true, Step::Freeing, 0, 0, 95}, {false, {}, 55, 110, 97}, {false, {}, 110, 110, 99},
          {true, Step::Succeeded, 0, 0, 100}, {false, {}, 1, 2, 100}}},
        {"fails while writing",
         {{false, {}, 3, 3, 10}, {true, Step::Writing, 300, 100, 10}, {false, {}, 150, 300, 41},
          {true, Step::Unfinished, 0, 0, 41}, {false, {}, 300, 300, 41}, {true, Step::Freeing, 0, 0, 41},
          {false, {}, 110, 110, 41}, {true, Step::Succeeded, 0, 0, 41}}},
        {"rear as large as the front: its pass starts again from 0",
         {{true, Step::Writing, 100, 100, 10}, {false, {}, 100, 100, 52}, {false, {}, 50, 100, 73},
          {false, {}, 0, 0, 73}, {false, {}, 100, 100, 95}}},
        {"no rear: the front takes the whole writing", {{true, Step::Writing, 100, 0, 10}, {false, {}, 50, 100, 52}}},
    };
    for (const auto& c : cases) {
        JoinProgressScale scale;
        for (std::size_t i = 0; i < c.events.size(); ++i) {
            const Event& e = c.events[i];
            const int percent = e.enter ? (scale.Enter(e.step, e.a, e.b), scale.Percent()) : scale.Report(e.a, e.b);
            EXPECT_EQ(percent, e.percent) << c.name << ", event " << i;
        }
    }
}

// The bar of a join never goes back and reads 100 % only when the join succeeded: a join that
// fails once its output was written (an input changed meanwhile) stays below it under the error.
TEST_F(JoinJob, TheBarRisesOnOneScaleAndIsFullOnlyWhenTheJoinSucceeded) {
    const struct {
        const char* name;
        bool inputChanges;
        std::vector<int> messages;
    } cases[] = {{"succeeds", false, {44}}, {"an input changes while the output is written", true, {92}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.folder = EntriesOf(paths);
        host.tick = {0, 1, 2};
        host.pickedFolder = dir.Path() + "/out-" + std::to_string(&c - cases);
        fs::create_directories(host.pickedFolder);
        CSkinProgressBarCtrl bar(&host.window);
        std::vector<int> barAtMessage;
        host.onMessage = [&] { barAtMessage.push_back(bar.GetPos()); };
        bool changed = false;
        const fs::file_time_type stamp = fs::last_write_time(paths[2]);
        host.queue.onPost = [&](const Posted& p) {
            // The writing has begun: past the opening's 10 %.
            if (!c.inputChanges || changed || p.msg != WM_APP_PROGRESS || p.lParam != 100 || p.wParam <= 10) return;
            changed = true;
            fs::last_write_time(paths[2], stamp + std::chrono::hours(1));
        };
        CJobFrame frame(host, &bar);
        frame.OnJoinMovies();
        const std::vector<Posted> seen = RunToEnd(frame, host.queue);
        fs::last_write_time(paths[2], stamp);
        EXPECT_EQ(host.messages, c.messages);
        std::vector<int> percents;
        for (const Posted& p : seen)
            if (p.msg == WM_APP_PROGRESS && p.lParam > 0) percents.push_back(int(p.wParam * 100 / WPARAM(p.lParam)));
        ASSERT_GT(percents.size(), 3u);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << ::testing::PrintToString(percents);
        const bool succeeded = !c.inputChanges;
        EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), succeeded ? 1 : 0) << ::testing::PrintToString(percents);
        ASSERT_EQ(barAtMessage.size(), 1u);
        if (succeeded) {
            EXPECT_EQ(barAtMessage[0], 100);
        } else {
            EXPECT_TRUE(changed);
            EXPECT_GT(barAtMessage[0], 10);
            EXPECT_LT(barAtMessage[0], 100);
        }
    }
}

}  // namespace
}  // namespace orv
