#include "platform/base/ReplacementSet.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/CommitJournal.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"

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
                SetCommitStepHook(StopAtChosenStep);
                ReplacementFile newData(data), newMovie(movie);
                const bool written = newData.Write("new data", 8) && newMovie.Write("new movie", 9);
                ReplacementFile* parts[] = {&newData, &newMovie};
                const std::string withdrawn[] = {companion};
                ::_exit(written && CommitTogether(parts, withdrawn, nullptr) ? 0 : 1);
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
        // Before the journal, the journal, three moves aside, two into place, three older
        // files and the journal removed: the commit ran whole at the twelfth try.
        EXPECT_EQ(stopAt, 11);
    }
}

}  // namespace
}  // namespace orv
