#include "recorder/CardLayout.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/base/Drives.h"
#include "platform/base/FileOps.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStem = "AG_S-220101-120000-000001";
constexpr const char* kParkingStem = "P___-220101-120000-000002";

// A temporary folder whose sub-folders serve as card roots ("drives").
class CardLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orv-card-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        tmp_ = pattern;
    }

    void TearDown() override {
        SetDriveRootProvider({});
        ForgetCardRoots();
        g_nFolderLayout = 0;
        std::error_code ec;
        fs::remove_all(tmp_, ec);
    }

    // Makes the card root `name` under the temp folder, with `folders` in it, and makes
    // it the drive of every path.
    std::string Card(const std::string& name, std::initializer_list<const char*> folders) {
        const std::string root = tmp_ + "/" + name;
        fs::create_directories(root);
        for (const char* f : folders) fs::create_directories(root + "/" + f);
        SetDriveRootProvider([root](const std::string&) { return root; });
        return root;
    }

    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }
    static bool Exists(const std::string& path) { return fs::exists(path); }

    std::string tmp_;
};

TEST_F(CardLayoutTest, DetectsTheLayoutAtTheDriveRoot) {
    int layout = -1;
    Card("video", {"Video", "_VData", "Parking"});
    EXPECT_TRUE(DetectFolderLayout("/any/path"));
    EXPECT_EQ(g_nFolderLayout.load(), 1);
    EXPECT_TRUE(ProbeFolderLayout("/any/path", &layout));
    EXPECT_EQ(layout, 1);

    Card("normal", {"Normal", "Parking"});
    EXPECT_TRUE(DetectFolderLayout("/any/path"));
    EXPECT_EQ(g_nFolderLayout.load(), 0);

    g_nFolderLayout = 1;
    Card("parking", {"Parking"});
    EXPECT_TRUE(DetectFolderLayout("/any/path"));
    EXPECT_EQ(g_nFolderLayout.load(), 0);

    g_nFolderLayout = 1;
    Card("none", {"DCIM", "video"});
    EXPECT_FALSE(DetectFolderLayout("/any/path"));
    EXPECT_EQ(g_nFolderLayout.load(), 0);

    // No drive at all: "/Normal" of the machine is not looked at.
    SetDriveRootProvider([](const std::string&) { return std::string(); });
    EXPECT_FALSE(ProbeFolderLayout("x", nullptr));
}

TEST_F(CardLayoutTest, ProbeLeavesTheBrowsersLayoutAlone) {
    Card("normal", {"Normal"});
    g_nFolderLayout = 1;
    int layout = -1;
    EXPECT_TRUE(ProbeFolderLayout("/any/path", &layout));
    EXPECT_EQ(layout, 0);
    EXPECT_EQ(DataFileOfMovie("/x/Normal/" + std::string(kStem) + "M.MOV"),
              "/x/_NData/" + std::string(kStem) + "D.ADA");
    EXPECT_EQ(g_nFolderLayout.load(), 1);
}

TEST_F(CardLayoutTest, DataFileLiesInTheDataFolder) {
    const std::string stem = kStem;
    std::string root = Card("normal", {"Normal", "_NData", "Parking", "_PData"});
    EXPECT_EQ(DataFileOfMovie(root + "/Normal/" + stem + "M.MOV"), root + "/_NData/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/Parking/" + stem + "M.MOV"), root + "/_PData/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/NORMAL/" + stem + "M.MOV"), root + "/_NData/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/Normal/ドライブM.MOV"), root + "/_NData/ドライブD.ADA");

    root = Card("video", {"Video", "Parking"});
    EXPECT_EQ(DataFileOfMovie(root + "/Video/" + stem + "M.MOV"), root + "/_VData/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/Parking/" + stem + "M.MOV"), root + "/_PData/" + stem + "D.ADA");
    // A folder of the other layout is an ordinary folder.
    EXPECT_EQ(DataFileOfMovie(root + "/Normal/" + stem + "M.MOV"), root + "/Normal/" + stem + "D.ADA");

    root = Card("plain", {"misc"});
    EXPECT_EQ(DataFileOfMovie(root + "/misc/" + stem + "M.MOV"), root + "/misc/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/Normal/" + stem + "M.MOV"), root + "/Normal/" + stem + "D.ADA");

    // Too short to hold a camera letter.
    EXPECT_EQ(DataFileOfMovie("a.bc"), "a.bc");
    EXPECT_EQ(DataFileOfMovie(""), "");
}

TEST_F(CardLayoutTest, DataFileLeavesTheMountPointAlone) {
    const std::string stem = kStem;
    std::string root = Card("Video_Card", {"Normal"});
    EXPECT_EQ(DataFileOfMovie(root + "/Normal/" + stem + "M.MOV"), root + "/_NData/" + stem + "D.ADA");

    // A card mounted at a folder named Video: only the folders on the card count.
    root = Card("Video", {"Video", "Parking"});
    EXPECT_EQ(DataFileOfMovie(root + "/Parking/" + stem + "M.MOV"), root + "/_PData/" + stem + "D.ADA");
    EXPECT_EQ(DataFileOfMovie(root + "/" + stem + "M.MOV"), root + "/" + stem + "D.ADA");
}

// Cards copied into folders of one drive (the temp folder), a few levels below its root.
TEST_F(CardLayoutTest, DataFileOfACardCopiedIntoAFolder) {
    const std::string stem = kStem;
    int driveLookups = 0;
    SetDriveRootProvider([&](const std::string&) {
        ++driveLookups;
        return tmp_;
    });
    const auto make = [&](const std::string& dir, std::initializer_list<const char*> folders) {
        for (const char* f : folders) fs::create_directories(tmp_ + "/" + dir + "/" + f);
    };
    make("home/u/video1", {"Video", "_VData", "Parking", "_PData"});
    make("home/u/2022/normal0", {"Normal", "_NData", "Parking", "_PData", "Config"});
    make("parked", {"Parking", "_PData"});
    // Named like movie folders, but without their data folders: ordinary folders.
    make("lone", {"Video", "Parking/Video"});
    // A copy inside a folder named like a movie folder: only the copy's own folder changes.
    make("misc/Video/copy", {"Video", "_VData"});

    const struct {
        const char* movieFolder;
        const char* dataFolder;
    } cases[] = {
        {"home/u/video1/Video", "home/u/video1/_VData"},
        {"home/u/video1/Parking", "home/u/video1/_PData"},
        {"home/u/video1/VIDEO", "home/u/video1/_VData"},
        {"home/u/video1/Video/sub", "home/u/video1/_VData/sub"},
        {"home/u/2022/normal0/Normal", "home/u/2022/normal0/_NData"},
        {"home/u/2022/normal0/Parking", "home/u/2022/normal0/_PData"},
        {"home/u/2022/normal0/Config", "home/u/2022/normal0/Config"},
        {"parked/Parking", "parked/_PData"},
        {"lone/Video", "lone/Video"},
        {"lone/Parking/Video", "lone/Parking/Video"},
        {"misc/Video/copy/Video", "misc/Video/copy/_VData"},
        {"misc/Video", "misc/Video"},
        {"home/u", "home/u"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DataFileOfMovie(tmp_ + "/" + c.movieFolder + "/" + stem + "M.MOV"),
                  tmp_ + "/" + c.dataFolder + "/" + stem + "D.ADA")
            << c.movieFolder;
    }

    // The card of a folder is found once for all its movies.
    driveLookups = 0;
    for (int i = 0; i < 100; ++i) DataFileOfMovie(tmp_ + "/home/u/video1/Video/" + std::to_string(i) + "M.MOV");
    EXPECT_EQ(driveLookups, 0);
    ForgetCardRoots();
    fs::remove_all(tmp_ + "/home/u/video1/_VData");
    EXPECT_EQ(DataFileOfMovie(tmp_ + "/home/u/video1/Video/" + stem + "M.MOV"),
              tmp_ + "/home/u/video1/Video/" + stem + "D.ADA");
    EXPECT_EQ(driveLookups, 1);

    // The folders above the mount point are never looked at, nor those of a path that is
    // not written under its mount point.
    fs::create_directories(tmp_ + "/home/u/video1/_VData");
    for (const std::string& mount : {tmp_ + "/home/u/video1/Video", std::string("/mnt/elsewhere")}) {
        SetDriveRootProvider([mount](const std::string&) { return mount; });
        ForgetCardRoots();
        EXPECT_EQ(DataFileOfMovie(tmp_ + "/home/u/video1/Video/" + stem + "M.MOV"),
                  tmp_ + "/home/u/video1/Video/" + stem + "D.ADA")
            << mount;
    }
}

TEST(CompanionFileNameTest, SwapsCameraLetterAndCameraFolder) {
    const std::string stem = kStem;
    EXPECT_EQ(CompanionFileName("/card/Main/" + stem + "M.MOV"), "/card/Sub_/" + stem + "S.MOV");
    EXPECT_EQ(CompanionFileName("/card/Sub_/" + stem + "S.MOV"), "/card/Main/" + stem + "M.MOV");
    EXPECT_EQ(CompanionFileName("/card/main/" + stem + "M.MOV"), "/card/Sub_/" + stem + "S.MOV");
    EXPECT_EQ(CompanionFileName("/card/Normal/" + stem + "M.MOV"), "/card/Normal/" + stem + "S.MOV");
    EXPECT_EQ(CompanionFileName("/カード/Main/" + stem + "M.MOV"), "/カード/Sub_/" + stem + "S.MOV");
    EXPECT_EQ(CompanionFileName("/x/ドライブM.MOV"), "/x/ドライブS.MOV");
    EXPECT_EQ(CompanionFileName(stem + "M.MOV"), stem + "S.MOV");
    EXPECT_EQ(CompanionFileName("/card/Main/" + stem + "D.ADA"), "/card/Sub_/" + stem + "D.ADA");
    EXPECT_EQ(CompanionFileName("M.MO"), "M.MO");
    EXPECT_EQ(CompanionFileName(""), "");
}

TEST(CardLayoutNamesTest, MediaFolders) {
    EXPECT_TRUE(IsLayoutMediaFolder("Video"));
    EXPECT_TRUE(IsLayoutMediaFolder("Parking"));
    EXPECT_FALSE(IsLayoutMediaFolder("Normal"));
    EXPECT_FALSE(IsLayoutMediaFolder("video"));
    EXPECT_FALSE(IsLayoutMediaFolder("_VData"));
    EXPECT_FALSE(IsLayoutMediaFolder(""));
}

// Keeps the hidden attribute in memory (the temp folder has none) and can fail a given
// rename or every attribute change.
class FakeFileOps final : public IFileOps {
public:
    bool IsHidden(const std::string& path) override { return hidden.count(path) > 0; }
    bool SetHidden(const std::string& path, bool on) override {
        if (failSetHidden || !fs::exists(path)) return false;
        if (on)
            hidden.insert(path);
        else
            hidden.erase(path);
        return true;
    }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        if (++moves == failMove) return false;
        if (!RealFileOps().MoveNoReplace(from, to)) return false;
        if (hidden.erase(from)) hidden.insert(to);
        return true;
    }

    std::set<std::string> hidden;
    int moves = 0;
    int failMove = 0;  // 1-based number of the rename that fails; 0 for none
    bool failSetHidden = false;
};

class HideAsDeletedTest : public CardLayoutTest {
protected:
    FakeFileOps ops_;
    ScopedFileOps scoped_{&ops_};
};

TEST_F(HideAsDeletedTest, HidesMovieAndDataFileInLayoutFolders) {
    const std::string stem = kStem;
    const std::string root = Card("normal", {"Normal", "_NData", "Parking", "_PData"});
    Touch(root + "/Normal/" + stem + "M.MOV");
    Touch(root + "/_NData/" + stem + "D.ADA");
    EXPECT_TRUE(HideAsDeleted(root + "/Normal/" + stem + "M.MOV"));
    EXPECT_FALSE(Exists(root + "/Normal/" + stem + "M.MOV"));
    EXPECT_FALSE(Exists(root + "/_NData/" + stem + "D.ADA"));
    EXPECT_TRUE(Exists(root + "/Normal/" + stem + "M.DMY"));
    EXPECT_TRUE(Exists(root + "/_NData/" + stem + "D.TDA"));
    EXPECT_EQ(ops_.hidden, (std::set<std::string>{root + "/Normal/" + stem + "M.DMY",
                                                   root + "/_NData/" + stem + "D.TDA"}));

    const std::string parking = kParkingStem;
    Touch(root + "/Parking/" + parking + "M.MOV");
    Touch(root + "/_PData/" + parking + "D.ADA");
    EXPECT_TRUE(HideAsDeleted(root + "/Parking/" + parking + "M.MOV"));
    EXPECT_TRUE(Exists(root + "/Parking/" + parking + "M.DMY"));
    EXPECT_TRUE(Exists(root + "/_PData/" + parking + "D.TDA"));
}

TEST_F(HideAsDeletedTest, HidesInTheCardsLayoutAndInPlainFolders) {
    const std::string stem = kStem;
    std::string root = Card("video", {"Video", "_VData"});
    g_nFolderLayout = 1;
    Touch(root + "/Video/" + stem + "M.MOV");
    Touch(root + "/_VData/" + stem + "D.ADA");
    EXPECT_TRUE(HideAsDeleted(root + "/Video/" + stem + "M.MOV"));
    EXPECT_TRUE(Exists(root + "/Video/" + stem + "M.DMY"));
    EXPECT_TRUE(Exists(root + "/_VData/" + stem + "D.TDA"));

    // Outside layout folders both files lie side by side.
    root = Card("plain", {"misc"});
    Touch(root + "/misc/" + stem + "M.MOV");
    Touch(root + "/misc/" + stem + "D.ADA");
    EXPECT_TRUE(HideAsDeleted(root + "/misc/" + stem + "M.MOV"));
    EXPECT_TRUE(Exists(root + "/misc/" + stem + "M.DMY"));
    EXPECT_TRUE(Exists(root + "/misc/" + stem + "D.TDA"));
}

TEST_F(HideAsDeletedTest, MissingOrAlreadyHiddenFilesStopIt) {
    const std::string stem = kStem;
    const std::string root = Card("normal", {"Normal", "_NData"});
    const std::string movie = root + "/Normal/" + stem + "M.MOV";

    // No data file: the movie is hidden, the result is false.
    Touch(movie);
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(root + "/Normal/" + stem + "M.DMY"));
    EXPECT_TRUE(ops_.IsHidden(root + "/Normal/" + stem + "M.DMY"));

    // The movie is gone now: nothing to do.
    Touch(root + "/_NData/" + stem + "D.ADA");
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(root + "/_NData/" + stem + "D.ADA"));

    // A hidden name that exists already is never replaced.
    Touch(movie);
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(movie));
    EXPECT_FALSE(ops_.IsHidden(movie));
}

TEST_F(HideAsDeletedTest, FailedDataRenamePutsTheMovieBack) {
    const std::string stem = kStem;
    const std::string root = Card("normal", {"Normal", "_NData"});
    const std::string movie = root + "/Normal/" + stem + "M.MOV";
    const std::string data = root + "/_NData/" + stem + "D.ADA";
    Touch(movie);
    Touch(data);
    ops_.failMove = 2;
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(movie));
    EXPECT_TRUE(Exists(data));
    EXPECT_FALSE(Exists(root + "/Normal/" + stem + "M.DMY"));
    EXPECT_FALSE(Exists(root + "/_NData/" + stem + "D.TDA"));
    EXPECT_TRUE(ops_.hidden.empty());

    // A failed first rename leaves the movie as it was.
    ops_.moves = 0;
    ops_.failMove = 1;
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(movie));
    EXPECT_TRUE(ops_.hidden.empty());

    ops_.failMove = 0;
    ops_.failSetHidden = true;
    EXPECT_FALSE(HideAsDeleted(movie));
    EXPECT_TRUE(Exists(movie));
    EXPECT_TRUE(Exists(data));
}

TEST_F(CardLayoutTest, HidesWithTheRealFileOperations) {
    // On a file system without the attribute, hiding is the rename alone.
    const std::string stem = kStem;
    const std::string root = Card("normal", {"Normal", "_NData"});
    Touch(root + "/Normal/" + stem + "M.MOV");
    Touch(root + "/_NData/" + stem + "D.ADA");
    EXPECT_TRUE(HideAsDeleted(root + "/Normal/" + stem + "M.MOV"));
    EXPECT_TRUE(Exists(root + "/Normal/" + stem + "M.DMY"));
    EXPECT_TRUE(Exists(root + "/_NData/" + stem + "D.TDA"));
}

}  // namespace
}  // namespace orv
