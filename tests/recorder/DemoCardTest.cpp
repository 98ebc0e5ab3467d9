// The demo card, made in-process, must be read the way its names and folders intend.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "fixtures/DemoCard.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/base/Drives.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"
#include "recorder/RecordingName.h"

namespace orv {
namespace {

class DriveRootScope {
public:
    explicit DriveRootScope(const std::string& root) {
        SetDriveRootProvider([root](const std::string&) { return root; });
    }
    ~DriveRootScope() { SetDriveRootProvider({}); }
};

std::string FirstBytes(const std::string& path, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), std::streamsize(n));
    s.resize(std::size_t(in.gcount()));
    return s;
}

TEST(DemoCard, EveryRecordingIsFoundWhereTheViewerLooks) {
    if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    fixtures::TempDir tmp;
    const std::string root = tmp.Path() + "/card";
    std::string error;
    ASSERT_TRUE(fixtures::MakeDemoCard(root, true, &error)) << error;
    DriveRootScope scope(root);

    struct Expected {
        RecordingKind kind;
        const char* folder;
        const char* dataFolder;
    };
    const std::map<std::string, Expected> expected = {
        {"A__S", {REC_CONTINUOUS, "Video", "_VData"}},  {"A___", {REC_CONTINUOUS, "Video", "_VData"}},
        {"AG__", {REC_IMPACT, "Video", "_VData"}},      {"AM__", {REC_MANUAL, "Video", "_VData"}},
        {"A_O_", {REC_CONTINUOUS, "Video", "_VData"}},  {"T___", {REC_CONTINUOUS, "Video", "_VData"}},
        {"P___", {REC_PARKING, "Parking", "_PData"}},   {"PG__", {REC_PARKING_IMPACT, "Parking", "_PData"}},
    };
    std::map<std::string, std::string> fronts;  // letters -> path
    for (const char* folder : {"Video", "Parking"})
        for (const auto& item : std::filesystem::directory_iterator(root + "/" + folder)) {
            const std::string name = item.path().filename().string();
            if (name.size() == 30 && name.substr(25) == "M.MOV")
                fronts[name.substr(0, 4)] = item.path().string();
        }
    ASSERT_EQ(fronts.size(), expected.size());

    for (const auto& [letters, want] : expected) {
        SCOPED_TRACE(letters);
        ASSERT_EQ(fronts.count(letters), 1u);
        const std::string& front = fronts[letters];
        EXPECT_TRUE(IsRecorderMovieName(front));
        EXPECT_TRUE(IsMainCameraMovieName(front));
        EXPECT_EQ(GetRecordingKind(front), want.kind);
        EXPECT_EQ(PathFindFileName(PathRemoveFileSpec(front)), want.folder);

        const std::string data = DataFileOfMovie(front);
        EXPECT_EQ(PathFindFileName(PathRemoveFileSpec(data)), want.dataFolder);
        EXPECT_EQ(FirstBytes(data, 6), "CSMDAT");

        const std::string rear = CompanionFileName(front);
        EXPECT_TRUE(PathFileExists(rear)) << rear;
        EXPECT_FALSE(IsMainCameraMovieName(rear));
        EXPECT_EQ(CompanionFileName(rear), front);
        EXPECT_EQ(FirstBytes(rear, 8).substr(4), "ftyp");
    }

    unsigned flags = 0;
    GetRecordingFlags(fronts["A_O_"], flags);
    EXPECT_NE(flags & REC_FLAG_SPEED_CAMERA, 0u);

    g_nFolderLayout = 0;
    EXPECT_TRUE(DetectFolderLayout(fronts["A__S"]));
    EXPECT_EQ(g_nFolderLayout.load(), 1);

    const SYSTEMTIME start = RecordingTimeFromName(fronts["A__S"]);
    EXPECT_EQ(start.wYear, 2024);
    EXPECT_EQ(start.wMonth, 4);
    EXPECT_EQ(start.wDay, 13);
    EXPECT_EQ(start.wHour, 10);
    EXPECT_EQ(start.wMinute, 15);
    EXPECT_EQ(start.wSecond, 0);

    EXPECT_TRUE(PathFileExists(root + "/pvtrace.txt"));
    EXPECT_TRUE(PathFileExists(root + "/KM3CA_download.url"));

    // A second run into the same folder is refused; nothing is overwritten.
    EXPECT_FALSE(fixtures::MakeDemoCard(root, true, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orv
