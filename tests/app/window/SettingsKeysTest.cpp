#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>

#include "app/window/SettingsKeys.h"
#include "fixtures/DemoStart.h"
#include "fixtures/TempDir.h"
#include "platform/base/CommitJournal.h"
#include "platform/base/WriterName.h"
#include "ui/CommonUtil.h"

namespace orv {
namespace {

class SettingsKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_szStartDir;
        g_szStartDir = dir_.Path();
    }
    void TearDown() override { g_szStartDir = saved_; }
    std::string FileText() const {
        std::ifstream in(SettingsFilePath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fixtures::TempDir dir_;
    std::string saved_;
};

TEST_F(SettingsKeysTest, NewFileGetsTheThreeDefaultsInOrder) {
    ASSERT_TRUE(EnsureSettingsFile());
    const std::string text = FileText();
    const auto info = text.find("INFOCHECK=31"), aspect = text.find("ASPECT=on"), volume = text.find("VOLUME=65535");
    ASSERT_NE(info, std::string::npos) << text;
    ASSERT_NE(aspect, std::string::npos) << text;
    ASSERT_NE(volume, std::string::npos) << text;
    EXPECT_LT(info, aspect);
    EXPECT_LT(aspect, volume);
    EXPECT_TRUE(ReadKeepAspect());
    EXPECT_EQ(ReadVolume(), 65535);

    // An existing file is left as it is.
    ASSERT_TRUE(WriteVolume(12));
    ASSERT_TRUE(EnsureSettingsFile());
    EXPECT_EQ(ReadVolume(), 12);
}

// The demo starts as a first start would: its settings file (written by tools/demo.sh, and
// by the review tour as the demo's) holds the keys of a new file.
TEST_F(SettingsKeysTest, DemoStartHoldsTheKeysOfANewFile) {
    ASSERT_TRUE(EnsureSettingsFile());
    const std::string keys[] = {"INFOCHECK", "ASPECT", "VOLUME"};
    std::map<std::string, std::string> fresh;
    for (const std::string& key : keys) fresh[key] = ReadIniString(settings::kDisplay, key);
    fixtures::TempDir demo;
    ASSERT_TRUE(fixtures::WriteDemoStartFolder(demo.Path(), "/card"));
    g_szStartDir = demo.Path();
    std::string written;
    for (const std::string& key : keys) {
        EXPECT_EQ(ReadIniString(settings::kDisplay, key), fresh[key]) << key;
        written += key + "=" + fresh[key] + "\\n";
    }
    std::ifstream script(ORV_SOURCE_DIR "/tools/demo.sh");
    const std::string text((std::istreambuf_iterator<char>(script)), {});
    EXPECT_NE(text.find("[DISPLAY]\\n" + written), std::string::npos) << written;
}

TEST_F(SettingsKeysTest, FailedWriteIsReported) {
    g_szStartDir = dir_.Path() + "/missing/folder";
    EXPECT_FALSE(EnsureSettingsFile());
    EXPECT_FALSE(WriteVolume(1));
    g_szStartDir.clear();
    EXPECT_FALSE(EnsureSettingsFile());
}

// A join killed while it put its output in place, in the remembered join folder, is
// finished when the program starts: the older companion it withdrew is gone, and so is
// the journal.
TEST_F(SettingsKeysTest, AStartFinishesWhatAKilledRunLeftInTheOutputFolders) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::string folder = dir_.Path() + "/joined";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(WriteIniString("FOLDERPATH", "CONNECT_FOLDER", folder));
    const std::string writer = HostMark() + "-" + std::to_string(gone);
    std::ofstream(folder + "/rear.MOV") << "the earlier join's rear movie";
    const std::string journal = folder + "/" + WriterFileName(WriterFile::kJournal, "movie.MOV", writer, 1);
    std::ofstream(journal) << EncodeCommitPlan(CommitPlan{
        writer,
        {{"rear.MOV", "", WriterFileName(WriterFile::kOlder, "rear.MOV", writer, 2), {}, FileIdentityOf(folder + "/rear.MOV")}}});
    FinishEarlierRunsWrites();
    EXPECT_FALSE(std::filesystem::exists(folder + "/rear.MOV"));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(SettingsKeysTest, ValueRules) {
    struct VolumeCase {
        const char* text;
        int volume;
    };
    for (const VolumeCase& c : {VolumeCase{"", 65535}, {"abc", 0}, {"99999", 65535}, {"0", 0}, {" 120x", 120},
                                {"-5", 0}, {"99999999999999999999999", 65535}}) {
        ASSERT_TRUE(WriteIniString(settings::kDisplay, settings::kVolume, c.text));
        EXPECT_EQ(ReadVolume(), c.volume) << '"' << c.text << '"';
    }
    struct AspectCase {
        const char* text;
        bool on;
    };
    for (const AspectCase& c : {AspectCase{"on", true}, {"On", false}, {"ON", false}, {"off", false}, {"", false}}) {
        ASSERT_TRUE(WriteIniString(settings::kDisplay, settings::kAspect, c.text));
        EXPECT_EQ(ReadKeepAspect(), c.on) << c.text;
    }
}

TEST_F(SettingsKeysTest, WindowScaleOnlyWhenFiniteAndClamped) {
    struct Case {
        const char* text;
        std::optional<float> scale;
    };
    const Case cases[] = {{"1.500000", 1.5f}, {"0.5", 1.0f},        {"9", 2.5f},          {"abc", std::nullopt},
                          {"", std::nullopt}, {"-2", std::nullopt}, {"nan", std::nullopt}, {"inf", std::nullopt}};
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteIniString(settings::kDisplay, settings::kScaleX, c.text));
        EXPECT_EQ(ReadWindowScale(settings::kScaleX, 2.5f), c.scale) << c.text;
    }
    ASSERT_TRUE(WriteWindowScale(1.25f, 2.0f));
    EXPECT_NE(FileText().find("SCALEX=1.250000"), std::string::npos) << FileText();
    EXPECT_EQ(ReadWindowScale(settings::kScaleY, 3.0f), 2.0f);
}

}  // namespace
}  // namespace orv
