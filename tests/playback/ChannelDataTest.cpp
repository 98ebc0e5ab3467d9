#include "playback/ChannelData.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/ChildMemory.h"
#include "fixtures/CountingBlock.h"
#include "fixtures/DataBlockWriter.h"
#include "playback/ChannelFixture.h"
#include "playback/TestCard.h"
#include "recorder/BoxBytes.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;
using playback_test::ChannelTest;
using playback_test::TestCard;
using Bytes = std::vector<std::uint8_t>;

std::vector<double> Speeds(const std::vector<sGPSRECORD>& gps) {
    std::vector<double> speeds;
    for (const sGPSRECORD& g : gps) speeds.push_back(g.speed);
    return speeds;
}

sFILEENTRY Entry(const std::string& path) {
    sFILEENTRY entry;
    entry.path = path;
    return entry;
}

// A recording whose data file holds exactly `bytes`; returns the front movie.
std::string AddRawData(TestCard& card, int serial, const Bytes& bytes) {
    const std::string movie = card.Add(serial, 0);
    EXPECT_TRUE(fx::WriteFileBytes(card.DataOf(serial), bytes));
    return movie;
}

using ChannelData = ChannelTest;

TEST_F(ChannelData, RecorderHeaderOfADataFile) {
    TestCard card;
    fx::DataBlock block;
    block.header.values[0] = "0250";
    block.header.letter = 'D';
    block.header.version = "020107";
    block.header.byteA = 'A';
    fx::RecordingSpec params;
    params.layout = -1;
    params.data = block;
    const std::string movie = card.Builder().AddRecording(params);

    RecorderHeader header;
    ASSERT_TRUE(ReadRecorderHeader(&header, movie));
    EXPECT_FLOAT_EQ(header.threshold[0], 0.25f);
    EXPECT_FLOAT_EQ(header.threshold[1], 0.4f);
    EXPECT_FLOAT_EQ(header.fourthValue, 1.0f);
    EXPECT_EQ(header.letter, 'D');
    EXPECT_EQ(std::string(header.version, 6), "020107");
    EXPECT_EQ(header.byteA, 'A');
    EXPECT_EQ(header.mode, 'N');

    // No data file, a foreign one, one cut inside the header: false, out untouched.
    const RecorderHeader before = header;
    EXPECT_FALSE(ReadRecorderHeader(&header, card.Add(2, -1)));
    EXPECT_FALSE(ReadRecorderHeader(&header, AddRawData(card, 3, Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0})));
    Bytes cut = block.Bytes();
    cut.resize(20);
    EXPECT_FALSE(ReadRecorderHeader(&header, AddRawData(card, 4, cut)));
    EXPECT_EQ(header, before);
}

TEST_F(ChannelData, RecorderEndGivesTheSixBytesBehindTheTag) {
    TestCard card;
    using End = std::array<std::uint8_t, kRecorderEndSize>;
    const auto withTrailer = [&](int serial, std::optional<std::string> trailer, bool endTag = true) {
        fx::DataBlock block;
        block.records.resize(2);
        block.trailer = trailer;
        block.endTag = endTag;
        return AddRawData(card, serial, block.Bytes());
    };

    End end{};
    ASSERT_TRUE(ReadRecorderEnd(&end, withTrailer(1, "004711")));
    EXPECT_EQ(end, (End{'0', '0', '4', '7', '1', '1', 0, 0, 0, 0}));
    ASSERT_TRUE(ReadRecorderEnd(&end, withTrailer(2, "      ")));
    EXPECT_EQ(end, (End{' ', ' ', ' ', ' ', ' ', ' ', 0, 0, 0, 0})) << "six blanks: no number";

    end.fill(9);
    fx::DataBlock shortTrailer;
    shortTrailer.trailer.reset();
    Bytes bytes = shortTrailer.Bytes();
    bytes.insert(bytes.end(), {'1', '2', '3', '4', '5'});
    EXPECT_FALSE(ReadRecorderEnd(&end, AddRawData(card, 3, bytes))) << "fewer than six bytes behind the tag";
    EXPECT_FALSE(ReadRecorderEnd(&end, withTrailer(4, std::nullopt)));
    EXPECT_FALSE(ReadRecorderEnd(&end, withTrailer(5, "000001", false))) << "no end tag";
    EXPECT_FALSE(ReadRecorderEnd(&end, card.Add(6, -1)));
    EXPECT_EQ(end, (End{9, 9, 9, 9, 9, 9, 9, 9, 9, 9}));

    // A record whose text spells the tag, in a counted and in an uncounted block: the tag
    // that ends the records is the one read.
    fx::DataBlock stray;
    stray.records.resize(3);
    stray.records[1].latitude = "CSMEND999";
    stray.trailer = "004711";
    for (const std::uint16_t count : {std::uint16_t(3), kUncountedRecords}) {
        stray.countField = count;
        ASSERT_TRUE(ReadRecorderEnd(&end, AddRawData(card, 7 + count % 2, stray.Bytes())));
        EXPECT_EQ(end, (End{'0', '0', '4', '7', '1', '1', 0, 0, 0, 0})) << count;
    }
}

TEST_F(ChannelData, Mp4FileNeedsFtypAndAFullProbe) {
    TestCard card;
    EXPECT_TRUE(IsMp4File(g_aPlayChannel[0], card.Builder().AddStubMovie("a.MOV", 4096)));
    EXPECT_TRUE(IsMp4File(g_aPlayChannel[1], card.Builder().AddStubMovie("b.MOV", 260)));
    EXPECT_FALSE(IsMp4File(g_aPlayChannel[0], card.Builder().AddStubMovie("c.MOV", 200)));
    EXPECT_FALSE(IsMp4File(g_aPlayChannel[0], card.Builder().AddFile("d.MOV", Bytes(300, 'x'))));
    EXPECT_FALSE(IsMp4File(g_aPlayChannel[0], card.Builder().PathOf("missing.MOV")));
}

TEST_F(ChannelData, ListTrackSkipsFilesWithoutData) {
    TestCard card;
    const std::vector<sFILEENTRY> entries = {
        Entry(card.Add(1, 2)), Entry(card.Add(2, 1)), Entry(card.Add(3, -1)),
        Entry(AddRawData(card, 4, Bytes{'C', 'S', 'M', 'D', 'A', 'T', '0'})),  // cut inside the header
        Entry(card.Add(5, 3)),
    };
    LoadListGpsTrack(entries);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    ASSERT_TRUE(front.listGpsTrack);
    EXPECT_EQ(Speeds(*front.listGpsTrack), (std::vector<double>{100, 101, 200, 500, 501, 502}));
    std::vector<std::int32_t> times;
    for (const sGPSRECORD& g : *front.listGpsTrack) times.push_back(g.time);
    EXPECT_EQ(times, (std::vector<std::int32_t>{0, 100, 0, 0, 100, 200})) << "ms from each file's start";

    // Time-lapse data files hold fifteen records a second.
    LoadListGpsTrack({Entry(card.Add(6, 3, "T___"))});
    ASSERT_EQ(front.listGpsTrack->size(), 3u);
    EXPECT_EQ((*front.listGpsTrack)[1].time, 66);
    EXPECT_EQ((*front.listGpsTrack)[2].time, 133);

    LoadListGpsTrack({});
    ASSERT_TRUE(front.listGpsTrack);
    EXPECT_TRUE(front.listGpsTrack->empty());
}

TEST_F(ChannelData, ListTrackTakesEveryRecordOfALargeFileAndNoneOfAMovie) {
    // 300,000 records are 37 MB, more than one read window.
    constexpr std::int32_t kRecords = 300000;
    TestCard card;
    const std::string large = AddRawData(card, 1, fx::CountingBlockBytes(kRecords));
    // A data file that is in fact a movie, with a block in its media data and one in a
    // top-level "udat" box: data files are read, never a movie's boxes.
    const Bytes block = fx::CountingBlockBytes(4);
    const Bytes movie = test::Cat({test::Box("ftyp", test::Text("isom")), test::Box("mdat", block),
                                   test::Box("moov", Bytes(16, 0)), test::Box("udat", block)});
    LoadListGpsTrack({Entry(large), Entry(AddRawData(card, 2, movie)), Entry(card.Add(3, 2))});

    const std::vector<sGPSRECORD>& track = *g_aPlayChannel[0].listGpsTrack;
    ASSERT_EQ(track.size(), std::size_t(kRecords) + 2);
    for (std::int32_t i = 0; i < kRecords; ++i) {
        ASSERT_EQ(track[i].speed, double(i % 10000)) << i;
        ASSERT_EQ(track[i].time, i * 100) << i;
    }
    EXPECT_EQ(Speeds({track.end() - 2, track.end()}), (std::vector<double>{300, 301}));
}

TEST_F(ChannelData, PrefetchedDataIsMovedNotReadAgain) {
    TestCard card;
    const std::string first = card.Add(1, 3);
    const std::string second = card.Add(2, 2);
    const std::string third = card.Add(3, 1);
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    sMOVIESCANNER& prefetch = front.scanners[kPrefetchScanner];
    sMOVIESCANNER& staging = front.scanners[kStagingScanner];

    ASSERT_TRUE(OpenDataFile(first));
    EXPECT_TRUE(prefetch.loaded);
    EXPECT_EQ(prefetch.moviePath, first);
    EXPECT_FALSE(prefetch.busy);
    ASSERT_EQ(std::remove(card.DataOf(1).c_str()), 0);

    EXPECT_TRUE(LoadChannelData(front, first));
    EXPECT_EQ(Speeds(staging.gps), (std::vector<double>{100, 101, 102}));
    EXPECT_TRUE(prefetch.gps.empty());
    EXPECT_FALSE(prefetch.loaded);
    EXPECT_EQ(front.scanners[kActiveScanner].path, first);

    // Another movie than the prefetched one is read from its file.
    ASSERT_TRUE(OpenDataFile(third));
    EXPECT_TRUE(LoadChannelData(front, second));
    EXPECT_EQ(Speeds(staging.gps), (std::vector<double>{200, 201}));
    EXPECT_FALSE(prefetch.loaded) << "the prefetch of another movie is dropped";

    // A movie without data leaves the staging scanner empty, and the load still succeeds.
    EXPECT_TRUE(LoadChannelData(front, first));
    EXPECT_TRUE(staging.gps.empty());

    // Channel 2 loads through its own scanners.
    EXPECT_TRUE(LoadChannelData(g_aPlayChannel[1], second));
    EXPECT_EQ(g_aPlayChannel[1].scanners[kStagingScanner].gps.size(), 2u);
}

TEST_F(ChannelData, OpenDataFileResults) {
    TestCard card;
    const std::string movie = card.Add(1, 2);
    sMOVIESCANNER& prefetch = g_aPlayChannel[0].scanners[kPrefetchScanner];
    EXPECT_FALSE(OpenDataFile(card.Add(2, -1))) << "no data file";
    EXPECT_FALSE(OpenDataFile(AddRawData(card, 3, Bytes(64, 'x')))) << "not a data file";
    EXPECT_FALSE(prefetch.loaded);

    ASSERT_TRUE(OpenDataFile(movie));
    EXPECT_EQ(prefetch.gps.size(), 2u);
    EXPECT_TRUE(OpenDataFile("")) << "no path only clears";
    EXPECT_FALSE(prefetch.loaded);
    EXPECT_TRUE(prefetch.gps.empty());

    g_aPlayChannel[0].initialised = 0;
    EXPECT_FALSE(OpenDataFile(movie));
    EXPECT_FALSE(prefetch.loaded);
}

TEST_F(ChannelData, ListTrackTakesOnlyTheRecordsOfARunawayDataFile) {
    TestCard card;
    fx::DataBlock block;
    block.records.resize(10);
    block.countField = kUncountedRecords;
    block.endTag = false;
    const std::string runaway = card.Add(1, 0);
    ASSERT_TRUE(fx::WritePreallocatedFile(card.DataOf(1), block.Bytes(), 256 << 20));
    LoadListGpsTrack({Entry(runaway), Entry(card.Add(2, 3))});
    ASSERT_TRUE(g_aPlayChannel[0].listGpsTrack);
    EXPECT_EQ(g_aPlayChannel[0].listGpsTrack->size(), 13u);
}

TEST_F(ChannelData, EveryReadOfARecordingsDataStopsWhereItsMovieDoes) {
    TestCard card;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    const sMOVIESCANNER& prefetch = front.scanners[kPrefetchScanner];
    const sMOVIESCANNER& staging = front.scanners[kStagingScanner];
    constexpr int kRunaway = -1;  // ten records, no end tag, zeros up to 64 MiB
    struct Case {
        const char* name;
        const char* letters;
        double movieSeconds;  // 0: a movie without a length
        std::uint32_t frames;  // of the movie's sample table over its length; 0: none
        int records;
        bool neighbour;  // OpenNeighbourDataFile, else OpenDataFile
        std::size_t prefetched;  // records in the prefetch scanner; 0: not loaded
        std::size_t selected;    // records in the staging scanner once the movie is selected
        bool endRead;            // ReadRecorderEnd finds the tag within the movie's length
    };
    // Ten seconds show 10 x (10 x 1.25 + 60) = 725 records, or 1088 in time-lapse. A movie
    // whose header and sample table both claim a day is believed for two seconds of each of
    // its 300 frames: (600 x 1.25 + 60) x 10 = 8100 records. A movie of a frame a second
    // shows ten records a frame.
    const Case cases[] = {
        {"a clip's data", "A___", 10, 0, 50, true, 50, 50, true},
        {"more data than its movie shows", "A___", 10, 0, 2000, true, 725, 725, false},
        {"time-lapse data comes faster", "T___", 10, 0, 1000, true, 1000, 1000, true},
        {"more time-lapse data than its movie shows", "T___", 10, 0, 1200, true, 1088, 1088, false},
        {"a neighbour without a length is left to its selection", "A___", 0, 0, 5, true, 0, 5, true},
        {"a selection holds to its movie too", "A___", 10, 0, 2000, false, 725, 725, false},
        {"a runaway data file", "A___", 60, 0, kRunaway, true, 10, 10, false},
        {"a runaway data file, selected", "A___", 60, 0, kRunaway, false, 10, 10, false},
        {"a day claimed by header and table", "A___", 86400, 300, 9000, true, 8100, 8100, false},
        {"a day claimed by header and table, selected", "A___", 86400, 300, 9000, false, 8100, 8100, false},
        {"a clip's frames bound no more than its length", "A___", 10, 300, 2000, true, 725, 725, false},
        {"a frame a second", "A___", 200, 200, 2000, true, 2000, 2000, true},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++serial;
        const std::string movie = card.Add(serial, c.records == kRunaway ? 10 : c.records, c.letters);
        if (c.movieSeconds > 0) {
            ASSERT_TRUE(TestCard::SetMovieLength(movie, c.movieSeconds, c.frames));
        }
        if (c.records == kRunaway) {
            fx::DataBlock block;
            block.records.resize(10);
            block.countField = kUncountedRecords;
            block.endTag = false;
            ASSERT_TRUE(fx::WritePreallocatedFile(card.DataOf(serial, c.letters), block.Bytes(), 64 << 20));
        }
        EXPECT_EQ(c.neighbour ? OpenNeighbourDataFile(movie) : OpenDataFile(movie), c.prefetched > 0);
        EXPECT_EQ(prefetch.loaded, c.prefetched > 0);
        EXPECT_EQ(prefetch.gps.size(), c.prefetched);
        EXPECT_EQ(prefetch.recordLimit, kMaxBlockRecords) << "the next read is not held to it";
        EXPECT_TRUE(LoadChannelData(front, movie));
        EXPECT_EQ(staging.gps.size(), c.selected);
        std::array<std::uint8_t, kRecorderEndSize> end{};
        EXPECT_EQ(ReadRecorderEnd(&end, movie), c.endRead);
        LoadListGpsTrack({Entry(movie)});
        EXPECT_EQ(front.listGpsTrack->size(), c.selected) << "the list's track";
    }
}

// Data files that run on past their records with bytes that are no filler (clusters of
// other files, cross-linked on a damaged card) cost no more to open than intact ones: the
// list's track, the selection's read and its neighbour's take what the movies show.
TEST_F(ChannelData, AFolderOfRunawayDataFilesOpensInTheMemoryOfAnIntactOne) {
    constexpr int kRecordings = 6;
    constexpr int kRecords = 600;  // a minute at ten a second
    std::mt19937 random(36);
    const auto open = [](const std::vector<sFILEENTRY>& entries) {
        LoadListGpsTrack(entries);
        OpenDataFile(entries[0].path);
        LoadChannelData(g_aPlayChannel[0], entries[0].path);
        OpenNeighbourDataFile(entries[1].path);
        return std::to_string(g_aPlayChannel[0].listGpsTrack->size()) + "," +
               std::to_string(g_aPlayChannel[0].scanners[kStagingScanner].gps.size()) + "," +
               std::to_string(g_aPlayChannel[0].scanners[kPrefetchScanner].gps.size());
    };
    fx::ChildRun runs[2];
    for (const bool runaway : {false, true}) {
        SCOPED_TRACE(runaway ? "runaway" : "intact");
        TestCard card;
        std::vector<sFILEENTRY> entries;
        for (int serial = 1; serial <= kRecordings; ++serial) {
            const std::string movie = card.Add(serial, kRecords);
            ASSERT_TRUE(TestCard::SetMovieLength(movie, 60.0));
            entries.push_back(Entry(movie));
            if (!runaway) continue;
            // The records without their end tag, then 20 MB of other bytes.
            fx::DataBlock block;
            block.records.resize(kRecords);
            block.countField = kUncountedRecords;
            block.endTag = false;
            Bytes bytes = block.Bytes();
            const std::size_t at = bytes.size();
            bytes.resize(at + (std::size_t(20) << 20));
            for (std::size_t i = at; i + 4 <= bytes.size(); i += 4) {
                const std::uint32_t r = random();
                std::memcpy(bytes.data() + i, &r, 4);
            }
            ASSERT_TRUE(fx::WriteFileBytes(card.DataOf(serial), bytes));
        }
        runs[runaway] = fx::RunForked([&] { return open(entries); });
        ASSERT_TRUE(runs[runaway].exited);
        ASSERT_GE(runs[runaway].peakKb, 0);
    }
    // A minute shows 60 x 1.25 + 60 seconds: 1350 records of each runaway file.
    const std::string intact = std::to_string(kRecordings * kRecords) + "," + std::to_string(kRecords) + "," +
                               std::to_string(kRecords);
    EXPECT_EQ(runs[false].output, intact);
    EXPECT_EQ(runs[true].output, std::to_string(kRecordings * 1350) + ",1350,1350");
    EXPECT_LT(runs[true].peakKb, runs[false].peakKb + 8 * 1024) << "KiB, against " << runs[false].peakKb << " intact";
}

}  // namespace
}  // namespace orv
