// Joining real H.264/AAC movies made by ffmpeg, checked by ffprobe and a full decode, and the
// table merges on hand-made payloads.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "fixtures/CardBuilder.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/ToneTrack.h"
#include "platform/base/AppMessage.h"
#include "platform/base/CommitJournal.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementFile.h"
#include "recorder/BigEndian.h"
#include "recorder/CardLayout.h"
#include "recorder/MovieJoin.h"
#include "recorder/RecorderMovieData.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using fixtures::CardBuilder;

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p))
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

double Probe(const std::string& path, const std::string& stream, const std::string& entry,
             bool countFrames = false) {
    return std::atof(Shell("ffprobe -v error " + std::string(countFrames ? "-count_frames " : "") +
                         "-select_streams " + stream + " -show_entries stream=" + entry +
                         " -of csv=p=0 '" + path + "'")
                         .c_str());
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t w : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(std::uint8_t(w >> shift));
    return out;
}

fixtures::DataBlock Records(int count) {
    fixtures::DataBlock block;
    for (int i = 0; i < count; ++i) {
        block.records.emplace_back();
        block.records.back().speed = fixtures::SpeedText(i);
    }
    return block;
}

// Three recordings of different lengths and record counts (the second has none), with rear
// companions, data files and the recorder block in a "udat" box of each movie.
class MovieJoinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fixtures::HaveFfmpeg()) return;
        dir_ = new fixtures::TempDir;
        CardBuilder card(dir_->Path() + "/in");
        const double seconds[] = {2.0, 1.0, 1.5};
        const int records[] = {5, 0, 7};
        for (int i = 0; i < 3; ++i) {
            fixtures::MovieSpec params;
            params.seconds = seconds[i];
            params.frameNumber = false;
            // The first movie's tables stand before its media data, so they push it back
            // as they grow.
            params.moovFirst = i == 0;
            const std::string made = dir_->Path() + "/made" + std::to_string(i) + ".mp4";
            ASSERT_TRUE(fixtures::MakeMovie(params, made, nullptr));
            ASSERT_TRUE(fixtures::AppendTopLevelBox(made, "udat", Records(records[i]).Bytes()));
            fixtures::RecordingSpec rec;
            rec.layout = -1;
            rec.serial = i + 1;
            rec.time = "12000" + std::to_string(i);
            rec.movieFile = rec.companionFile = made;
            rec.data = Records(records[i]);
            inputs_.push_back(card.AddRecording(rec));
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
        inputs_.clear();
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "ffmpeg is not available";
        out_ = dir_->Path() + "/out" + std::to_string(counter_++);
        fs::create_directories(out_);
    }

    static std::vector<std::string> InputFiles() {
        std::vector<std::string> files;
        for (const std::string& p : inputs_)
            for (const std::string& f : {p, CompanionFileName(p), DataFileOfMovie(p)})
                files.push_back(f);
        return files;
    }
    static std::vector<std::string> Snapshot() {
        std::vector<std::string> all;
        for (const std::string& f : InputFiles())
            all.push_back(Contents(f));
        return all;
    }
    static bool Join(sMOVIEJOIN& join, std::size_t count) {
        if (!BeginJoin(join, inputs_[0])) return false;
        for (std::size_t i = 1; i < count; ++i)
            if (!AppendMovieToJoin(join, inputs_[i])) return false;
        return true;
    }

    static inline fixtures::TempDir* dir_ = nullptr;
    static inline std::vector<std::string> inputs_;
    static inline int counter_ = 0;
    std::string out_;
};

TEST_F(MovieJoinTest, JoinedMovieHoldsEveryFrameAndDecodesCleanly) {
    const auto before = Snapshot();
    // Records: the first movie's, then each following one's with its last record twice more.
    const struct {
        std::size_t movies;
        std::size_t records;
    } cases[] = {{2, 5}, {3, 5 + 7 + 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.movies);
        sMOVIEJOIN join;
        ASSERT_TRUE(Join(join, c.movies)) << join.error;
        const std::string output = out_ + "/" + fs::path(inputs_[0]).filename().string();
        ASSERT_TRUE(WriteJoinedMovie(join, output)) << join.error;
        FreeJoin(join);

        for (const std::string& movie : {output, CompanionFileName(output)}) {
            double frames = 0, audio = 0;
            for (std::size_t i = 0; i < c.movies; ++i) {
                frames += Probe(inputs_[i], "v:0", "nb_read_frames", true);
                audio += Probe(inputs_[i], "a:0", "duration");
            }
            EXPECT_GT(frames, 0);
            EXPECT_EQ(Probe(movie, "v:0", "nb_read_frames", true), frames);
            EXPECT_NEAR(Probe(movie, "a:0", "duration"), audio, 1024.0 / 44100);
            EXPECT_EQ(Shell("ffmpeg -v error -i '" + movie + "' -f null -"), "");
        }
        auto data = ReadRecorderMovie(output);
        ASSERT_TRUE(data);
        EXPECT_EQ(data->records.size(), c.records);
        // The block inside the movie carries the same records.
        auto boxes = OpenMovieBoxes(output, true, false, 0);
        ASSERT_TRUE(boxes);
        std::vector<sMP4BOX*> udat;
        CollectBoxesByType(udat, boxes->root, "udat");
        ASSERT_EQ(udat.size(), 1u);
        EXPECT_EQ(WalkRawRecords(*udat[0]->payload, [](std::int32_t, RawRecord) {}).records,
                  std::int32_t(c.records));
    }
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(MovieJoinTest, OutputOverAnInputIsRefusedAndChangesNothing) {
    const auto before = Snapshot();
    sMOVIEJOIN join;
    ASSERT_TRUE(Join(join, 2)) << join.error;
    EXPECT_TRUE(JoinOutputCollides(join, inputs_[0]));
    EXPECT_FALSE(WriteJoinedMovie(join, inputs_[0]));
    // A second name that is the same file (a hard link) is caught as well.
    const std::string link = out_ + "/" + fs::path(inputs_[1]).filename().string();
    fs::create_hard_link(inputs_[1], link);
    EXPECT_FALSE(WriteJoinedMovie(join, link));
    FreeJoin(join);
    EXPECT_EQ(Snapshot(), before);
    const auto folder = fs::path(inputs_[0]).parent_path();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 9);
}

// A join that cannot finish (stopped, the disk full, its companion not placeable) leaves the
// output folder as it was: no partial output, no temporary file, and a file it was to replace
// untouched.
TEST_F(MovieJoinTest, JoinThatCannotFinishLeavesTheFolderAsItWas) {
    enum class Trouble { Stop, DiskFull, CompanionBlocked };
    for (const Trouble trouble : {Trouble::Stop, Trouble::DiskFull, Trouble::CompanionBlocked}) {
        SCOPED_TRACE(int(trouble));
        const std::string folder = out_ + "/" + std::to_string(int(trouble));
        fs::create_directories(folder);
        const std::string output = folder + "/" + fs::path(inputs_[0]).filename().string();
        if (trouble == Trouble::CompanionBlocked) {
            // An earlier file of the output's name, and a folder where the companion goes.
            std::ofstream(output) << "earlier";
            fs::create_directories(CompanionFileName(output) + "/inside");
        }
        std::vector<std::string> before;
        for (const auto& e : fs::directory_iterator(folder))
            before.push_back(e.path().filename().string());

        sMOVIEJOIN join;
        std::atomic<bool> running{true};
        // The first piece of media data copied stops the join.
        join.progressWindow = RegisterAppWindow([&](unsigned msg, WPARAM, LPARAM) {
            if (msg == WM_APP_PROGRESS && trouble == Trouble::Stop) running = false;
        });
        ASSERT_TRUE(Join(join, 3)) << join.error;
        join.keepRunning = &running;
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{64 << 10, limit.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (trouble == Trouble::DiskFull) ::setrlimit(RLIMIT_FSIZE, &full);
        EXPECT_FALSE(WriteJoinedMovie(join, output));
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);
        FreeJoin(join);
        UnregisterAppWindow(join.progressWindow);

        std::vector<std::string> after;
        for (const auto& e : fs::directory_iterator(folder))
            after.push_back(e.path().filename().string());
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, before);
        if (trouble == Trouble::CompanionBlocked) {
            EXPECT_EQ(Contents(output), "earlier");
        }
    }
}

// What a folder holds: each name with its kind and its bytes (or where a link points).
using FolderState = std::map<std::string, std::string>;
FolderState StateOf(const std::string& folder) {
    FolderState state;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        const auto kind = e.symlink_status().type();
        state[name] = kind == fs::file_type::regular    ? "file " + Contents(e.path().string())
                      : kind == fs::file_type::symlink ? "link " + fs::read_symlink(e.path()).string()
                                                       : "other " + std::to_string(int(kind));
    }
    return state;
}

// Names only: the bytes of a movie make no readable message.
void ExpectSameFolder(const FolderState& after, const FolderState& before) {
    for (const auto& [name, was] : before) {
        const auto now = after.find(name);
        EXPECT_TRUE(now != after.end() && now->second == was) << name << " is gone or changed";
    }
    for (const auto& [name, is] : after)
        EXPECT_TRUE(before.count(name)) << name << " is new";
}

// Real file operations, except that putting a file at `failing` fails.
class FailingPlacement final : public IFileOps {
public:
    explicit FailingPlacement(std::string failing) : failing_(std::move(failing)) {}
    bool IsHidden(const std::string& path) override { return RealFileOps().IsHidden(path); }
    bool SetHidden(const std::string& path, bool hidden) override { return RealFileOps().SetHidden(path, hidden); }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        if (to == failing_ && fs::path(from).filename().string().find("-tmp-") != std::string::npos) {
            errno = EIO;
            return false;
        }
        return RealFileOps().MoveNoReplace(from, to);
    }

private:
    std::string failing_;
};

// An older output whose movie, companion or data file cannot be replaced (something else
// has its name, or the last rename fails) stays whole, byte for byte: no part of it is
// removed, none replaced, and the join's files are gone.
TEST_F(MovieJoinTest, OlderOutputStaysWholeWhenAPartCannotBePutInPlace) {
    enum Part { kMovie, kCompanion, kData };
    enum class Block { Folder, Link, Fifo, FailingRename };
    const struct {
        const char* what;
        Part part;
        Block block;
    } cases[] = {
        {"a folder at the companion's name", kCompanion, Block::Folder},
        {"a folder at the movie's name", kMovie, Block::Folder},
        {"a link at the movie's name", kMovie, Block::Link},
        {"a FIFO at the data file's name", kData, Block::Fifo},
        {"the movie's last rename failing", kMovie, Block::FailingRename},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = out_ + "/" + std::to_string(&c - cases);
        fs::create_directories(folder);
        const std::string output = folder + "/" + fs::path(inputs_[0]).filename().string();
        const std::string parts[] = {output, CompanionFileName(output), DataFileOfMovie(output)};
        std::ofstream(folder + "/elsewhere") << "a file a link points to";
        for (int p = kMovie; p <= kData; ++p) {
            const std::string& path = parts[p];
            if (p != c.part || c.block == Block::FailingRename) std::ofstream(path) << "older part " << p;
            else if (c.block == Block::Folder) fs::create_directories(path + "/inside");
            else if (c.block == Block::Link) fs::create_symlink("elsewhere", path);
            else ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        }
        const FolderState before = StateOf(folder);

        sMOVIEJOIN join;
        ASSERT_TRUE(Join(join, 3)) << join.error;
        {
            FailingPlacement failing(c.block == Block::FailingRename ? parts[c.part] : std::string());
            ScopedFileOps ops(&failing);
            EXPECT_FALSE(WriteJoinedMovie(join, output));
        }
        EXPECT_NE(join.error.find(parts[c.part]), std::string::npos) << join.error;
        FreeJoin(join);
        ExpectSameFolder(StateOf(folder), before);
    }
}

// Copies of the first `count` recordings in `folder`: their movies, with their companions
// when `companions`, and never their data files.
std::vector<std::string> CopiesWithout(const std::vector<std::string>& inputs, std::size_t count,
                                       const std::string& folder, bool companions) {
    fs::create_directories(folder);
    std::vector<std::string> movies;
    for (std::size_t i = 0; i < count; ++i) {
        movies.push_back(folder + "/" + fs::path(inputs[i]).filename().string());
        fs::copy_file(inputs[i], movies.back());
        if (companions) fs::copy_file(CompanionFileName(inputs[i]), CompanionFileName(movies.back()));
    }
    return movies;
}

bool JoinInto(const std::vector<std::string>& movies, const std::string& output, std::string* error) {
    fs::create_directories(PathRemoveFileSpec(output));
    sMOVIEJOIN join;
    bool ok = BeginJoin(join, movies[0]);
    for (std::size_t i = 1; ok && i < movies.size(); ++i)
        ok = AppendMovieToJoin(join, movies[i]);
    ok = ok && WriteJoinedMovie(join, output);
    *error = join.error;
    FreeJoin(join);
    return ok;
}

// The output's movie, companion and data file, each as its bytes or "missing", and the
// folder's hidden files.
std::vector<std::string> OutputSet(const std::string& output) {
    std::vector<std::string> set;
    for (const std::string& part : {output, CompanionFileName(output), DataFileOfMovie(output)})
        set.push_back(fs::exists(part) ? Contents(part) : "missing");
    for (const auto& e : fs::directory_iterator(PathRemoveFileSpec(output)))
        if (e.path().filename().string().front() == '.') set.push_back("hidden " + e.path().filename().string());
    return set;
}

// A join into an existing output replaces it as a set: the older companion and data file
// go with the older movie when the new join has none of its own, so that the new movie is
// never shown with the older rear picture or the older records. A data file cut short counts
// as none: it would be written out as a whole one.
TEST_F(MovieJoinTest, ASecondJoinLeavesNoPartOfTheFirst) {
    const struct {
        const char* name;
        bool companions;
        bool cutData;  // the inputs have data files, the first one cut in its records
    } cases[] = {
        {"neither companions nor data", false, false},
        {"companions, no data", true, false},
        {"companions, a cut data file", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = out_ + "/" + std::to_string(&c - cases);
        const std::string output = folder + "/" + fs::path(inputs_[0]).filename().string();
        std::string error;
        ASSERT_TRUE(JoinInto(inputs_, output, &error)) << error;
        ASSERT_TRUE(fs::exists(CompanionFileName(output)) && fs::exists(DataFileOfMovie(output)));
        const std::vector<std::string> first = OutputSet(output);

        const auto movies = CopiesWithout(inputs_, 2, folder + "/in", c.companions);
        if (c.cutData) {
            for (std::size_t i = 0; i < movies.size(); ++i) {
                fs::create_directories(PathRemoveFileSpec(DataFileOfMovie(movies[i])));
                fs::copy_file(DataFileOfMovie(inputs_[i]), DataFileOfMovie(movies[i]));
            }
            const std::string cut = DataFileOfMovie(movies[0]);
            fs::resize_file(cut, fs::file_size(cut) / 2);
            const auto data = ReadRecorderMovie(movies[0]);
            ASSERT_TRUE(data && data->recordsCut);
        }
        ASSERT_TRUE(JoinInto(movies, output, &error)) << error;
        const std::vector<std::string> second = OutputSet(output);
        ASSERT_EQ(second.size(), 3u) << "a hidden file stayed: " << second.back().substr(0, 80);
        EXPECT_NE(second[0], first[0]);
        if (c.companions) {
            EXPECT_NE(second[1], first[1]);
            EXPECT_NE(second[1], "missing");
        } else {
            EXPECT_EQ(second[1], "missing");
        }
        EXPECT_EQ(second[2], "missing");
    }
}

// A join takes every data file whose records are whole, a recording's last one before its
// power failed among them (no count, no end tag, maybe zeros behind its records): the joined
// data file is the one of the intact files. A data file that is missing, unreadable or cut
// short of its count leaves the output without one, and the join tells why and whose.
TEST_F(MovieJoinTest, APowerCutDataFileIsJoinedWholeAndAMissingOneIsToldOf) {
    enum class State { kWhole, kPowerCut, kPowerCutZeros, kCutShort, kMissing, kForeign };
    const struct {
        const char* name;
        std::size_t input;  // whose data file is in that state
        State state;
        JoinDataLoss loss;
    } cases[] = {
        {"every data file whole", 0, State::kWhole, JoinDataLoss::kNone},
        {"the first one's power failed", 0, State::kPowerCut, JoinDataLoss::kNone},
        {"the last one's power failed, zeros behind", 2, State::kPowerCutZeros, JoinDataLoss::kNone},
        {"the first one cut short of its count", 0, State::kCutShort, JoinDataLoss::kCut},
        {"the second one has none", 1, State::kMissing, JoinDataLoss::kMissing},
        {"the last one holds no recorder data", 2, State::kForeign, JoinDataLoss::kUnreadable},
    };
    std::string intact;  // the joined data file of the intact inputs
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = out_ + "/" + std::to_string(&c - cases);
        const auto movies = CopiesWithout(inputs_, inputs_.size(), folder + "/in", true);
        for (std::size_t i = 0; i < movies.size(); ++i) {
            fs::create_directories(PathRemoveFileSpec(DataFileOfMovie(movies[i])));
            fs::copy_file(DataFileOfMovie(inputs_[i]), DataFileOfMovie(movies[i]));
        }
        const std::string data = DataFileOfMovie(movies[c.input]);
        std::string bytes = Contents(data);
        ASSERT_EQ(bytes.substr(bytes.size() - 12, 6), "CSMEND");
        switch (c.state) {
        case State::kWhole: break;
        case State::kPowerCut:
        case State::kPowerCutZeros:
            bytes[32] = bytes[33] = char(0xFF);
            bytes.resize(bytes.size() - 12);  // "CSMEND" and the recorder's number
            if (c.state == State::kPowerCutZeros) bytes.resize(bytes.size() + 300 * sRAWRECORD::kSize, '\0');
            break;
        case State::kCutShort: bytes.resize(bytes.size() / 2); break;
        case State::kMissing: bytes.clear(); break;
        case State::kForeign: bytes.assign(400, 'x'); break;
        }
        if (c.state == State::kMissing) {
            fs::remove(data);
        } else {
            std::ofstream(data, std::ios::binary | std::ios::trunc) << bytes;
        }

        const std::string output = folder + "/out/" + fs::path(movies[0]).filename().string();
        fs::create_directories(PathRemoveFileSpec(output));
        sMOVIEJOIN join;
        bool joined = BeginJoin(join, movies[0]);
        for (std::size_t i = 1; joined && i < movies.size(); ++i) joined = AppendMovieToJoin(join, movies[i]);
        ASSERT_TRUE(joined && WriteJoinedMovie(join, output)) << join.error;
        FreeJoin(join);
        EXPECT_EQ(join.dataLoss, c.loss);
        EXPECT_EQ(join.dataLossMovie, c.loss == JoinDataLoss::kNone ? "" : movies[c.input]);
        EXPECT_TRUE(fs::exists(CompanionFileName(output)));
        if (c.loss != JoinDataLoss::kNone) {
            EXPECT_FALSE(fs::exists(DataFileOfMovie(output)));
            continue;
        }
        const std::string written = Contents(DataFileOfMovie(output));
        if (c.state == State::kWhole) intact = written;
        ASSERT_FALSE(intact.empty());
        EXPECT_EQ(written.size(), intact.size());
        EXPECT_TRUE(written == intact);
        const auto records = ReadRecorderMovie(output);
        ASSERT_TRUE(records);
        EXPECT_EQ(records->records.size(), 5u + 7u + 2u);
    }
}

int g_stopJoinAt = -1;
void StopJoinAtChosenStep(int step) {
    if (step == g_stopJoinAt) ::raise(SIGKILL);
}

// A join killed at any step of putting its output in place, over an older output with a
// companion and a data file, leaves one output whole once the next writer in the folder or
// the next start has looked: the older set, or the new movie alone. No finished movie is
// removed.
TEST_F(MovieJoinTest, AJoinKilledAtAnyStepLeavesOneOutputWhole) {
    const std::string name = fs::path(inputs_[0]).filename().string();
    const auto movies = CopiesWithout(inputs_, 2, out_ + "/in", false);
    std::string error;
    ASSERT_TRUE(JoinInto(inputs_, out_ + "/older/" + name, &error)) << error;
    ASSERT_TRUE(JoinInto(movies, out_ + "/newer/" + name, &error)) << error;
    const std::vector<std::string> older = OutputSet(out_ + "/older/" + name);
    const std::vector<std::string> newer = OutputSet(out_ + "/newer/" + name);

    const std::string folder = out_ + "/joined", output = folder + "/" + name;
    int stopAt = 0;
    for (;; ++stopAt) {
        SCOPED_TRACE("stopped at step " + std::to_string(stopAt));
        fs::remove_all(folder);
        fs::copy(out_ + "/older", folder);
        sMOVIEJOIN join;
        ASSERT_TRUE(BeginJoin(join, movies[0]) && AppendMovieToJoin(join, movies[1])) << join.error;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            g_stopJoinAt = stopAt;
            SetCommitStepHook(StopJoinAtChosenStep);
            ::_exit(WriteJoinedMovie(join, output) ? 0 : 1);
        }
        FreeJoin(join);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        // The program's next start, or a next join into the folder.
        if (stopAt % 2) FinishInterruptedWrites(folder);
        else {
            ReplacementFile next(folder + "/other");
        }
        std::vector<std::string> set = OutputSet(output);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
            EXPECT_TRUE(set == newer);
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status));
        if (stopAt == 0) {
            // Killed before its journal: the older output, and the new movie kept for now.
            ASSERT_EQ(set.size(), 4u);
            EXPECT_EQ(Contents(folder + "/" + set.back().substr(7)), newer[0]);
            set.pop_back();
            EXPECT_TRUE(set == older);
        } else {
            EXPECT_TRUE(set == newer);
        }
    }
    // Before the journal, the journal, companion and data file and the movie aside, the
    // movie in place, the journal marked, three older files and the journal removed.
    EXPECT_EQ(stopAt, 11);
}

// The pipes between a test and the joins it runs in child processes.
int g_pauseAt = -1;
int g_pausedFd = -1;  // a join tells here that it stands at g_pauseAt
int g_goFd = -1;      // and goes on when a byte comes from here
int g_waitsFd = -1;   // a join tells here that it waits for another's commit
void PauseOrTell(int step) {
    char byte = 'x';
    if (step == kCommitWaits && g_waitsFd >= 0) (void)!::write(g_waitsFd, &byte, 1);
    if (step != g_pauseAt) return;
    (void)!::write(g_pausedFd, &byte, 1);
    (void)!::read(g_goFd, &byte, 1);
}

// Runs `join` into `output` in a child process, its steps told to PauseOrTell once
// `prepare` has set it up; the child's id.
template <typename Prepare>
pid_t JoinInChild(sMOVIEJOIN& join, const std::string& output, Prepare prepare) {
    if (const pid_t child = ::fork(); child != 0) return child;
    prepare();
    SetCommitStepHook(PauseOrTell);
    ::_exit(WriteJoinedMovie(join, output) ? 0 : 1);
}

// Whether a byte came from `fd` before its writers closed it, waiting at most a minute.
bool ByteCame(int fd) {
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&p, 1, 60'000) == 1 && ::read(fd, &byte, 1) == 1;
}

// Two joins into one output name at once, each in a process of its own, the second started
// while the first stands at one step or another of putting its output in place: the second
// waits for the first commit to end, and then puts its own set in place whole; or, when it
// may not wait that long, it fails and changes nothing. The visible output is always one
// join's whole set: that of the join that ended last with success.
TEST_F(MovieJoinTest, TwoJoinsIntoOneNameAtOnceLeaveOneJoinsWholeSet) {
    const std::string name = fs::path(inputs_[0]).filename().string();
    std::string error;
    // The older output, the first join's (all three recordings, with companions and records)
    // and the second's (the last two recordings, neither companions nor data files).
    ASSERT_TRUE(JoinInto({inputs_[0], inputs_[1]}, out_ + "/older/" + name, &error)) << error;
    ASSERT_TRUE(JoinInto(inputs_, out_ + "/first/" + name, &error)) << error;
    const auto second = CopiesWithout({inputs_[1], inputs_[2]}, 2, out_ + "/in", false);
    ASSERT_TRUE(JoinInto(second, out_ + "/second/" + name, &error)) << error;
    std::map<std::string, std::vector<std::string>> sets;
    for (const char* which : {"older", "first", "second"})
        sets[which] = OutputSet(out_ + "/" + which + "/" + name);
    ASSERT_NE(sets["first"], sets["older"]);
    ASSERT_NE(sets["second"], sets["older"]);

    const std::string folder = out_ + "/joined", output = folder + "/" + name;
    // Steps of the first commit: before its journal, moving the data file aside, the companion
    // in place, the movie in place, removing the older files (after the journal's mark).
    for (const int pauseAt : {0, 2, 5, 7, 10}) {
        for (const bool secondWaits : {true, false}) {
            SCOPED_TRACE("second started at step " + std::to_string(pauseAt) + (secondWaits ? ", waiting" : ", not waiting"));
            fs::remove_all(folder);
            fs::copy(out_ + "/older", folder);
            sMOVIEJOIN first, later;
            ASSERT_TRUE(BeginJoin(first, inputs_[0]) && AppendMovieToJoin(first, inputs_[1]) &&
                        AppendMovieToJoin(first, inputs_[2]))
                << first.error;
            ASSERT_TRUE(BeginJoin(later, second[0]) && AppendMovieToJoin(later, second[1])) << later.error;

            int paused[2], go[2], waits[2];
            ASSERT_EQ(::pipe(paused), 0);
            ASSERT_EQ(::pipe(go), 0);
            const pid_t firstChild = JoinInChild(first, output, [&] {
                for (const int fd : {paused[0], go[1]})
                    ::close(fd);
                g_pauseAt = pauseAt;
                g_pausedFd = paused[1];
                g_goFd = go[0];
            });
            ASSERT_GE(firstChild, 0);
            ::close(paused[1]);
            ::close(go[0]);
            ASSERT_TRUE(ByteCame(paused[0])) << "the first join did not reach its step";
            ASSERT_EQ(::pipe(waits), 0);
            const pid_t secondChild = JoinInChild(later, output, [&] {
                for (const int fd : {waits[0], paused[0], go[1]})
                    ::close(fd);
                g_waitsFd = waits[1];
                SetCommitLockWait(secondWaits ? std::chrono::minutes(2) : std::chrono::milliseconds(0));
            });
            ASSERT_GE(secondChild, 0);
            ::close(waits[1]);
            EXPECT_TRUE(ByteCame(waits[0])) << "the second join did not wait for the first";
            int secondStatus = 0;
            if (!secondWaits) {
                ASSERT_EQ(::waitpid(secondChild, &secondStatus, 0), secondChild);
            }
            const char byte = 'g';
            EXPECT_EQ(::write(go[1], &byte, 1), 1);
            int firstStatus = 0;
            ASSERT_EQ(::waitpid(firstChild, &firstStatus, 0), firstChild);
            if (secondWaits) {
                ASSERT_EQ(::waitpid(secondChild, &secondStatus, 0), secondChild);
            }
            for (int fd : {paused[0], go[1], waits[0]})
                ::close(fd);
            FreeJoin(first);
            FreeJoin(later);

            EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
            EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == (secondWaits ? 0 : 1));
            const auto set = OutputSet(output);
            EXPECT_TRUE(set == sets[secondWaits ? "second" : "first"])
                << "a mixed set or a hidden file: " << set.size() << " names, the movie "
                << (set[0] == sets["first"][0] ? "the first's" : set[0] == sets["second"][0] ? "the second's" : "another");
        }
    }
}

// The media data is copied from the files whose boxes were read. An input that another
// movie replaces, or that is rewritten where it lies, while the join copies fails the join
// with its name, and nothing is written.
TEST_F(MovieJoinTest, InputChangedWhileJoiningFailsTheJoin) {
    enum class Change { RenamedOver, RewrittenInPlace };
    for (const Change change : {Change::RenamedOver, Change::RewrittenInPlace}) {
        SCOPED_TRACE(int(change));
        const std::string in = out_ + "/in" + std::to_string(int(change));
        const std::string folder = out_ + "/joined" + std::to_string(int(change));
        fs::create_directories(in);
        fs::create_directories(folder);
        std::vector<std::string> movies;
        for (const std::string& f : InputFiles())
            fs::copy_file(f, in + "/" + fs::path(f).filename().string());
        for (const std::string& p : inputs_)
            movies.push_back(in + "/" + fs::path(p).filename().string());

        sMOVIEJOIN join;
        ASSERT_TRUE(BeginJoin(join, movies[0])) << join.error;
        for (std::size_t i = 1; i < movies.size(); ++i)
            ASSERT_TRUE(AppendMovieToJoin(join, movies[i])) << join.error;
        // The second movie changes as soon as the first one's media data was copied.
        bool changed = false;
        join.progressWindow = RegisterAppWindow([&](unsigned msg, WPARAM, LPARAM) {
            if (msg != WM_APP_PROGRESS || changed) return;
            changed = true;
            if (change == Change::RenamedOver) {
                fs::copy_file(movies[2], in + "/other");
                fs::rename(in + "/other", movies[1]);
            } else {
                std::fstream f(movies[1], std::ios::in | std::ios::out | std::ios::binary);
                f.seekp(std::streamoff(fs::file_size(movies[1]) / 2));
                f << "not the movie that was read";
            }
        });
        const std::string output = folder + "/" + fs::path(movies[0]).filename().string();
        EXPECT_FALSE(WriteJoinedMovie(join, output));
        UnregisterAppWindow(join.progressWindow);
        EXPECT_TRUE(changed);
        EXPECT_NE(join.error.find(movies[1]), std::string::npos) << join.error;
        FreeJoin(join);
        EXPECT_TRUE(fs::is_empty(folder));
    }
}

TEST_F(MovieJoinTest, MoviesOfOtherTracksAreRefused) {
    fixtures::MovieSpec noAudio, smaller;
    noAudio.audio = false;
    smaller.width = 160;
    smaller.height = 120;
    for (fixtures::MovieSpec params : {noAudio, smaller}) {
        SCOPED_TRACE(params.width);
        params.frameNumber = false;
        const std::string other = out_ + "/A___-220101-130000-000009M.MOV";
        ASSERT_TRUE(fixtures::MakeMovie(params, other, nullptr));
        sMOVIEJOIN join;
        ASSERT_TRUE(BeginJoin(join, inputs_[0]));
        const std::uint64_t mdat = join.firstFront->lists[LIST_MDAT][0]->payloadSize;
        EXPECT_FALSE(AppendMovieToJoin(join, other));
        EXPECT_EQ(join.firstFront->lists[LIST_MDAT][0]->payloadSize, mdat);
        EXPECT_FALSE(join.error.empty());
    }
}

// A movie with a second movie box after its media data is refused: the join would rewrite
// only the first, and the second would point at samples that moved.
TEST_F(MovieJoinTest, AMovieWithASecondMovieBoxIsRefused) {
    std::ifstream in(inputs_[1], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    std::vector<char> moov;
    while (at + 8 <= bytes.size()) {
        const auto size = std::size_t(ReadBe32(reinterpret_cast<const std::uint8_t*>(bytes.data() + at)));
        ASSERT_GE(size, 8u);
        if (std::string(bytes.data() + at + 4, 4) == "moov") moov.assign(bytes.begin() + std::ptrdiff_t(at),
                                                                       bytes.begin() + std::ptrdiff_t(at + size));
        at += size;
    }
    ASSERT_FALSE(moov.empty());
    const std::string twice = out_ + "/A___-220101-130000-000008M.MOV";
    std::ofstream(twice, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())).write(
        moov.data(), std::streamsize(moov.size()));
    auto first = OpenMovieBoxes(inputs_[0], true, false, 0);
    auto next = OpenMovieBoxes(twice, true, false, 0);
    ASSERT_TRUE(first && next);
    std::string error;
    EXPECT_FALSE(JoinMovieBoxes(*first, *next, &error));
    EXPECT_EQ(error, "a movie must hold one movie box");
}

// A following movie whose tables contradict each other would shift every later sample: it is
// refused, and the movie joined so far keeps every byte.
TEST_F(MovieJoinTest, TablesThatDisagreeAreRefused) {
    const struct {
        const char* type;  // of the video track's table
        std::size_t at;    // payload offset of the 32-bit field
        std::int64_t add;  // to the field; or, when `set` holds, the field's new value
        bool set;
    } cases[] = {
        {"stsc", 12, 1, false},           // one more sample in the first run of chunks
        {"stsc", 8, 2, true},             // the runs start at chunk 2
        {"stss", 8, 0, true},             // sync sample 0
        {"stco", 8, 0, true},             // a chunk outside the media data
        {"stts", 8, 1, false},            // one more timed sample than sizes
        {"stsz", 8, 0x40000000, false},   // more sizes than the table holds
        {"sbgp", 12, 1, false},           // a group naming one sample more than there are
        {"stsz", 12, 0x100000, false},    // a sample running past the media data
    };
    auto payloads = [](sMP4MOVIE& movie) {
        std::vector<std::vector<std::uint8_t>> all;
        for (const char* type : {"mvhd", "tkhd", "mdhd", "stts", "stss", "stsc", "stsz", "stco", "udat"}) {
            std::vector<sMP4BOX*> boxes;
            CollectBoxesByType(boxes, movie.root, type);
            for (const sMP4BOX* box : boxes)
                all.push_back(box->payload.value_or(std::vector<std::uint8_t>{}));
        }
        all.push_back(Bytes({std::uint32_t(movie.lists[LIST_MDAT][0]->payloadSize)}));
        return all;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.at));
        auto first = OpenMovieBoxes(inputs_[0], true, false, 0);
        auto next = OpenMovieBoxes(inputs_[1], true, false, 0);
        ASSERT_TRUE(first && next);
        std::vector<sMP4BOX*> boxes;
        CollectBoxesByType(boxes, next->root, c.type);  // the video's, or the audio's groups
        ASSERT_FALSE(boxes.empty());
        std::vector<std::uint8_t>& bytes = *boxes[0]->payload;
        ASSERT_GE(bytes.size(), c.at + 4);
        std::uint32_t value = ReadBe32(bytes.data() + c.at);
        value = c.set ? std::uint32_t(c.add) : std::uint32_t(value + c.add);
        const auto be = Bytes({value});
        std::copy(be.begin(), be.end(), bytes.begin() + std::ptrdiff_t(c.at));

        const auto before = payloads(*first);
        std::string error;
        EXPECT_FALSE(JoinMovieBoxes(*first, *next, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(payloads(*first), before);
    }
}

// The first movie's audio groups leave its last sample out: a run of "no group" fills the
// gap, so the next movie's groups start at its own first sample.
TEST_F(MovieJoinTest, NextMoviesSampleGroupsStartAtItsFirstSample) {
    auto first = OpenMovieBoxes(inputs_[0], true, false, 0);
    auto next = OpenMovieBoxes(inputs_[1], true, false, 0);
    ASSERT_TRUE(first && next);
    auto groups = [](sMP4MOVIE& movie) {
        std::vector<sMP4BOX*> boxes;
        CollectBoxesByType(boxes, movie.root, "sbgp");
        return boxes.size() == 1 ? &*boxes[0]->payload : nullptr;
    };
    std::vector<std::uint8_t>* mine = groups(*first);
    std::vector<std::uint8_t>* theirs = groups(*next);
    ASSERT_TRUE(mine && theirs && mine->size() == 20 && theirs->size() == 20);
    const std::uint32_t samples = ReadBe32(mine->data() + 12), nextSamples = ReadBe32(theirs->data() + 12);
    const auto shorter = Bytes({samples - 1});
    std::copy(shorter.begin(), shorter.end(), mine->begin() + 12);
    std::string error;
    ASSERT_TRUE(JoinMovieBoxes(*first, *next, &error)) << error;
    EXPECT_EQ(std::vector<std::uint8_t>(groups(*first)->begin() + 8, groups(*first)->end()),
              Bytes({3, samples - 1, 1, 1, 0, nextSamples, 1}));
}

TEST_F(MovieJoinTest, FollowingMovieWithoutEditListsOrCompanionIsJoinedWhole) {
    fixtures::MovieSpec params;
    params.frameNumber = false;
    params.extraArgs = "-use_editlist 0";
    const std::string plain = out_ + "/A___-220101-130000-000009M.MOV";
    ASSERT_TRUE(fixtures::MakeMovie(params, plain, nullptr));
    sMOVIEJOIN join;
    ASSERT_TRUE(BeginJoin(join, inputs_[0]));
    ASSERT_TRUE(AppendMovieToJoin(join, plain)) << join.error;
    // It has neither a companion nor a data file: the front movies are joined alone.
    EXPECT_FALSE(join.hasRear);
    EXPECT_FALSE(join.hasData);
    const std::string output = out_ + "/A___-220101-140000-000010M.MOV";
    ASSERT_TRUE(WriteJoinedMovie(join, output)) << join.error;
    EXPECT_FALSE(fs::exists(CompanionFileName(output)));
    EXPECT_FALSE(fs::exists(DataFileOfMovie(output)));
    // The demuxer drops the samples that no edit plays.
    EXPECT_EQ(Probe(output, "v:0", "nb_read_frames", true),
              Probe(inputs_[0], "v:0", "nb_read_frames", true) + Probe(plain, "v:0", "nb_read_frames", true));
}

// Each movie's sound starts behind its encoder's priming samples and ends in a frame that
// holds fewer samples than it decodes to. Joined, every movie's sound must still start where
// its picture does: the tone of each input is heard from within one audio frame of the
// joint, at every joint, the error not growing from joint to joint.
TEST_F(MovieJoinTest, SoundAtEveryJointIsWhereThePictureChanges) {
    const struct {
        double seconds;
        int toneHz;
    } movies[] = {{1.0, 400}, {0.7, 1000}, {1.3, 2200}, {1.0, 700}};
    constexpr int kRate = 48000, kFrame = 1024;
    std::vector<int> tones;
    std::vector<std::string> paths;
    std::vector<std::int64_t> joints;  // where each following movie's picture starts, in samples
    double pictureSeconds = 0;
    for (const auto& m : movies) {
        fixtures::MovieSpec params;
        params.seconds = m.seconds;
        params.toneHz = m.toneHz;
        params.frameNumber = false;
        paths.push_back(out_ + "/tone" + std::to_string(m.toneHz) + ".mp4");
        ASSERT_TRUE(fixtures::MakeMovie(params, paths.back(), nullptr));
        tones.push_back(m.toneHz);
        if (paths.size() > 1) joints.push_back(std::llround(pictureSeconds * kRate));
        pictureSeconds += Probe(paths.back(), "v:0", "nb_read_frames", true) / 30.0;
    }
    sMOVIEJOIN join;
    ASSERT_TRUE(BeginJoin(join, paths[0])) << join.error;
    for (std::size_t i = 1; i < paths.size(); ++i)
        ASSERT_TRUE(AppendMovieToJoin(join, paths[i])) << join.error;
    const std::string output = out_ + "/joined.mp4";
    ASSERT_TRUE(WriteJoinedMovie(join, output)) << join.error;

    const auto changes = fixtures::ToneChanges(fixtures::DecodeSound(output, kRate), kRate, tones);
    ASSERT_EQ(changes.size(), joints.size());
    for (std::size_t j = 0; j < joints.size(); ++j)
        EXPECT_NEAR(double(changes[j]), double(joints[j]), kFrame) << "joint " << j + 1;
    EXPECT_NEAR(Probe(output, "v:0", "duration"), pictureSeconds, 0.001);
}

TEST(MovieJoinTables, ChunkOffsetsAndSyncSamplesContinueTheFirstMovie) {
    const TableLayout offsets{8, 4, 4};
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(JoinBoxPayload(Bytes({0, 3, 100, 200, 300}), Bytes({0, 2, 10, 20}), offsets, 1000, &out));
    EXPECT_EQ(out, Bytes({0, 5, 100, 200, 300, 1010, 1020}));
    // Counts are bounded by the box: a count past the entries, or a sum past 32 bits, fails.
    EXPECT_FALSE(JoinBoxPayload(Bytes({0, 4, 1, 2, 3}), Bytes({0, 0}), offsets, 0, &out));
    EXPECT_FALSE(JoinBoxPayload(Bytes({0, 1, 0xFFFFFFF0}), Bytes({0, 1, 0x20}), offsets, 0xFFFFFFF0, &out));
    EXPECT_FALSE(JoinBoxPayload(Bytes({0}), Bytes({0, 0}), offsets, 0, &out));
}

TEST(MovieJoinTables, SampleSizesExpandWhenTheyDiffer) {
    const struct {
        std::vector<std::uint8_t> first, next, joined;
    } cases[] = {
        {Bytes({0, 7, 2}), Bytes({0, 7, 3}), Bytes({0, 7, 5})},
        {Bytes({0, 7, 2}), Bytes({0, 9, 1}), Bytes({0, 0, 3, 7, 7, 9})},
        {Bytes({0, 0, 2, 4, 5}), Bytes({0, 6, 2}), Bytes({0, 0, 4, 4, 5, 6, 6})},
        {Bytes({0, 0, 1, 4}), Bytes({0, 0, 2, 5, 6}), Bytes({0, 0, 3, 4, 5, 6})},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(JoinSampleSizes(c.first, c.next, 100, &out));
        EXPECT_EQ(out, c.joined);
    }
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(JoinSampleSizes(Bytes({0, 7, 200}), Bytes({0, 9, 1}), 100, &out));
    EXPECT_FALSE(JoinSampleSizes(Bytes({0, 0, 3, 1}), Bytes({0, 7, 1}), 100, &out));
}

TEST(MovieJoinTables, DurationsAddInTheirVersionsWidth) {
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(AddTableValue(Bytes({0, 0, 0, 0, 600, 1}), Bytes({0, 0, 0, 0, 400, 2}), 16, 24, &out));
    EXPECT_EQ(out, Bytes({0, 0, 0, 0, 1000, 1}));
    ASSERT_TRUE(AddTableValue(Bytes({0x01000000, 0, 0, 0, 0, 0, 1, 0xFFFFFFFF}),
                              Bytes({0x01000000, 0, 0, 0, 0, 0, 0, 1}), 16, 24, &out));
    EXPECT_EQ(out, Bytes({0x01000000, 0, 0, 0, 0, 0, 2, 0}));
    EXPECT_FALSE(AddTableValue(Bytes({0, 0, 0, 0, 0xFFFFFFFF}), Bytes({0, 0, 0, 0, 1}), 16, 24, &out));
    EXPECT_FALSE(AddTableValue(Bytes({0, 0, 0, 0, 1}), Bytes({0x01000000, 0, 0, 0, 0, 0, 1}), 16, 24, &out));
}

}  // namespace
}  // namespace orv
