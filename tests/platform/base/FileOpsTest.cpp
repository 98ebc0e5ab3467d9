#include "platform/base/FileOps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/PathUtil.h"

namespace orv {
namespace {

class FileOpsTest : public testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orv-fileops-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Make(const std::string& name, const std::string& content) {
        const std::string p = PathAppend(dir_, name);
        std::ofstream(p) << content;
        return p;
    }
    static std::string Read(const std::string& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string dir_;
};

TEST_F(FileOpsTest, MoveNeverReplacesAnExistingFile) {
    const std::string a = Make("a", "first");
    const std::string b = Make("b", "second");
    EXPECT_FALSE(RealFileOps().MoveNoReplace(a, b));
    EXPECT_EQ(Read(a), "first");
    EXPECT_EQ(Read(b), "second");

    const std::string c = PathAppend(dir_, "c");
    EXPECT_TRUE(RealFileOps().MoveNoReplace(a, c));
    EXPECT_FALSE(PathFileExists(a));
    EXPECT_EQ(Read(c), "first");
    EXPECT_FALSE(RealFileOps().MoveNoReplace(a, PathAppend(dir_, "d")));  // source gone
}

TEST_F(FileOpsTest, HiddenAttributeOutsideFatIsANoOpThatSucceeds) {
    const std::string a = Make("a", "x");
    EXPECT_FALSE(RealFileOps().IsHidden(a));
    EXPECT_TRUE(RealFileOps().SetHidden(a, true));
    EXPECT_EQ(Read(a), "x");
    EXPECT_FALSE(RealFileOps().SetHidden(PathAppend(dir_, "missing"), true));
}

class CountingOps final : public IFileOps {
public:
    bool IsHidden(const std::string&) override { return false; }
    bool SetHidden(const std::string&, bool) override { ++calls; return true; }
    bool MoveNoReplace(const std::string&, const std::string&) override { ++calls; return false; }
    int calls = 0;
};

TEST_F(FileOpsTest, ReplacementIsInForceOnlyInItsScope) {
    CountingOps fake;
    {
        ScopedFileOps scope(&fake);
        EXPECT_FALSE(FileOps().MoveNoReplace("x", "y"));
        EXPECT_TRUE(FileOps().SetHidden("x", true));
        EXPECT_EQ(fake.calls, 2);
    }
    EXPECT_EQ(&FileOps(), &RealFileOps());
}

}  // namespace
}  // namespace orv
