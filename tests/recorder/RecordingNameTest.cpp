#include "recorder/RecordingName.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace orv {
namespace {

constexpr const char* kFront = "AG_S-220101-120000-000001M.MOV";
constexpr const char* kRear = "AG_S-220101-120000-000001S.MOV";

// A 30-character recorder name with the given four letters.
std::string Name(const std::string& letters, const char* tail = "-220101-120000-000001M.MOV") {
    return letters + tail;
}

// A front movie of 2022-01-01 with the given letters and serial number.
std::string Serial(const std::string& letters, int serial, const char* date = "220101") {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%s-120000-%06dM.MOV", letters.c_str(), date, serial);
    return buf;
}

TEST(RecordingNameTest, PatternsFindRecorderMovies) {
    EXPECT_TRUE(IsRecorderMovieName(kFront));
    EXPECT_TRUE(IsMainCameraMovieName(kFront));
    EXPECT_TRUE(IsRecorderMovieName(kRear));
    EXPECT_FALSE(IsMainCameraMovieName(kRear));
    EXPECT_TRUE(IsMainCameraMovieName(std::string("/media/card/Normal/") + kFront));

    // A search, not a whole match: text before or after the name does not matter, and any
    // character stands for the point.
    EXPECT_TRUE(IsRecorderMovieName(std::string(kFront) + ".bak"));
    EXPECT_TRUE(IsMainCameraMovieName("AG_S-220101-120000-000001M_MOV"));
    EXPECT_TRUE(IsMainCameraMovieName(std::string("A___-") + kFront));

    // The fifth character is checked before the pattern runs.
    EXPECT_FALSE(IsRecorderMovieName(std::string("AG_S_") + kFront));
    EXPECT_FALSE(IsRecorderMovieName("AG_SX220101-120000-000001M.MOV"));

    // Case-sensitive, and every field must be there.
    EXPECT_FALSE(IsRecorderMovieName("AG_S-220101-120000-000001M.mov"));
    EXPECT_FALSE(IsRecorderMovieName("ag_s-220101-120000-000001M.MOV"));
    EXPECT_FALSE(IsRecorderMovieName("AG_S-220101-120000-00001M.MOV"));
    EXPECT_FALSE(IsRecorderMovieName("AG_S-220101-120000-000001D.MOV"));
    EXPECT_FALSE(IsRecorderMovieName("A.MOV"));
    EXPECT_FALSE(IsRecorderMovieName(""));
    // Only the file name is read.
    EXPECT_FALSE(IsRecorderMovieName(std::string(kFront) + "/clip.MOV"));

    // A name of the right shape must also have a known kind.
    EXPECT_TRUE(IsRecorderMovieName(Name("__O_")));
    EXPECT_TRUE(IsRecorderMovieName(Name("__R_")));
    EXPECT_TRUE(IsRecorderMovieName(Name("__T_")));
    EXPECT_FALSE(IsRecorderMovieName(Name("____")));

    // Non-ASCII folders are fine; a name that is not UTF-8 never matches.
    EXPECT_TRUE(IsMainCameraMovieName(std::string("/media/ドライブ/") + kFront));
    EXPECT_FALSE(IsRecorderMovieName(std::string(kFront) + "\xff"));
    EXPECT_FALSE(IsRecorderMovieName(std::string(kFront) + "\xc0\xaf"));  // overlong '/'
}

TEST(RecordingNameTest, KindComesFromTheLetters) {
    EXPECT_EQ(GetRecordingKind(Name("A___")), REC_CONTINUOUS);
    EXPECT_EQ(GetRecordingKind(Name("AG__")), REC_IMPACT);
    EXPECT_EQ(GetRecordingKind(Name("AM__")), REC_MANUAL);
    EXPECT_EQ(GetRecordingKind(Name("AGOS")), REC_IMPACT);
    EXPECT_EQ(GetRecordingKind(Name("T___")), REC_CONTINUOUS);
    EXPECT_EQ(GetRecordingKind(Name("TG__")), REC_IMPACT);
    EXPECT_EQ(GetRecordingKind(Name("TM__")), REC_MANUAL);
    EXPECT_EQ(GetRecordingKind(Name("P___")), REC_PARKING);
    EXPECT_EQ(GetRecordingKind(Name("PM__")), REC_PARKING);
    EXPECT_EQ(GetRecordingKind(Name("PG__")), REC_PARKING_IMPACT);
    EXPECT_EQ(GetRecordingKind(Name("__O_")), REC_SPEED_CAMERA);
    EXPECT_EQ(GetRecordingKind(Name("__R_")), REC_RADAR);
    EXPECT_EQ(GetRecordingKind(Name("__T_")), REC_PARKING);
    EXPECT_EQ(GetRecordingKind(Name("____")), REC_UNKNOWN);
    EXPECT_EQ(GetRecordingKind("readme.txt"), REC_UNKNOWN);
    EXPECT_EQ(GetRecordingKind(""), REC_UNKNOWN);
    EXPECT_EQ(GetRecordingKind("/card/Parking/" + Name("PG__")), REC_PARKING_IMPACT);
    // Positions count characters, not bytes.
    EXPECT_EQ(GetRecordingKind("_日O"), REC_SPEED_CAMERA);

    EXPECT_EQ(GetAlertLetterKind(Name("A___")), 1);
    EXPECT_EQ(GetAlertLetterKind(Name("A_O_")), 2);
    EXPECT_EQ(GetAlertLetterKind(Name("A_R_")), 3);
    EXPECT_EQ(GetAlertLetterKind(Name("A_T_")), 8);
    EXPECT_EQ(GetAlertLetterKind(Name("A_X_")), 0);
    EXPECT_EQ(GetAlertLetterKind("AB"), 0);
}

TEST(RecordingNameTest, FlagsAreOredIn) {
    auto flagsOf = [](const std::string& letters) {
        unsigned flags = 0;
        EXPECT_EQ(GetRecordingFlags(Name(letters), flags), 1);
        return flags;
    };
    EXPECT_EQ(flagsOf("PG_S"), 16u);
    EXPECT_EQ(flagsOf("PGOS"), 16u | 32u);
    EXPECT_EQ(flagsOf("TM_S"), 1u | 2u);
    EXPECT_EQ(flagsOf("A___"), 1u);
    EXPECT_EQ(flagsOf("AG__"), 1u | 4u);
    EXPECT_EQ(flagsOf("P___"), 8u);
    EXPECT_EQ(flagsOf("PM__"), 2u | 8u);
    EXPECT_EQ(flagsOf("A_R_"), 1u | 64u);
    EXPECT_EQ(flagsOf("__T_"), 1u);
    EXPECT_EQ(flagsOf("____"), 0u);

    unsigned word = 128;
    GetRecordingFlags(Name("AG__"), word);
    GetRecordingFlags(Name("P_O_"), word);
    EXPECT_EQ(word, 128u | 1u | 4u | 8u | 32u);
}

TEST(RecordingNameTest, SplitNameFieldCutsAtTheSeparator) {
    EXPECT_EQ(SplitNameField(kFront, 5, '-'), "220101");
    EXPECT_EQ(SplitNameField(std::string("/card/Normal/") + kFront, 12, '-'), "120000");
    EXPECT_EQ(SplitNameField(kFront, 12, 'M'), "120000-000001");
    EXPECT_EQ(SplitNameField(kFront, 19, '-'), "000001M.MOV");
    EXPECT_EQ(SplitNameField(kFront, 30, '-'), "");
    EXPECT_EQ(SplitNameField(kFront, 99, '-'), "");
    EXPECT_EQ(SplitNameField(kFront, -1, '-'), "");
    EXPECT_EQ(SplitNameField("日本語-123", 4, '-'), "123");
    EXPECT_EQ(SplitNameField("日本語-123", 1, '-'), "本語");
    EXPECT_EQ(SplitNameField(std::string(300, 'a'), 0, '-'), std::string(259, 'a'));
}

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

void ExpectTime(const SYSTEMTIME& st, int y, int mo, int d, int dow, int h, int mi, int s) {
    EXPECT_EQ(st.wYear, y);
    EXPECT_EQ(st.wMonth, mo);
    EXPECT_EQ(st.wDay, d);
    EXPECT_EQ(st.wDayOfWeek, dow);
    EXPECT_EQ(st.wHour, h);
    EXPECT_EQ(st.wMinute, mi);
    EXPECT_EQ(st.wSecond, s);
    EXPECT_EQ(st.wMilliseconds, 0);
}

TEST(RecordingNameTest, NameTimeIsTheWallClockOnEveryMachine) {
    for (const char* tz : {"UTC", "Asia/Tokyo", "America/New_York"}) {
        SCOPED_TRACE(tz);
        ScopedTimeZone zone(tz);
        ExpectTime(RecordingTimeFromName(kFront), 2022, 1, 1, 6, 12, 0, 0);
        ExpectTime(RecordingTimeFromName("/card/Parking/P___-240229-235959-000100M.MOV"), 2024,
                   2, 29, 4, 23, 59, 59);
        // 02:30 on this day does not exist in New York; the name's digits still hold.
        ExpectTime(RecorderFileTime("230312", "023000"), 2023, 3, 12, 0, 2, 30, 0);
        // Fields out of range carry over.
        ExpectTime(RecorderFileTime("221231", "235960"), 2023, 1, 1, 0, 0, 0, 0);
        // What is not a date gives the epoch.
        ExpectTime(RecorderFileTime("22011", "120000"), 1970, 1, 1, 4, 0, 0, 0);
        ExpectTime(RecordingTimeFromName("holiday.mp4"), 1970, 1, 1, 4, 0, 0, 0);
    }
}

TEST(RecordingNameTest, KindLabelsForEveryLetterCombination) {
    const struct {
        const char* letters;
        const char* label;
    } rows[] = {
        {"AG__", "衝撃"},
        {"AGO_", "衝撃+オービス"},
        {"AGRS", "衝撃+レーダー"},
        {"AM__", "マニュアル"},
        {"AMO_", "マニュアル+オービス"},
        {"A___", "常時"},
        {"A_O_", "オービス"},
        {"A_R_", "レーダー"},
        {"A_T_", "駐車タイムラプス"},
        {"A_X_", ""},
        {"AX__", ""},
        {"PG__", "駐車衝撃"},
        {"P___", "駐車"},
        {"PGT_", "駐車タイムラプス+衝撃"},
        {"P_T_", "駐車タイムラプス"},
        {"PM__", ""},
        {"P_O_", ""},
        {"PGO_", ""},
        {"TG__", "常時タイムラプス+衝撃"},
        {"TGO_", "常時タイムラプス+衝撃+オービス"},
        {"TM__", "常時タイムラプス+マニュアル"},
        {"TMR_", "常時タイムラプス+マニュアル+レーダー"},
        {"T___", "常時タイムラプス"},
        {"T_O_", "常時タイムラプス+オービス"},
        {"T_T_", "常時タイムラプス"},
        {"TX__", ""},
        {"____", ""},
        {"__O_", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.letters);
        EXPECT_EQ(MakeRecordingKindLabel(Name(row.letters)), row.label);
        EXPECT_EQ(MakeRecordingKindLabel("/card/Normal/" + Name(row.letters)), row.label);
    }
    // Fewer than 30 characters: no label.
    EXPECT_EQ(MakeRecordingKindLabel("A___-220101-120000-000001.MOV"), "");

    EXPECT_EQ(AppendAlertLabel("x", Name("A_O_")), "x+オービス");
    EXPECT_EQ(AppendAlertLabel("", Name("A_R_")), "+レーダー");
    EXPECT_EQ(AppendAlertLabel("x", Name("A___")), "x");
    EXPECT_EQ(AppendAlertLabel("x", Name("A_T_")), "x");
}

// Whether the one file passes the filter with the toggles named by their kinds.
bool Shown(const std::string& letters, std::initializer_list<RecordingKind> on) {
    bool flags[kRecordingKindCount] = {};
    for (RecordingKind k : on) flags[k] = true;
    sFILEENTRY entry;
    entry.path = "/card/Normal/" + Name(letters);
    std::vector<sFILEENTRY> out;
    EXPECT_EQ(FilterEntriesByKind({entry}, out, flags), 1);
    return !out.empty();
}

TEST(RecordingNameTest, FilterFollowsTheLatestApplicableToggle) {
    EXPECT_TRUE(Shown("A___", {REC_CONTINUOUS}));
    EXPECT_FALSE(Shown("A___", {REC_IMPACT, REC_MANUAL, REC_PARKING, REC_PARKING_IMPACT,
                                REC_SPEED_CAMERA, REC_RADAR}));
    EXPECT_TRUE(Shown("T___", {REC_CONTINUOUS}));

    // Impact and manual files follow their own toggle alone.
    EXPECT_TRUE(Shown("AG__", {REC_IMPACT}));
    EXPECT_FALSE(Shown("AG__", {REC_CONTINUOUS}));
    EXPECT_TRUE(Shown("AM__", {REC_MANUAL}));
    EXPECT_FALSE(Shown("AM__", {REC_CONTINUOUS}));

    // Speed-camera and radar files follow their own toggle, whatever else is on.
    EXPECT_FALSE(Shown("A_O_", {REC_CONTINUOUS}));
    EXPECT_TRUE(Shown("A_O_", {REC_SPEED_CAMERA}));
    EXPECT_TRUE(Shown("A_O_", {REC_CONTINUOUS, REC_SPEED_CAMERA}));
    EXPECT_FALSE(Shown("A_R_", {REC_CONTINUOUS, REC_SPEED_CAMERA}));
    EXPECT_TRUE(Shown("A_R_", {REC_RADAR}));
    EXPECT_FALSE(Shown("P_O_", {REC_PARKING}));
    EXPECT_TRUE(Shown("AGO_", {REC_IMPACT}));

    // Parking files.
    EXPECT_TRUE(Shown("P___", {REC_PARKING}));
    EXPECT_FALSE(Shown("P___", {REC_CONTINUOUS}));
    EXPECT_TRUE(Shown("PG__", {REC_PARKING_IMPACT}));
    EXPECT_FALSE(Shown("PG__", {REC_PARKING}));
    EXPECT_TRUE(Shown("__T_", {REC_PARKING}));
    EXPECT_FALSE(Shown("__T_", {REC_CONTINUOUS}));

    EXPECT_FALSE(Shown("____", {REC_CONTINUOUS, REC_IMPACT, REC_MANUAL, REC_PARKING,
                                REC_PARKING_IMPACT, REC_SPEED_CAMERA, REC_RADAR}));
}

TEST(RecordingNameTest, FilterAppendsInListOrder) {
    std::vector<sFILEENTRY> entries(4);
    entries[0].path = Name("A___");
    entries[1].path = Name("AG__");
    entries[2].path = Name("T___", "-220101-120000-000002M.MOV");
    entries[3].path = "notes.txt";
    sFILEENTRY kept;
    kept.path = "kept";
    std::vector<sFILEENTRY> out{kept};
    const bool flags[kRecordingKindCount] = {true, false, false, false, false, false, false};
    EXPECT_EQ(FilterEntriesByKind(entries, out, flags), 4);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].path, "kept");
    EXPECT_EQ(out[1].path, entries[0].path);
    EXPECT_EQ(out[2].path, entries[2].path);
}

TEST(RecordingNameTest, ListDisplayName) {
    EXPECT_EQ(MakeListDisplayName(kFront), "AG_S-120000-000001");
    EXPECT_EQ(MakeListDisplayName(std::string("/card/Normal/") + kRear), "AG_S-120000-000001");
    EXPECT_EQ(MakeListDisplayName("/home/u/holiday.video.mp4"), "holiday");
    EXPECT_EQ(MakeListDisplayName("README"), "README");
    EXPECT_EQ(MakeListDisplayName(Name("____")), "____-220101-120000-000001M");
}

struct GroupWalk {
    std::string group;
    int counter = 0;
    std::map<std::string, int> perDate;
    std::string previous;
    SYSTEMTIME start;

    std::string Next(const std::string& path) {
        MakeUniqueName(group, path, start, counter, perDate, previous);
        previous = path;
        return group;
    }
};

TEST(RecordingNameTest, GroupsHoldTwoHundredConsecutiveMovies) {
    GroupWalk walk;
    for (int serial = 1; serial <= 200; ++serial) {
        SCOPED_TRACE(serial);
        ASSERT_EQ(walk.Next(Serial("A___", serial)), "220101_0001");
    }
    EXPECT_EQ(walk.Next(Serial("A___", 201)), "220101_0002");
    EXPECT_EQ(walk.counter, 0);
    EXPECT_EQ(walk.Next(Serial("A___", 202)), "220101_0002");
    EXPECT_EQ(walk.counter, 1);
    // A gap in the serial numbers and the fourth letter S each start a group.
    EXPECT_EQ(walk.Next(Serial("A___", 204)), "220101_0003");
    EXPECT_EQ(walk.Next(Serial("A__S", 205)), "220101_0004");
    // Groups are numbered per date.
    EXPECT_EQ(walk.Next(Serial("A__S", 206, "220102")), "220102_0001");
    EXPECT_EQ(walk.Next(Serial("A___", 207, "220102")), "220102_0001");
    EXPECT_EQ(walk.start.wDay, 2);
    EXPECT_EQ(walk.start.wHour, 12);
}

TEST(RecordingNameTest, FirstMovieStartsAGroup) {
    // Serial 1 follows "no previous serial" (0) but must not join the empty group name.
    GroupWalk walk;
    EXPECT_EQ(walk.Next(Serial("A___", 1)), "220101_0001");
    EXPECT_EQ(walk.counter, 0);
    EXPECT_EQ(walk.start.wYear, 2022);
    EXPECT_EQ(walk.Next(Serial("A___", 2)), "220101_0001");
    EXPECT_EQ(walk.counter, 1);
}

TEST(RecordingNameTest, SnapshotStem) {
    EXPECT_EQ(MakeSnapshotStem(kFront), "220101-120000-M");
    EXPECT_EQ(MakeSnapshotStem(std::string("/card/Normal/") + kRear), "220101-120000-S");
    EXPECT_EQ(MakeSnapshotStem("AG_S-220101-120000-000001M"), "");  // no point
    EXPECT_EQ(MakeSnapshotStem("ABCDE123456789012345.x"), "123456789012345");
    // Too short for the cut.
    EXPECT_EQ(MakeSnapshotStem("ABCDE12345678901234.x"), "");
    EXPECT_EQ(MakeSnapshotStem("AG_S-1.MOV"), "");
    EXPECT_EQ(MakeSnapshotStem("AB.MOV"), "");
    EXPECT_EQ(MakeSnapshotStem(".MOV"), "");
    EXPECT_EQ(MakeSnapshotStem(""), "");
    // Characters, not bytes.
    EXPECT_EQ(MakeSnapshotStem("駐車__-日本語5678901234567.x"), "日本語567890123457");
}

}  // namespace
}  // namespace orv
