#include <gtest/gtest.h>

#include <string>

#include "app/commands/ControlRules.h"
#include "app/commands/SnapshotName.h"

namespace orv {
namespace {

// The transport buttons that a state enables, as a string of 15 '1'/'0'.
std::string Enabled(const ControlStates& s) {
    std::string out;
    for (bool on : s.transport) out += on ? '1' : '0';
    return out;
}

TEST(ControlRules, TransportButtonTable) {
    const int commands[] = {38000, 38001, 38002, 38003, 38004, 38005, 38006, 38007,
                            38008, 38009, 38010, 38011, 38012, 38013, 38014};
    const int bitmaps[] = {154, 144, 148, 142, 139, 145, 153, 150, 200, 146, 138, 151, 137, 322, 357};
    const int tooltips[] = {20, 13, 12, 17, 4, 9, 19, 1, 21, 10, 3, 16, 2, 139, 150};
    for (int i = 0; i < kTransportButtonCount; ++i) {
        EXPECT_EQ(kTransportButtons[i].command, commands[i]);
        EXPECT_EQ(kTransportButtons[i].bitmap, bitmaps[i]);
        EXPECT_EQ(kTransportButtons[i].tooltip, tooltips[i]);
    }
    EXPECT_EQ(kTitleButtons[3].width, 150);
    EXPECT_EQ(kTitleButtons[1].tooltip, 169);
}

TEST(ControlRules, EnablingFollowsTheState) {
    // Order: stop prev pause slow fast next snap join large open delete settings csv obd map
    struct Case {
        const char* name;
        ControlInputs in;
        const char* expected;
        int filters;
    } cases[] = {
        {"empty list", {0, -1, 1, false, 0, 1, false, false}, "000000000100100", 7},
        {"empty list, csv off", {0, -1, 2, false, 0, 1, false, true}, "000000000100000", 7},
        {"SD card, first row, playing", {3, 0, 1, false, 2, 1, true, false}, "101111111111111", 7},
        {"folder, last row, paused", {3, 2, 2, false, 3, 1, true, true}, "111000101111011", 7},
        {"file source, stopped, no data", {1, 0, 3, false, 1, 1, false, true}, "000000000101011", 7},
        {"limited model", {2, 1, 1, true, 2, 1, true, false}, "111110111111101", 5},
        {"fastest step", {2, 0, 1, false, 2, 2, true, false}, "101101111111111", 7},
        {"slowest step", {2, 0, 1, false, 2, -2, true, false}, "101011111111111", 7},
    };
    for (const Case& c : cases) {
        const ControlStates s = UpdateControlStates(c.in);
        EXPECT_EQ(Enabled(s), c.expected) << c.name;
        EXPECT_EQ(s.filterButtons, c.filters) << c.name;
        EXPECT_TRUE(s.titleButtons && s.panes) << c.name;
    }
    EXPECT_EQ(Enabled(DisableAllControls()), "000000000000000");
    EXPECT_FALSE(DisableAllControls().panes);
    ControlInputs failed;
    failed.lastOpenFailed = true;
    failed.limitedModel = true;
    EXPECT_EQ(Enabled(EnableIdleControls(failed)), "000000000110000");
    EXPECT_EQ(EnableIdleControls(failed).filterButtons, 5);
    EXPECT_EQ(Enabled(EnableIdleControls(ControlInputs{})), "000000000100000");
}

TEST(ControlRules, ZoomFiltersAndAxes) {
    EXPECT_FLOAT_EQ(NextZoomFactor(1.0f), 2.0f);
    EXPECT_FLOAT_EQ(NextZoomFactor(2.0f), 3.0f);
    EXPECT_FLOAT_EQ(NextZoomFactor(3.0f), 1.0f);
    const int detectors[] = {9, 4, 5, 6, 7, 8};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(DetectorForEventFilter(i), detectors[i]);
    for (int i : {-1, 6, 100}) EXPECT_EQ(DetectorForEventFilter(i), -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DetectorForAxis(i), i);
    EXPECT_EQ(DetectorForAxis(3), -1);
    EXPECT_EQ(FilterKindOfCommand(38700), 0);
    EXPECT_EQ(FilterKindOfCommand(38706), 6);
    EXPECT_EQ(FilterKindOfCommand(38707), -1);
    EXPECT_EQ(FilterKindOfCommand(38699), -1);
}

TEST(SnapshotName, FrontAndRearNames) {
    const char* movie = "/card/Normal/AG_S-220101-120000-000001M.MOV";
    struct Case {
        const char* folder;
        long long frame;
        const char* front;
        const char* rear;
    } cases[] = {
        {"/pics", 1234, "/pics/220101-120000-M-001234.jpg", "/pics/220101-120000-S-001234.jpg"},
        {"/pics/", 0, "/pics/220101-120000-M-000000.jpg", "/pics/220101-120000-S-000000.jpg"},
        {"/", 1000000, "/220101-120000-M-1000000.jpg", "/220101-120000-S-1000000.jpg"},
        {"/pics", -1, "", ""},
    };
    for (const Case& c : cases) {
        const std::string front = MakeSnapshotFileName(c.folder, movie, c.frame);
        EXPECT_EQ(front, c.front);
        EXPECT_EQ(MakeRearSnapshotFileName(front), c.rear);
    }
    EXPECT_EQ(MakeRearSnapshotFileName(MakeSnapshotFileName("/p", "/c/AG_S-220101-120000-000001S.MOV", 5)),
              "/p/220101-120000-M-000005.jpg");
    EXPECT_EQ(MakeSnapshotFileName("/p", "/c/short.MOV", 5), "");
}

}  // namespace
}  // namespace orv
