#include "views/EventClassification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "ViewsTestSupport.h"

namespace orv {
namespace {

using test::FrontChannelData;
using test::QuietRecords;
namespace fx = orv::fixtures;

// What every classifier makes of one record the fixture writer wrote.
TEST(EventClassification, ClassifiersReadTheRecordsLetters) {
    struct Case {
        const char* what;
        std::function<void(fx::RawRecord&)> set;
        std::vector<int> kinds;  // by detector 0..9
    };
    const std::vector<Case> cases = {
        {"nothing", [](fx::RawRecord&) {}, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"axis X", [](fx::RawRecord& r) { r.axis = 'X'; }, {0, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"axis Y", [](fx::RawRecord& r) { r.axis = 'Y'; }, {-1, 2, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"axis Z", [](fx::RawRecord& r) { r.axis = 'Z'; }, {-1, -1, 3, -1, -1, -1, -1, -1, -1, -1}},
        {"manual", [](fx::RawRecord& r) { r.manual = 'D'; }, {-1, -1, -1, 5, -1, -1, -1, -1, -1, -1}},
        {"emergency stop", [](fx::RawRecord& r) { r.emergencyStop = 'D'; }, {-1, -1, -1, -1, 6, -1, -1, -1, -1, -1}},
        {"parking", [](fx::RawRecord& r) { r.parking = 'D'; }, {-1, -1, -1, -1, -1, 7, -1, -1, -1, -1}},
        {"speeding and parking", [](fx::RawRecord& r) { r.speeding = 'D', r.parking = 'D'; },
         {-1, -1, -1, -1, -1, 7, 8, -1, -1, -1}},
        {"alerts 10 and 9", [](fx::RawRecord& r) { r.alertCodes = 0xA9; }, {-1, -1, -1, -1, -1, -1, -1, 9, -1, -1}},
        {"alerts 9 and 8", [](fx::RawRecord& r) { r.alertCodes = 0x98; }, {-1, -1, -1, -1, -1, -1, -1, -1, 10, -1}},
        {"alerts 8 and 8", [](fx::RawRecord& r) { r.alertCodes = 0x88; }, {-1, -1, -1, -1, -1, -1, -1, -1, 10, -1}},
        {"alerts 10 and 8", [](fx::RawRecord& r) { r.alertCodes = 0xA8; }, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"support H", [](fx::RawRecord& r) { r.driveSupport = 'H'; }, {-1, -1, -1, -1, -1, -1, -1, -1, -1, 11}},
        {"support A", [](fx::RawRecord& r) { r.driveSupport = 'A'; }, {-1, -1, -1, -1, -1, -1, -1, -1, -1, 12}},
        {"support B", [](fx::RawRecord& r) { r.driveSupport = 'B'; }, {-1, -1, -1, -1, -1, -1, -1, -1, -1, 13}},
        {"axis X and manual", [](fx::RawRecord& r) { r.axis = 'X', r.manual = 'D'; },
         {0, -1, -1, 5, -1, -1, -1, -1, -1, -1}},
    };
    const EventDetectors detectors = MakeEventDetectors();
    for (const Case& c : cases) {
        std::vector<fx::RawRecord> records = QuietRecords(1);
        c.set(records[0]);
        FrontChannelData data(records);
        ASSERT_TRUE(data.Ready()) << c.what;
        const ChannelsLock lock;
        const sSENSORRECORD* record = GetFrameRecord(lock, 0);
        ASSERT_NE(record, nullptr) << c.what;
        for (int d = 0; d < DETECTOR_COUNT; ++d) {
            const int kind = detectors[std::size_t(d)].classifier(*record);
            EXPECT_EQ(kind, c.kinds[std::size_t(d)]) << c.what << ", detector " << d;
            EXPECT_NE(kind, EVENT_SUDDEN_BRAKING);
            EXPECT_NE(kind, EVENT_SUDDEN_RISE);
            if (kind >= 0) {
                EXPECT_EQ(DetectorOfKind(kind), d) << c.what;
            }
        }
    }
}

TEST(EventClassification, FrameRecordsOnlyInsideTheTable) {
    {
        const ChannelsLock lock;
        for (const int frame : {-1, 0, 5}) EXPECT_EQ(GetFrameRecord(lock, frame), nullptr) << "no data, " << frame;
    }
    std::vector<sCRASHPOS> list{sCRASHPOS{}};
    BuildEventList(MakeEventDetectors(), list);
    EXPECT_TRUE(list.empty()) << "no data, no events";

    FrontChannelData data(QuietRecords(4), 8, 50.0f);  // two frames a record
    ASSERT_TRUE(data.Ready());
    const ChannelsLock lock;
    EXPECT_EQ(GetFrameRecord(lock, -1), nullptr);
    EXPECT_EQ(GetFrameRecord(lock, 8), nullptr);
    ASSERT_NE(GetFrameRecord(lock, 7), nullptr);
    EXPECT_EQ(GetFrameRecord(lock, 7)->index, 3);
    EXPECT_EQ(GetFrameRecord(lock, 3)->index, 1);  // a record shows from the frame after its own
}

// The event list of a few records, as (record, kind, detector).
TEST(EventClassification, EventListRules) {
    struct Entry {
        int record, kind, detector;
        bool operator==(const Entry&) const = default;
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<fx::RawRecord>&)> set;
        std::function<void(EventDetectors&)> switches;
        float frameMs;
        std::vector<Entry> expected;
    };
    const auto none = [](EventDetectors&) {};
    const std::vector<Case> cases = {
        {"active at frame 0", [](auto& r) { r[0].manual = r[1].manual = 'D'; }, none, 100.0f, {{0, 5, 3}}},
        {"axis and event on one record",
         [](auto& r) { r[2].axis = 'X', r[2].manual = 'D'; }, none, 100.0f, {{2, 0, 0}}},
        {"speeding and parking give two entries, speeding first",
         [](auto& r) { r[1].speeding = r[1].parking = 'D'; }, none, 100.0f, {{1, 8, 6}, {1, 7, 5}}},
        {"one event per record, not per frame",
         [](auto& r) { r[1].driveSupport = 'B'; }, none, 100.0f / 3.0f, {{1, 13, 9}}},
        {"a changed kind starts a new event",
         [](auto& r) { r[1].driveSupport = 'A', r[2].driveSupport = 'B'; }, none, 100.0f, {{1, 12, 9}, {2, 13, 9}}},
        {"switching off a detector hands its frames on",
         [](auto& r) { r[1].axis = 'Z', r[1].manual = 'D'; },
         [](EventDetectors& d) { SetDetectorFlags(d, DETECTOR_AXIS_Z, FALSE); }, 100.0f, {{1, 5, 3}}},
        {"an event starting inside an earlier detector's event is not listed",
         [](auto& r) { r[1].axis = 'X', r[1].manual = r[2].manual = 'D'; }, none, 100.0f, {{1, 0, 0}}},
        {"an unlisted speeding detector lists nothing of its own",
         [](auto& r) { r[1].speeding = 'D', r[1].alertCodes = 0x98; },
         [](EventDetectors& d) { SetDetectorFlags(d, DETECTOR_SPEEDING, FALSE); }, 100.0f, {{1, 10, 8}}},
        {"an unlisted detector is skipped",
         [](auto& r) { r[1].alertCodes = 0x98, r[1].driveSupport = 'H'; },
         [](EventDetectors& d) { d[DETECTOR_RADAR].bList = FALSE; }, 100.0f, {{1, 11, 9}}},
    };
    for (const Case& c : cases) {
        std::vector<fx::RawRecord> records = QuietRecords(4);
        c.set(records);
        const std::int64_t frames = std::int64_t(std::lround(400.0 / c.frameMs));
        FrontChannelData data(records, frames, c.frameMs);
        ASSERT_TRUE(data.Ready()) << c.what;
        EventDetectors detectors = MakeEventDetectors();
        c.switches(detectors);
        std::vector<sCRASHPOS> list;
        BuildEventList(detectors, list);
        std::vector<Entry> got;
        for (const sCRASHPOS& e : list) {
            EXPECT_EQ(e.nRecord, e.pRecord->index) << c.what;
            got.push_back({e.nRecord, e.nKind, e.nDetector});
        }
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

}  // namespace
}  // namespace orv
