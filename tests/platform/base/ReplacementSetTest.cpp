#include "platform/base/ReplacementSet.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

TEST_F(ReplacementSetTest, AllFilesReplaceTheirTargetsAndNothingElseStays) {
    const std::vector<std::string> names{"movie", "companion", "data"};
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older);
        if (older)
            for (const std::string& name : names)
                std::ofstream(PathAppend(dir_, name)) << "older " << name;
        auto files = Written(names);
        std::string error;
        ASSERT_TRUE(Commit(files, &error)) << error;
        files.clear();
        EXPECT_EQ(State(), (std::map<std::string, std::string>{
                               {"movie", "new movie"}, {"companion", "new companion"}, {"data", "new data"}}));
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

}  // namespace
}  // namespace orv
