#include "platform/files/Trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "fixtures/TempDir.h"
#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"

namespace orv {
namespace {

// The home trash lives under a temporary XDG_DATA_HOME; the folder "card" acts as a
// mount of its own, everything else as the root file system.
class TrashTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        // Resolved, as the trash records the path with its folders resolved.
        root_ = std::filesystem::canonical(dir_.Path()).string();
        data_ = PathAppend(root_, "data");
        work_ = PathAppend(root_, "work");
        card_ = PathAppend(root_, "card");
        for (const std::string& d : {work_, card_, PathAppend(card_, "Normal")})
            ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
        const char* old = std::getenv("XDG_DATA_HOME");
        hadXdg_ = old != nullptr;
        if (old) oldXdg_ = old;
        setenv("XDG_DATA_HOME", data_.c_str(), 1);
        const std::string card = card_;
        SetDriveRootProvider([card](const std::string& path) {
            return path.rfind(card + "/", 0) == 0 || path == card ? card : std::string("/");
        });
    }
    void TearDown() override {
        SetDriveRootProvider(nullptr);
        if (hadXdg_)
            setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    static std::string Make(const std::string& path, const std::string& content) {
        std::ofstream(path) << content;
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static unsigned Mode(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
    }
    // The record must name the path as given and a deletion time of the right form.
    static void ExpectRecord(const std::string& infoPath, const std::string& encodedPath) {
        const std::string text = Read(infoPath);
        const std::string head = "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=";
        ASSERT_EQ(text.substr(0, head.size()), head) << text;
        EXPECT_TRUE(std::regex_match(text.substr(head.size()),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\n)")))
            << text;
    }

    fixtures::TempDir dir_;
    std::string root_, data_, work_, card_;
    bool hadXdg_ = false;
    std::string oldXdg_;
};

TEST_F(TrashTest, HomeTrashGetsTheFileAndItsRecord) {
    const std::string src = Make(PathAppend(work_, "録画 1%.MOV"), "movie");
    TrashedItem item;
    ASSERT_TRUE(MoveToTrash(src, &item));
    const std::string trash = PathAppend(data_, "Trash");
    EXPECT_EQ(HomeTrashDir(), trash);
    EXPECT_EQ(item.trashDir, trash);
    EXPECT_EQ(item.name, "録画 1%.MOV");
    EXPECT_FALSE(PathFileExists(src));
    EXPECT_EQ(Read(trash + "/files/録画 1%.MOV"), "movie");
    ExpectRecord(trash + "/info/録画 1%.MOV.trashinfo",
                 work_ + "/%E9%8C%B2%E7%94%BB%201%25.MOV");
    EXPECT_EQ(Mode(trash), 0700u);
    EXPECT_EQ(Mode(trash + "/files"), 0700u);
    EXPECT_EQ(Mode(trash + "/info"), 0700u);
}

TEST_F(TrashTest, NameCollisionsGetUniqueNames) {
    const std::string trash = PathAppend(data_, "Trash");
    for (const char* folder : {"a", "b", "c"}) {
        const std::string d = PathAppend(work_, folder);
        ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
        Make(PathAppend(d, "A.MOV"), folder);
        ASSERT_TRUE(MoveToTrash(PathAppend(d, "A.MOV")));
    }
    EXPECT_EQ(Read(trash + "/files/A.MOV"), "a");
    EXPECT_EQ(Read(trash + "/files/A.2.MOV"), "b");
    EXPECT_EQ(Read(trash + "/files/A.3.MOV"), "c");
    ExpectRecord(trash + "/info/A.2.MOV.trashinfo", work_ + "/b/A.MOV");
    ExpectRecord(trash + "/info/A.3.MOV.trashinfo", work_ + "/c/A.MOV");

    // A stray file in files/ without a record also holds its name.
    Make(trash + "/files/B", "stray");
    Make(PathAppend(work_, "B"), "mine");
    TrashedItem item;
    ASSERT_TRUE(MoveToTrash(PathAppend(work_, "B"), &item));
    EXPECT_EQ(item.name, "B.2");
    EXPECT_EQ(Read(trash + "/files/B"), "stray");
    EXPECT_FALSE(PathFileExists(trash + "/info/B.trashinfo"));
}

TEST_F(TrashTest, FileOnACardGoesToTheCardsOwnTrash) {
    const std::string src = Make(PathAppend(card_, "Normal/NO20220425-120000-000001F.MOV"), "m");
    ASSERT_TRUE(MoveToTrash(src));
    const std::string trash = card_ + "/.Trash-" + std::to_string(getuid());
    EXPECT_EQ(Mode(trash), 0700u);
    EXPECT_EQ(Read(trash + "/files/NO20220425-120000-000001F.MOV"), "m");
    // Relative to the card's root, so the record still holds when it is mounted elsewhere.
    ExpectRecord(trash + "/info/NO20220425-120000-000001F.MOV.trashinfo",
                 "Normal/NO20220425-120000-000001F.MOV");
    EXPECT_FALSE(PathFileExists(PathAppend(data_, "Trash")));
}

TEST_F(TrashTest, SharedTrashOfACardIsUsedOnlyWhenStickyAndReal) {
    const std::string uid = std::to_string(getuid());
    const std::string shared = PathAppend(card_, ".Trash");

    // Not sticky: the user's own .Trash-$uid.
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    ASSERT_TRUE(MoveToTrash(Make(PathAppend(card_, "one"), "1")));
    EXPECT_TRUE(PathFileExists(card_ + "/.Trash-" + uid + "/files/one"));

    // Sticky: $topdir/.Trash/$uid.
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_TRUE(MoveToTrash(Make(PathAppend(card_, "two"), "2")));
    EXPECT_EQ(Read(shared + "/" + uid + "/files/two"), "2");
    EXPECT_EQ(Mode(shared + "/" + uid), 0700u);

    // A link to a sticky folder is not trusted.
    ASSERT_EQ(rename(shared.c_str(), (card_ + "/elsewhere").c_str()), 0);
    ASSERT_EQ(symlink("elsewhere", shared.c_str()), 0);
    ASSERT_TRUE(MoveToTrash(Make(PathAppend(card_, "three"), "3")));
    EXPECT_TRUE(PathFileExists(card_ + "/.Trash-" + uid + "/files/three"));
    EXPECT_FALSE(PathFileExists(card_ + "/elsewhere/" + uid + "/files/three"));
}

TEST_F(TrashTest, NoTrashOnTheCardMeansNotTrashed) {
    // Something else holds the trash's name: the file must not travel to the home trash.
    Make(card_ + "/.Trash-" + std::to_string(getuid()), "not a folder");
    const std::string src = Make(PathAppend(card_, "X.MOV"), "m");
    EXPECT_FALSE(MoveToTrash(src));
    EXPECT_EQ(Read(src), "m");
    EXPECT_FALSE(PathFileExists(PathAppend(data_, "Trash/files/X.MOV")));
}

class FailingRename final : public IFileOps {
public:
    bool IsHidden(const std::string&) override { return false; }
    bool SetHidden(const std::string&, bool) override { return true; }
    bool MoveNoReplace(const std::string&, const std::string&) override { return false; }
};

TEST_F(TrashTest, FailedRenameRemovesTheRecord) {
    const std::string src = Make(PathAppend(work_, "A.MOV"), "m");
    FailingRename ops;
    ScopedFileOps scoped(&ops);
    EXPECT_FALSE(MoveToTrash(src));
    EXPECT_EQ(Read(src), "m");
    EXPECT_FALSE(PathFileExists(PathAppend(data_, "Trash/info/A.MOV.trashinfo")));
    EXPECT_FALSE(PathFileExists(PathAppend(data_, "Trash/files/A.MOV")));
}

TEST_F(TrashTest, RefusesWhatCannotBeTrashed) {
    EXPECT_FALSE(MoveToTrash(""));
    EXPECT_FALSE(MoveToTrash(PathAppend(work_, "missing.MOV")));
    EXPECT_FALSE(MoveToTrash(card_));  // a mount point itself
    EXPECT_FALSE(PathFileExists(PathAppend(data_, "Trash/info")));
}

TEST_F(TrashTest, ALinkIsTrashedItselfNotItsTarget) {
    const std::string target = Make(PathAppend(work_, "target"), "t");
    const std::string link = PathAppend(work_, "link");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(MoveToTrash(link));
    EXPECT_EQ(Read(target), "t");
    struct stat st;
    ASSERT_EQ(lstat(PathAppend(data_, "Trash/files/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(TrashTest, ALinkIntoACardGoesWhereTheLinkLies) {
    // As the real lookup does, a link at the end of a path leads to the mount it names.
    const std::string card = card_;
    SetDriveRootProvider([card](const std::string& path) {
        std::error_code ec;
        const std::string real = std::filesystem::weakly_canonical(path, ec).string();
        return real.rfind(card + "/", 0) == 0 || real == card ? card : std::string("/");
    });
    const std::string movie = Make(PathAppend(card_, "Normal/A.MOV"), "m");
    // A path shorter than the card's root, and a longer one.
    for (const std::string& link : {PathAppend(root_, "l"), PathAppend(work_, "a-longer-link")}) {
        ASSERT_EQ(symlink(movie.c_str(), link.c_str()), 0);
        TrashedItem item;
        ASSERT_TRUE(MoveToTrash(link, &item));
        EXPECT_EQ(item.trashDir, PathAppend(data_, "Trash"));
        ExpectRecord(PathAppend(data_, "Trash/info/" + item.name + ".trashinfo"), link);
        struct stat st;
        EXPECT_NE(lstat(link.c_str(), &st), 0);
    }
    EXPECT_EQ(Read(movie), "m");
    EXPECT_FALSE(PathFileExists(card_ + "/.Trash-" + std::to_string(getuid())));
}

}  // namespace
}  // namespace orv
