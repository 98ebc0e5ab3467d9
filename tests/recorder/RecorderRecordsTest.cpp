#include "recorder/RecorderRecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fixtures/DataBlockWriter.h"
#include "platform/base/CalendarTime.h"
#include "recorder/MovieScanner.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;

constexpr char kDrivingName[] = "/card/_NData/A___-220315-083000-000001D.ADA";
constexpr char kTimeLapseName[] = "/card/_NData/T___-220315-083000-000001D.ADA";

// A scanner holding the decoded records of a block.
struct Decoded {
    sMOVIESCANNER scanner;
    bool ok = false;

    explicit Decoded(const fx::DataBlock& block, const char* name = kDrivingName) {
        scanner.path = name;
        const std::vector<std::uint8_t> bytes = block.Bytes();
        ok = ParseRecorderBlock(scanner, bytes, scanner.gps, scanner.sensor, scanner.header, scanner.obd);
    }
};

RawRecord Raw(const std::array<std::uint8_t, sRAWRECORD::kSize>& bytes) { return RawRecord(bytes); }

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

TEST(RecorderRecordsTest, EveryFieldAtItsOffset) {
    fx::RawRecord r;
    r.gpsStatus = 'A';
    r.latitude = "3539.1234";
    r.latitudeSign = 'N';
    r.longitude = "13946.0275";
    r.longitudeSign = 'E';
    r.speed = "0045";
    r.dateTime = "220315083009";
    r.correction = "*";
    r.voltage = "125";
    r.accelX = "+0250";
    r.accelY = "-1500";
    r.accelZ = "+1000";
    r.axis = 'Y';
    r.driveSupport = 'B';
    r.speeding = 'D';
    r.vehicleCodes = {0x01, 0x02, 0xFE, 0xFF};
    r.vehicleValues[0] = fx::kVehicleBlank;
    r.vehicleValues[1] = fx::kVehicleInvalid;
    r.vehicleValues[2] = 0x1234;
    r.vehicleValues[17] = 0xABCD;
    r.recordingMark = 'M';
    r.alertCodes = 0x5A;
    fx::DataBlock block;
    block.records = {r};
    Decoded d(block);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.scanner.gps.size(), 1u);
    ASSERT_EQ(d.scanner.sensor.size(), 1u);
    ASSERT_EQ(d.scanner.obd.size(), 1u);
    EXPECT_EQ(d.scanner.recordCounter, 0);

    const sGPSRECORD& g = d.scanner.gps[0];
    EXPECT_EQ(g.index, 0);
    EXPECT_EQ(g.time, 0);
    EXPECT_EQ(g.valid, 1);
    EXPECT_DOUBLE_EQ(g.latitude, 35 + 39.1234 / 60);
    EXPECT_DOUBLE_EQ(g.longitude, 139 + 46.0275 / 60);
    EXPECT_DOUBLE_EQ(g.speed, 45.0);
    EXPECT_TRUE(SameTime(g.timeOfDay, MakeSystemTime(2022, 3, 15, 8, 30, 9)));
    EXPECT_EQ(g.sensor, nullptr);
    EXPECT_EQ(g.obd, nullptr);

    const sSENSORRECORD& s = d.scanner.sensor[0];
    EXPECT_EQ(s.index, 0);
    EXPECT_EQ(s.event, 13);  // drive support: braking
    EXPECT_EQ(s.axis, 2);
    EXPECT_EQ(s.speeding, 8);
    EXPECT_EQ(s.voltage, 125);
    EXPECT_DOUBLE_EQ(s.gX, 0.25);
    EXPECT_DOUBLE_EQ(s.gY, -1.5);
    EXPECT_DOUBLE_EQ(s.gZ, 1.0);
    EXPECT_EQ(s.mark, 'M');
    EXPECT_EQ(s.alert1, 5);
    EXPECT_EQ(s.alert2, 10);

    const sOBDRECORD& o = d.scanner.obd[0];
    EXPECT_EQ(o.index, 0);
    EXPECT_EQ(o.codes[0], 0x01);
    EXPECT_EQ(o.codes[3], 0xFF);
    EXPECT_EQ(o.values[0], kVehicleValueBlank);
    EXPECT_EQ(o.values[1], kVehicleValueInvalid);
    EXPECT_EQ(o.values[2], 0x1234);
    EXPECT_EQ(o.values[17], 0xABCD);
}

TEST(RecorderRecordsTest, BlankAndSignedForms) {
    fx::RawRecord south;  // south and west: sign bytes 0
    south.latitude = "3539.1234";
    south.latitudeSign = 0;
    south.longitude = "01530.0000";
    south.longitudeSign = 0;
    south.gpsStatus = 'V';
    fx::RawRecord blank;  // no digits anywhere
    blank.latitude = "         ";
    blank.longitude = "          ";
    blank.speed = "    ";
    blank.voltage = "   ";
    blank.accelX = "     ";
    blank.dateTime = "            ";
    fx::RawRecord partial;  // digits not at the start
    partial.speed = " 7  ";
    partial.voltage = "98 ";
    fx::DataBlock block;
    block.records = {south, blank, partial};
    Decoded d(block);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.scanner.gps.size(), 3u);

    EXPECT_DOUBLE_EQ(d.scanner.gps[0].latitude, -(35 + 39.1234 / 60));
    EXPECT_DOUBLE_EQ(d.scanner.gps[0].longitude, -15.5);
    EXPECT_EQ(d.scanner.gps[0].valid, 0);

    EXPECT_EQ(d.scanner.gps[1].latitude, kNoPosition);
    EXPECT_EQ(d.scanner.gps[1].longitude, kNoPosition);
    EXPECT_EQ(d.scanner.gps[1].speed, kNoSpeed);
    EXPECT_EQ(d.scanner.sensor[1].voltage, kNoVoltage);
    EXPECT_EQ(d.scanner.sensor[1].gX, 0.0);
    EXPECT_EQ(d.scanner.gps[1].timeOfDay, SYSTEMTIME{});  // no time, not 1970

    EXPECT_DOUBLE_EQ(d.scanner.gps[2].speed, 7.0);
    EXPECT_EQ(d.scanner.sensor[2].voltage, 98);
}

// The recorder's own zero-padded layout and every other form of a field read alike: as the
// text-to-number reading of the field, to the last bit.
TEST(RecorderRecordsTest, NumberFieldsInAndOutOfTheRecordersLayout) {
    enum Field { kSpeed, kAccel, kLatitude, kLongitude, kVoltage, kCorrection };
    struct Row {
        Field field;
        const char* text;
        double expected;
    };
    const Row rows[] = {
        {kSpeed, "0045", 45.0}, {kSpeed, "9999", 9999.0}, {kSpeed, " 45 ", 45.0},
        {kSpeed, "45.5", 45.5}, {kSpeed, "00:5", 0.0}, {kSpeed, "-045", -45.0},
        {kAccel, "+0250", 250.0}, {kAccel, "-1500", -1500.0}, {kAccel, "-0000", -0.0},
        {kAccel, "0250 ", 250.0}, {kAccel, "+02.5", 2.5}, {kAccel, "++250", 0.0},
        {kAccel, "+025:", 25.0},
        {kLatitude, "3539.1234", 35 + 39.1234 / 60}, {kLatitude, "0000.0001", 0.0001 / 60},
        {kLatitude, "3539.12 4", 35 + 39.12 / 60}, {kLatitude, "35391234 ", 353912 + 34 / 60.0},
        {kLatitude, "3539:1234", 35 + 39 / 60.0}, {kLatitude, "+539.1234", 5 + 39.1234 / 60},
        {kLatitude, "x539.1234", 0.0},
        {kLongitude, "13946.0275", 139 + 46.0275 / 60}, {kLongitude, "1394.60275", 13 + 94.60275 / 60},
        {kLongitude, " 3946.0275", 39 + 46.0275 / 60}, {kLongitude, "13946.027 ", 139 + 46.027 / 60},
        {kVoltage, "125", 125}, {kVoltage, "12 ", 12}, {kVoltage, "1.5", 1}, {kVoltage, "+12", 12},
        {kCorrection, "+30", 30}, {kCorrection, "-05", -5}, {kCorrection, "30 ", 30},
        {kCorrection, "+3 ", 3}, {kCorrection, "+-3", 0},
    };
    for (const Row& row : rows) {
        fx::RawRecord r;
        r.dateTime = "220315083000";
        r.latitudeSign = 'N';
        r.longitudeSign = 'E';
        switch (row.field) {
            case kSpeed: r.speed = row.text; break;
            case kAccel: r.accelY = row.text; break;
            case kLatitude: r.latitude = row.text; break;
            case kLongitude: r.longitude = row.text; break;
            case kVoltage: r.voltage = row.text; break;
            case kCorrection: r.correction = row.text; break;
        }
        fx::DataBlock block;
        block.records = {r};
        Decoded d(block);
        ASSERT_EQ(d.scanner.gps.size(), 1u) << row.text;
        const sGPSRECORD& g = d.scanner.gps[0];
        const sSENSORRECORD& s = d.scanner.sensor[0];
        double got = 0.0, expected = row.expected;
        switch (row.field) {
            case kSpeed: got = g.speed; break;
            case kAccel: got = s.gY, expected = row.expected / 1000.0; break;
            case kLatitude: got = g.latitude; break;
            case kLongitude: got = g.longitude; break;
            case kVoltage: got = s.voltage; break;
            case kCorrection: got = g.timeOfDay.wSecond - (g.timeOfDay.wSecond > 40 ? 60 : 0); break;
        }
        if (row.field == kLatitude || row.field == kLongitude) {
            EXPECT_DOUBLE_EQ(got, expected) << row.text;
        } else {
            EXPECT_EQ(got, expected) << row.text;
            EXPECT_EQ(std::signbit(got), std::signbit(expected)) << row.text;
        }
    }
}

TEST(RecorderRecordsTest, EventLettersInOrderOfPrecedence) {
    auto eventOf = [](fx::RawRecord r) {
        fx::DataBlock block;
        block.records = {r};
        Decoded d(block);
        return d.scanner.sensor.at(0).event;
    };
    fx::RawRecord r;
    r.emergencyStop = 'D';
    r.manual = 'D';
    r.parking = 'D';
    r.driveSupport = 'A';
    EXPECT_EQ(eventOf(r), 6);
    r.emergencyStop = 'N';
    EXPECT_EQ(eventOf(r), 5);
    r.manual = 'N';
    EXPECT_EQ(eventOf(r), 7);
    r.parking = 'N';
    EXPECT_EQ(eventOf(r), 12);
    r.driveSupport = 'H';
    EXPECT_EQ(eventOf(r), 11);
    r.driveSupport = 'N';
    EXPECT_EQ(eventOf(r), -1);
    r.driveSupport = '?';
    r.axis = 'Q';
    EXPECT_EQ(eventOf(r), -1);
}

TEST(RecorderRecordsTest, RecordTimeAppliesTheCorrectionAndRejectsNonDates) {
    fx::RawRecord r;
    r.dateTime = "221231235945";
    r.correction = "+30";
    EXPECT_TRUE(SameTime(*RecordTime(Raw(r.Bytes())), MakeSystemTime(2023, 1, 1, 0, 0, 15)));
    r.correction = "-45";
    EXPECT_TRUE(SameTime(*RecordTime(Raw(r.Bytes())), MakeSystemTime(2022, 12, 31, 23, 59, 0)));
    r.correction = "*99";
    EXPECT_TRUE(SameTime(*RecordTime(Raw(r.Bytes())), MakeSystemTime(2022, 12, 31, 23, 59, 45)));
    r.dateTime = "240229120000";  // a leap day
    EXPECT_TRUE(RecordTime(Raw(r.Bytes())).has_value());

    for (const char* bad : {"000000000000", "220229120000", "221301120000", "220101240000",
                            "22010112000 ", "2201011200x0", "            "}) {
        r.dateTime = bad;
        EXPECT_FALSE(RecordTime(Raw(r.Bytes())).has_value()) << bad;
    }
}

TEST(RecorderRecordsTest, RecordTimesOfAWalkShareTheirDayButNotAcrossDates) {
    // One cache through rows in this order: the day shown moves with the correction, back
    // and forth over midnight, and an invalid date or time is never taken for the last one.
    struct Row {
        const char* dateTime;
        const char* correction;
        std::optional<SYSTEMTIME> expected;
    };
    const Row rows[] = {
        {"221231235945", "+30", MakeSystemTime(2023, 1, 1, 0, 0, 15)},
        {"221231235945", "*", MakeSystemTime(2022, 12, 31, 23, 59, 45)},
        {"221231000010", "-20", MakeSystemTime(2022, 12, 30, 23, 59, 50)},
        {"220229120000", "*", std::nullopt},
        {"220229120000", "+10", std::nullopt},
        {"221231246000", "*", std::nullopt},
        {"221231120000", "*", MakeSystemTime(2022, 12, 31, 12, 0, 0)},
        {"230101000000", "*", MakeSystemTime(2023, 1, 1, 0, 0, 0)},
    };
    RecordDayCache cache;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.dateTime << " " << row.correction);
        fx::RawRecord r;
        r.dateTime = row.dateTime;
        r.correction = row.correction;
        const auto bytes = r.Bytes();
        const std::optional<SYSTEMTIME> cached = RecordTime(Raw(bytes), &cache);
        ASSERT_EQ(cached.has_value(), row.expected.has_value());
        if (!cached) continue;
        EXPECT_TRUE(SameTime(*cached, *row.expected));
        EXPECT_EQ(*cached, *RecordTime(Raw(bytes)));  // the day of the week included
    }
}

TEST(RecorderRecordsTest, RecordTimesAndCounter) {
    fx::DataBlock block;
    block.records.resize(16);
    block.countField = kUncountedRecords;
    Decoded driving(block);
    ASSERT_TRUE(driving.ok);
    EXPECT_EQ(driving.scanner.msPerRecord, 100.0f);
    EXPECT_EQ(driving.scanner.recordCounter, 15);
    EXPECT_EQ(driving.scanner.gps[3].time, 300);
    EXPECT_EQ(driving.scanner.sensor[3].time, 300);
    EXPECT_EQ(driving.scanner.sensor[15].index, 15);
    EXPECT_EQ(driving.scanner.obd[15].index, 15);
    EXPECT_EQ(driving.scanner.header.mode, 'N');

    Decoded timeLapse(block, kTimeLapseName);
    ASSERT_TRUE(timeLapse.ok);
    EXPECT_EQ(timeLapse.scanner.msPerRecord, 66.666664f);
    EXPECT_EQ(timeLapse.scanner.header.mode, 'T');
    EXPECT_EQ(timeLapse.scanner.gps[1].time, 66);
    EXPECT_EQ(timeLapse.scanner.gps[15].time, 999);

    fx::DataBlock empty;
    Decoded none(empty);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.scanner.recordCounter, -1);
    EXPECT_TRUE(none.scanner.gps.empty());
}

TEST(RecorderRecordsTest, EarlyEndTagFailsButKeepsEarlierRecords) {
    fx::DataBlock block;
    block.records.resize(2);
    block.countField = 5;
    Decoded d(block);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.scanner.gps.size(), 2u);
    EXPECT_EQ(d.scanner.sensor.size(), 2u);
    EXPECT_EQ(d.scanner.obd.size(), 2u);
    EXPECT_EQ(d.scanner.recordCounter, 1);

    std::vector<sGPSRECORD> track;
    d.scanner.recordCounter = 0;
    EXPECT_FALSE(OnRecordBlock(d.scanner, block.Bytes(), track));
    EXPECT_EQ(track.size(), 2u);

    // AppendGpsRecord refuses the end tag itself.
    std::array<std::uint8_t, sRAWRECORD::kSize> endTag{};
    std::copy(kEndTag.begin(), kEndTag.end(), endTag.begin());
    EXPECT_FALSE(AppendGpsRecord(d.scanner, Raw(endTag), track));
    EXPECT_EQ(track.size(), 2u);
}

TEST(RecorderRecordsTest, ListTrackKeepsMillisecondsAndNoLinks) {
    fx::DataBlock block;
    block.records.resize(4);
    sMOVIESCANNER scanner;
    scanner.path = kDrivingName;
    std::vector<sGPSRECORD> track;
    ASSERT_TRUE(OnRecordBlock(scanner, block.Bytes(), track));
    ASSERT_TRUE(OnRecordBlock(scanner, block.Bytes(), track));  // a second file restarts at 0
    ASSERT_EQ(track.size(), 8u);
    EXPECT_EQ(track[3].time, 300);
    EXPECT_EQ(track[4].index, 0);
    EXPECT_EQ(track[4].time, 0);
    EXPECT_EQ(track[7].sensor, nullptr);
}

// Decoded records of `n` blank records, with a frame count and interval set.
struct Framed : Decoded {
    Framed(int n, std::int64_t frames, float interval, const char* name = kDrivingName)
        : Decoded(BlockOfSize(n), name) {
        scanner.frameInterval = interval;
        scanner.SetFrameCountSource([frames] { return frames; });
    }
    static fx::DataBlock BlockOfSize(int n) {
        fx::DataBlock b;
        b.records.resize(std::size_t(n));
        return b;
    }
    const sSENSORRECORD* At(std::int64_t f) const { return scanner.FrameRecord(f); }
    const sSENSORRECORD* Rec(std::size_t k) const { return &scanner.sensor[k]; }
};

TEST(RecorderRecordsTest, FrameTableAt30FramesPerSecond) {
    Framed d(10, 100, 33.366f);
    ASSERT_TRUE(d.scanner.BuildFrameTable());
    EXPECT_EQ(d.scanner.sensor[3].time, 8);  // 300 ms
    EXPECT_EQ(d.scanner.gps[3].time, 8);
    ASSERT_EQ(d.scanner.frameTable.size(), 100u);
    // Record 1 lies at frame 2; the cursor moves onto it during frame 2, so it shows from 3.
    EXPECT_EQ(d.At(0), d.Rec(0));
    EXPECT_EQ(d.At(2), d.Rec(0));
    EXPECT_EQ(d.At(3), d.Rec(1));
    EXPECT_EQ(d.At(9), d.Rec(3));
    // Frames behind the last record's frame (26) show the last record.
    EXPECT_EQ(d.At(27), d.Rec(9));
    EXPECT_EQ(d.At(99), d.Rec(9));
    EXPECT_EQ(d.At(100), nullptr);
    EXPECT_EQ(d.At(-1), nullptr);
}

TEST(RecorderRecordsTest, FrameTableAt15FramesPerSecond) {
    // Ten records a second against fifteen frames: records at frames 0, 1, 3, 4, 6 ...
    Framed d(10, 30, 1000.0f / 15.0f);
    ASSERT_TRUE(d.scanner.BuildFrameTable());
    EXPECT_EQ(d.scanner.sensor[2].time, 3);
    EXPECT_EQ(d.scanner.sensor[3].time, 4);
    const std::size_t expected[] = {0, 0, 1, 1, 2, 3, 3, 4, 5, 5, 6};
    for (std::size_t f = 0; f < std::size(expected); ++f) EXPECT_EQ(d.At(std::int64_t(f)), d.Rec(expected[f])) << f;

    // A time-lapse data file has fifteen records a second, one per frame. Record times are
    // whole milliseconds (record 2 at 133 ms, frame 1; record 3 at 200 ms, frame 3), so
    // from frame 3 on each frame shows the record before its own.
    Framed t(20, 20, 1000.0f / 15.0f, kTimeLapseName);
    ASSERT_TRUE(t.scanner.BuildFrameTable());
    EXPECT_EQ(t.scanner.sensor[2].time, 1);
    EXPECT_EQ(t.scanner.sensor[3].time, 3);
    EXPECT_EQ(t.scanner.sensor[4].time, 3);
    for (std::size_t f = 0; f < 3; ++f) EXPECT_EQ(t.At(std::int64_t(f)), t.Rec(f)) << f;
    for (std::size_t f = 3; f < 20; ++f) EXPECT_EQ(t.At(std::int64_t(f)), t.Rec(f - 1)) << f;
}

TEST(RecorderRecordsTest, LinksAndLargestG) {
    fx::DataBlock block;
    block.records.resize(8);
    block.records[2].accelX = "-1800";
    block.records[6].accelZ = "+0900";
    block.records[7].accelY = "+1200";
    Decoded d(block);
    d.scanner.frameInterval = 33.366f;
    d.scanner.SetFrameCountSource([] { return std::int64_t(30); });
    ASSERT_TRUE(d.scanner.BuildFrameTable());
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(d.scanner.sensor[k].gps, &d.scanner.gps[0]) << k;
    EXPECT_EQ(d.scanner.sensor[5].gps, &d.scanner.gps[1]);
    EXPECT_EQ(d.scanner.sensor[6].gps, &d.scanner.gps[2]);
    EXPECT_EQ(d.scanner.sensor[6].obd, &d.scanner.obd[2]);
    // The GPS cursor stops at the last record, so the last sensor records share a link.
    EXPECT_EQ(d.scanner.sensor[7].gps, &d.scanner.gps[2]);
    EXPECT_EQ(d.scanner.gps[4].sensor, &d.scanner.sensor[4]);
    EXPECT_EQ(d.scanner.gps[4].obd, &d.scanner.obd[4]);
    EXPECT_DOUBLE_EQ(d.scanner.largestAxisG[0], 1.8);
    EXPECT_DOUBLE_EQ(d.scanner.largestAxisG[1], 1.2);
    EXPECT_DOUBLE_EQ(d.scanner.largestAxisG[2], 0.9);
    EXPECT_DOUBLE_EQ(d.scanner.largestG, 1.8);
}

TEST(RecorderRecordsTest, FrameTableRefusals) {
    // No frame count source (channel 1 not open), no frames, or no usable interval: nothing changes.
    Framed noSource(5, 10, 33.3f);
    noSource.scanner.SetFrameCountSource(nullptr);
    EXPECT_FALSE(noSource.scanner.BuildFrameTable());
    for (float interval : {0.0f, -1.0f, NAN, INFINITY}) {
        Framed d(5, 10, interval);
        EXPECT_FALSE(d.scanner.BuildFrameTable());
        EXPECT_EQ(d.scanner.sensor[3].time, 300);
        EXPECT_TRUE(d.scanner.frameTable.empty());
    }
    Framed noFrames(5, 0, 33.3f);
    EXPECT_FALSE(noFrames.scanner.BuildFrameTable());
    Framed tooMany(5, sMOVIESCANNER::kMaxFrames + 1, 33.3f);
    EXPECT_FALSE(tooMany.scanner.BuildFrameTable());

    // A block without records gives an empty table that finds no record.
    Framed empty(0, 100, 33.3f);
    EXPECT_TRUE(empty.scanner.BuildFrameTable());
    EXPECT_TRUE(empty.scanner.frameTable.empty());
    EXPECT_EQ(empty.At(0), nullptr);
    EXPECT_EQ(empty.scanner.largestG, 0.0);
}

}  // namespace
}  // namespace orv
