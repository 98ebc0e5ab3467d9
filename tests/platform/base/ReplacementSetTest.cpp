#include "platform/base/ReplacementSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/CommitJournal.h"
#include "platform/base/ErrorReport.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/base/WriterName.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// Real file operations, except that the n-th move (from 1) fails.
class FailingMove final : public IFileOps {
public:
    explicit FailingMove(int failing) : failing_(failing) {}
    bool IsHidden(const std::string& path) override { return RealFileOps().IsHidden(path); }
    bool SetHidden(const std::string& path, bool hidden) override { return RealFileOps().SetHidden(path, hidden); }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        if (++moves_ == failing_) {
            errno = EIO;
            return false;
        }
        return RealFileOps().MoveNoReplace(from, to);
    }
    int moves() const { return moves_; }

private:
    int failing_;
    int moves_ = 0;
};

class ReplacementSetTest : public testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orv-replace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Every name in the folder with its kind and content.
    std::map<std::string, std::string> State() const {
        std::map<std::string, std::string> state;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const auto kind = e.symlink_status().type();
            std::string& s = state[e.path().filename().string()];
            s = "kind " + std::to_string(int(kind));
            if (kind != fs::file_type::regular) continue;  // a FIFO would wait for a writer
            std::ifstream in(e.path());
            s = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return state;
    }

    // Writes "new <name>" into a replacement of each name.
    std::vector<std::unique_ptr<ReplacementFile>> Written(const std::vector<std::string>& names) const {
        std::vector<std::unique_ptr<ReplacementFile>> files;
        for (const std::string& name : names) {
            files.push_back(std::make_unique<ReplacementFile>(PathAppend(dir_, name)));
            const std::string text = "new " + name;
            EXPECT_TRUE(files.back()->Write(text.data(), text.size()));
        }
        return files;
    }

    static bool Commit(std::vector<std::unique_ptr<ReplacementFile>>& files, std::string* error) {
        std::vector<ReplacementFile*> parts;
        for (auto& f : files)
            parts.push_back(f.get());
        return CommitTogether(parts, error);
    }

    std::string dir_;
};

// The new set is what stays: each target holds its new file, and an older part the new set
// lacks is gone with the other older parts; no hidden file (journal, older file) is left.
TEST_F(ReplacementSetTest, TheNewSetReplacesTheOlderOneWhole) {
    using Files = std::map<std::string, std::string>;
    const Files older{{"movie", "older movie"}, {"companion", "older companion"}, {"data", "older data"}};
    const struct {
        std::vector<std::string> written, withdrawn;
        Files before, after;
    } cases[] = {
        {{"movie", "companion", "data"}, {}, {}, {{"movie", "new movie"}, {"companion", "new companion"}, {"data", "new data"}}},
        {{"movie", "companion", "data"}, {}, older, {{"movie", "new movie"}, {"companion", "new companion"}, {"data", "new data"}}},
        {{"movie"}, {"companion", "data"}, older, {{"movie", "new movie"}}},
        {{"movie", "companion"}, {"data"}, older, {{"movie", "new movie"}, {"companion", "new companion"}}},
        // A part the older set did not have either.
        {{"movie"}, {"companion", "data"}, {{"movie", "older movie"}, {"data", "older data"}}, {{"movie", "new movie"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.written) + testing::PrintToString(c.before));
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        for (const auto& [name, text] : c.before)
            std::ofstream(PathAppend(dir_, name)) << text;
        auto files = Written(c.written);
        std::vector<std::string> withdrawn;
        for (const std::string& name : c.withdrawn)
            withdrawn.push_back(PathAppend(dir_, name));
        std::vector<ReplacementFile*> parts;
        for (auto& f : files)
            parts.push_back(f.get());
        std::string error;
        ASSERT_TRUE(CommitTogether(parts, withdrawn, &error)) << error;
        files.clear();
        EXPECT_EQ(State(), c.after);
    }
}

// Whichever step fails (moving an older file aside, putting a new one in its place), every
// step before it is undone: the older files are where they were, the new ones are gone.
TEST_F(ReplacementSetTest, AFailureAtAnyStepLeavesTheOlderFilesWhole) {
    const std::vector<std::string> names{"data", "companion", "movie"};
    std::ofstream(PathAppend(dir_, "data")) << "older data";
    std::ofstream(PathAppend(dir_, "movie")) << "older movie";  // the companion is new
    const auto before = State();
    // Aside and place for the data file and the movie, place for the companion.
    constexpr int kMoves = 5;
    for (int failing = 1; failing <= kMoves; ++failing) {
        SCOPED_TRACE(failing);
        auto files = Written(names);
        FailingMove ops(failing);
        {
            ScopedFileOps scoped(&ops);
            std::string error;
            EXPECT_FALSE(Commit(files, &error));
            EXPECT_NE(error.find("Input/output error"), std::string::npos) << error;
        }
        files.clear();
        EXPECT_EQ(State(), before);
    }
    FailingMove none(0);
    ScopedFileOps scoped(&none);
    auto files = Written(names);
    std::string error;
    EXPECT_TRUE(Commit(files, &error)) << error;
    EXPECT_EQ(none.moves(), kMoves);
}

// A link, a folder or a FIFO at a target's name is refused before anything moves; the link's
// file stays as it was.
TEST_F(ReplacementSetTest, ATargetThatIsNoFileIsRefusedBeforeAnythingMoves) {
    const struct {
        const char* what;
        void (*make)(const std::string& path);
    } cases[] = {
        {"link", [](const std::string& p) { fs::create_symlink("pointed", p); }},
        {"dangling link", [](const std::string& p) { fs::create_symlink("nowhere", p); }},
        {"folder", [](const std::string& p) { fs::create_directory(p); }},
        {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        std::ofstream(PathAppend(dir_, "pointed")) << "a file of its own";
        std::ofstream(PathAppend(dir_, "first")) << "older first";
        c.make(PathAppend(dir_, "second"));
        const auto before = State();
        auto files = Written({"first", "second"});
        std::string error;
        EXPECT_FALSE(Commit(files, &error));
        EXPECT_NE(error.find(PathAppend(dir_, "second")), std::string::npos) << error;
        files.clear();
        EXPECT_EQ(State(), before);
    }
}

// The step of a commit at which the child process is killed.
int g_stopAt = -1;
void StopAtChosenStep(int step) {
    if (step == g_stopAt) ::raise(SIGKILL);
}

// The commit of a writer in a child process, its steps seen by `hook`: a new data file and
// movie replace the older set, whose companion goes; exits 0 when the new set stands.
[[noreturn]] void CommitNewSetAndExit(CommitStepHook hook, const std::string& movie, const std::string& companion,
                                      const std::string& data) {
    SetCommitStepHook(hook);
    ReplacementFile newData(data), newMovie(movie);
    const bool written = newData.Write("new data", 8) && newMovie.Write("new movie", 9);
    ReplacementFile* parts[] = {&newData, &newMovie};
    const std::string withdrawn[] = {companion};
    ::_exit(written && CommitTogether(parts, withdrawn, nullptr) ? 0 : 1);
}

std::string ContentOrMissing(const std::string& path) {
    if (!fs::exists(fs::symlink_status(path))) return "missing";
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every hidden name below the folder with its content.
std::map<std::string, std::string> HiddenFiles(const std::string& folder) {
    std::map<std::string, std::string> hidden;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().front() == '.') hidden[e.path().string()] = ContentOrMissing(e.path());
    return hidden;
}

// A writer killed at any step of a commit (a new movie and data file replacing an older
// movie, companion and data file) leaves one set whole once the next writer in the folder,
// or the next start, has looked: after the journal stands the new set, before it the older
// one, never a mix or a missing part; and no new file is removed while it may still be
// needed. The same when the parts lie in sibling folders, as a card's movie and data
// folders do, and the journal in the folder above them.
TEST_F(ReplacementSetTest, AWriterKilledAtAnyStepLeavesOneSetWholeForTheNext) {
    const struct {
        const char* movie;
        const char* companion;
        const char* data;
        const char* writtenNext;  // the folder the next writer writes in
    } layouts[] = {
        {"movie", "companion", "data", ""},
        {"Normal/movie", "Normal/companion", "_NData/data", "_NData"},
    };
    for (const auto& layout : layouts) {
        const std::string movie = PathAppend(dir_, layout.movie), companion = PathAppend(dir_, layout.companion),
                          data = PathAppend(dir_, layout.data);
        const std::vector<std::string> older{"older movie", "older companion", "older data"};
        const std::vector<std::string> newer{"new movie", "missing", "new data"};
        int stopAt = 0;
        for (;; ++stopAt) {
            SCOPED_TRACE(std::string(layout.data) + " stopped at step " + std::to_string(stopAt));
            fs::remove_all(dir_);
            const std::string* targets[] = {&movie, &companion, &data};
            for (std::size_t i = 0; i < 3; ++i) {
                fs::create_directories(PathRemoveFileSpec(*targets[i]));
                std::ofstream(*targets[i]) << older[i];
            }
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                g_stopAt = stopAt;
                CommitNewSetAndExit(StopAtChosenStep, movie, companion, data);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            const auto hiddenAtKill = HiddenFiles(dir_);
            const std::string next = PathAppend(dir_, layout.writtenNext);
            if (stopAt % 2) FinishInterruptedWrites(next);
            else {
                ReplacementFile other(PathAppend(next, "other"));
                ASSERT_TRUE(other.Commit());
            }
            const std::vector<std::string> visible{ContentOrMissing(movie), ContentOrMissing(companion),
                                                   ContentOrMissing(data)};
            if (WIFEXITED(status)) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                EXPECT_EQ(visible, newer);
                EXPECT_EQ(HiddenFiles(dir_), (std::map<std::string, std::string>{}));
                break;
            }
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            if (stopAt == 0) {
                // Before the journal: the older set, and the new files are young leftovers,
                // not taken yet.
                EXPECT_EQ(visible, older);
                EXPECT_EQ(HiddenFiles(dir_), hiddenAtKill);
                std::multiset<std::string> leftovers;
                for (const auto& [name, text] : hiddenAtKill)
                    leftovers.insert(text);
                EXPECT_EQ(leftovers, (std::multiset<std::string>{"new data", "new movie"}));
            } else {
                EXPECT_EQ(visible, newer);
                EXPECT_EQ(HiddenFiles(dir_), (std::map<std::string, std::string>{}));
            }
        }
        // Before the journal, the journal, three moves aside, two into place, the journal
        // marked, three older files and the journal removed: the commit ran whole at the
        // thirteenth try.
        EXPECT_EQ(stopAt, 12);
    }
}


// The hidden name a killed commit uses for a part: its new file's or its older file's, as
// its journal names them (or, before there is a journal, as the new file is named); empty
// when it has none.
std::string HiddenNameOf(const std::string& folder, const std::string& part, WriterFile kind) {
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        const auto info = ParseWriterFileName(name);
        if (!info || info->kind != WriterFile::kJournal) continue;
        std::ifstream in(e.path());
        const auto plan = ParseCommitPlan(std::string(std::istreambuf_iterator<char>(in), {}), info->writer);
        if (!plan) continue;
        for (const CommitEntry& entry : plan->entries) {
            const std::string& hidden = kind == WriterFile::kOlder ? entry.older : entry.temporary;
            if (entry.target == part && !hidden.empty()) return PathAppend(folder, hidden);
        }
        return {};
    }
    if (kind == WriterFile::kOlder) return {};
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        const auto info = ParseWriterFileName(name);
        if (info && info->kind == kind && name.rfind("." + part + ".", 0) == 0) return e.path().string();
    }
    return {};
}

// Sets the file's modification time back past the age at which a leftover is stale.
void AgePastStale(const std::string& path) {
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - kStaleSeconds - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

bool JournalStands(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder)) {
        const auto info = ParseWriterFileName(e.path().filename().string());
        if (info && info->kind == WriterFile::kJournal) return true;
    }
    return false;
}

// A file the user puts at any name of a killed commit (a part's own name, its new file's or
// its older file's hidden name) is never moved aside, taken for the commit's own or removed
// when the next start finishes the commit, not even once it is old enough for a leftover:
// it stays as it was put. And unless the new set stands, no part of the older set is lost:
// each lies at its name or, while the journal that could not be finished stays, at its
// hidden one.
TEST_F(ReplacementSetTest, AFileThatCameAfterAKilledCommitIsNeverTaken) {
    enum class Role { kTarget, kNewFile, kOlderFile };
    const std::map<std::string, std::string> older{
        {"movie", "older movie"}, {"companion", "older companion"}, {"data", "older data"}};
    const std::map<std::string, std::string> newer{{"movie", "new movie"}, {"companion", "missing"}, {"data", "new data"}};
    const std::string copied = "a file the user copied here";
    // A journal that stays is reported (a test of its own shows how).
    SetErrorReportHook([](const std::string&, const std::string&) {});
    bool finished = false;
    int stopAt = 0;
    for (; !finished; ++stopAt) {
        for (const auto& [part, olderText] : older) {
            for (const Role role : {Role::kTarget, Role::kNewFile, Role::kOlderFile}) {
                SCOPED_TRACE(part + " role " + std::to_string(int(role)) + " stopped at step " + std::to_string(stopAt));
                fs::remove_all(dir_);
                fs::create_directory(dir_);
                for (const auto& [name, text] : older)
                    std::ofstream(PathAppend(dir_, name)) << text;
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    g_stopAt = stopAt;
                    CommitNewSetAndExit(StopAtChosenStep, PathAppend(dir_, "movie"), PathAppend(dir_, "companion"),
                                        PathAppend(dir_, "data"));
                }
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                if (WIFEXITED(status)) {
                    EXPECT_EQ(WEXITSTATUS(status), 0);
                    finished = true;
                    break;
                }
                const std::string path = role == Role::kTarget    ? PathAppend(dir_, part)
                                         : role == Role::kNewFile ? HiddenNameOf(dir_, part, WriterFile::kTemporary)
                                                                  : HiddenNameOf(dir_, part, WriterFile::kOlder);
                if (path.empty()) continue;  // the commit has no such name (yet, or any more)
                const std::string replaced = ContentOrMissing(path);
                std::ofstream(path, std::ios::trunc) << copied;
                // Before the journal the commit's files are leftovers of a writer that is gone.
                if (JournalStands(dir_)) AgePastStale(path);
                struct stat put {};
                ASSERT_EQ(::stat(path.c_str(), &put), 0);

                FinishInterruptedWrites(dir_);

                struct stat after {};
                EXPECT_EQ(::stat(path.c_str(), &after), 0);
                EXPECT_EQ(after.st_ino, put.st_ino);
                EXPECT_EQ(ContentOrMissing(path), copied);
                bool newSetStands = true;
                for (const auto& [name, text] : newer)
                    if (!(role == Role::kTarget && name == part))
                        newSetStands = newSetStands && ContentOrMissing(PathAppend(dir_, name)) == text;
                if (newSetStands) continue;
                std::multiset<std::string> everywhere;
                for (const auto& e : fs::recursive_directory_iterator(dir_))
                    everywhere.insert(ContentOrMissing(e.path().string()));
                for (const auto& [name, text] : older)
                    EXPECT_TRUE(text == replaced || everywhere.count(text)) << "the " << text << " is lost";
            }
            if (finished) break;
        }
    }
    SetErrorReportHook({});
    EXPECT_GT(stopAt, 12);
}

// Real file operations, except that an older part is changed while it is moved aside and
// another file put at its name: as a program that writes it meanwhile would.
class MeddlingMove final : public IFileOps {
public:
    bool IsHidden(const std::string& path) override { return RealFileOps().IsHidden(path); }
    bool SetHidden(const std::string& path, bool hidden) override { return RealFileOps().SetHidden(path, hidden); }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        if (!RealFileOps().MoveNoReplace(from, to)) return false;
        const auto info = ParseWriterFileName(PathFindFileName(to));
        if (info && info->kind == WriterFile::kOlder && PathFindFileName(from) == "movie") {
            std::ofstream(to, std::ios::app) << ", changed";
            std::ofstream(from) << "written meanwhile";
        }
        return true;
    }
};

// An older part that changes while it is moved aside, and cannot go back since its name
// was taken meanwhile, stays under its hidden name, which the journal keeps: the commit
// fails and is reported, and neither its recovery nor the stale files' rule removes that
// file, however old it grows.
TEST_F(ReplacementSetTest, AnOlderPartChangedWhileItWasMovedStaysWithItsJournal) {
    std::ofstream(PathAppend(dir_, "movie")) << "older movie";
    std::ofstream(PathAppend(dir_, "data")) << "older data";
    SetErrorReportHook([](const std::string&, const std::string&) {});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MeddlingMove ops;
        ScopedFileOps scoped(&ops);
        auto files = Written({"data", "movie"});
        std::string error;
        ::_exit(!Commit(files, &error) && error.find("lies at") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const auto& [path, text] : HiddenFiles(dir_))
        AgePastStale(path);
    FinishInterruptedWrites(dir_);
    SetErrorReportHook({});

    std::multiset<std::string> hidden;
    for (const auto& [path, text] : HiddenFiles(dir_))
        hidden.insert(text.rfind("orvanta5 commit", 0) == 0 ? "journal" : text);
    EXPECT_EQ(hidden, (std::multiset<std::string>{"older movie, changed", "journal", "new data", "new movie"}));
    EXPECT_EQ(ContentOrMissing(PathAppend(dir_, "movie")), "written meanwhile");
    EXPECT_EQ(ContentOrMissing(PathAppend(dir_, "data")), "older data");
}

// The step at which the first writer stops, holding its folders, until it is killed.
int g_holdAt = -1;
int g_heldPipe = -1;
void HoldAtChosenStep(int step) {
    if (step != g_holdAt) return;
    const char held = 1;
    if (::write(g_heldPipe, &held, 1) != 1) ::_exit(2);
    for (;;) ::pause();
}

// A writer killed while a second one waits to commit into the same names (its files written,
// and its look for leftovers done while the first still ran) is finished before the second
// one plans: the second one's set stands whole, and nothing of the first is left behind
// under a hidden name. The same with the parts in sibling folders and the journal above.
TEST_F(ReplacementSetTest, ACommitFinishesTheJournalOfAWriterKilledWhileItWaited) {
    const struct {
        const char* movie;
        const char* companion;
        const char* data;
    } layouts[] = {{"movie", "companion", "data"}, {"Normal/movie", "Normal/companion", "_NData/data"}};
    for (const auto& layout : layouts) {
        const std::vector<std::string> targets{PathAppend(dir_, layout.movie), PathAppend(dir_, layout.companion),
                                               PathAppend(dir_, layout.data)};
        // From the journal to its removal (step 0 comes before there is a journal).
        for (int holdAt = 1;; ++holdAt) {
            SCOPED_TRACE(std::string(layout.data) + " held at step " + std::to_string(holdAt));
            fs::remove_all(dir_);
            for (const std::string& target : targets) {
                fs::create_directories(PathRemoveFileSpec(target));
                std::ofstream(target) << "older " << PathFindFileName(target);
            }
            int held[2];
            ASSERT_EQ(::pipe(held), 0);
            const pid_t first = ::fork();
            ASSERT_GE(first, 0);
            if (first == 0) {
                ::close(held[0]);
                g_holdAt = holdAt;
                g_heldPipe = held[1];
                CommitNewSetAndExit(HoldAtChosenStep, targets[0], targets[1], targets[2]);
            }
            ::close(held[1]);
            char byte = 0;
            const bool holding = ::read(held[0], &byte, 1) == 1;
            ::close(held[0]);
            if (!holding) {
                int status = 0;
                ASSERT_EQ(::waitpid(first, &status, 0), first);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                EXPECT_EQ(holdAt, 12);  // the eleven steps of CommitTogether's commit, and none more
                break;
            }
            std::vector<std::unique_ptr<ReplacementFile>> second;
            std::vector<ReplacementFile*> parts;
            for (const std::string& target : targets) {
                second.push_back(std::make_unique<ReplacementFile>(target));
                const std::string text = "second " + std::string(PathFindFileName(target));
                ASSERT_TRUE(second.back()->Write(text.data(), text.size()));
                parts.push_back(second.back().get());
            }
            ASSERT_EQ(::kill(first, SIGKILL), 0);
            ASSERT_EQ(::waitpid(first, nullptr, 0), first);

            std::string error;
            EXPECT_TRUE(CommitTogether(parts, &error)) << error;
            second.clear();
            for (const std::string& target : targets)
                EXPECT_EQ(ContentOrMissing(target), "second " + std::string(PathFindFileName(target)));
            EXPECT_EQ(HiddenFiles(dir_), (std::map<std::string, std::string>{}));
        }
    }
}

// Widens every step of a commit, so that commits of several threads meet.
void SlowStep(int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// Commits of several threads into the same names, each a set of its own (every other one
// without a companion), end one after the other: each succeeds, and what stays is the whole
// set of one of them, with no hidden file left.
TEST_F(ReplacementSetTest, CommitsOfManyThreadsIntoOneNameLeaveOneWholeSet) {
    constexpr int kThreads = 4, kRounds = 4;
    SetCommitStepHook(SlowStep);
    // Every commit waits for all the others at worst; a busy disk may take its time.
    SetCommitLockWait(std::chrono::minutes(5));
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const std::string set = std::to_string(t) + "." + std::to_string(round);
                std::vector<std::string> names{PathAppend(dir_, "movie"), PathAppend(dir_, "data")};
                std::vector<std::string> withdrawn;
                (t % 2 ? withdrawn : names).push_back(PathAppend(dir_, "companion"));
                std::vector<std::unique_ptr<ReplacementFile>> files;
                std::vector<ReplacementFile*> parts;
                for (const std::string& name : names) {
                    files.push_back(std::make_unique<ReplacementFile>(name));
                    const std::string text = set + " " + std::string(PathFindFileName(name));
                    if (!files.back()->Write(text.data(), text.size())) ++failed;
                    parts.push_back(files.back().get());
                }
                std::string error;
                if (!CommitTogether(parts, withdrawn, &error)) ++failed;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    SetCommitStepHook(nullptr);
    SetCommitLockWait(kCommitLockWait);
    EXPECT_EQ(failed, 0);
    const auto state = State();
    ASSERT_TRUE(state.count("movie")) << testing::PrintToString(state);
    const std::string set = state.at("movie").substr(0, state.at("movie").find(' '));
    const bool companion = std::stoi(set) % 2 == 0;
    std::map<std::string, std::string> whole{{"movie", set + " movie"}, {"data", set + " data"}};
    if (companion) whole["companion"] = set + " companion";
    EXPECT_EQ(state, whole);
}

}  // namespace
}  // namespace orv
