#include "recorder/RecorderDataBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fixtures/DataBlockWriter.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;

std::span<const std::uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

fx::DataBlock BlockOf(int records) {
    fx::DataBlock b;
    for (int i = 0; i < records; ++i) {
        fx::RawRecord r;
        r.speed = fx::SpeedText(i);  // tells the records apart
        b.records.push_back(r);
    }
    return b;
}

// The record numbers and speeds a walk hands out.
struct Walked {
    RecordWalk walk;
    std::vector<std::int32_t> indices;
    std::vector<std::string> speeds;
};

Walked Walk(const std::vector<std::uint8_t>& bytes) {
    Walked w;
    w.walk = WalkRawRecords(bytes, [&](std::int32_t k, RawRecord raw) {
        w.indices.push_back(k);
        w.speeds.emplace_back(reinterpret_cast<const char*>(raw.data()) + sRAWRECORD::kSpeed, 4);
    });
    return w;
}

TEST(RecorderDataBlockTest, CountRuleDecidesWhichRecordsAreRead) {
    // Count 0: no records, whatever follows.
    fx::DataBlock zero = BlockOf(3);
    zero.countField = 0;
    Walked w = Walk(zero.Bytes());
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kComplete);
    EXPECT_EQ(w.walk.records, 0);
    EXPECT_TRUE(w.indices.empty());

    // Counted: exactly that many, even with more records behind them.
    fx::DataBlock counted = BlockOf(4);
    counted.countField = 2;
    w = Walk(counted.Bytes());
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kComplete);
    EXPECT_EQ(w.indices, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(w.speeds, (std::vector<std::string>{"0000", "0001"}));
    EXPECT_EQ(w.walk.endOffset, kBlockRecordsOffset + 2 * sRAWRECORD::kSize);

    // 0xFFFF: up to the end tag.
    fx::DataBlock uncounted = BlockOf(3);
    uncounted.countField = kUncountedRecords;
    w = Walk(uncounted.Bytes());
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kComplete);
    EXPECT_EQ(w.walk.records, 3);
    EXPECT_EQ(w.walk.endOffset, kBlockRecordsOffset + 3 * sRAWRECORD::kSize);

    // A counted block of 5 whose third place holds the end tag.
    fx::DataBlock early = BlockOf(2);
    early.countField = 5;
    w = Walk(early.Bytes());
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kEndTagEarly);
    EXPECT_EQ(w.walk.records, 2);
}

TEST(RecorderDataBlockTest, BlocksThatEndEarlyStopAtTheLastWholeRecord) {
    // Counted records running past the data: the whole ones are read.
    fx::DataBlock counted = BlockOf(3);
    counted.countField = 5;
    counted.endTag = false;
    std::vector<std::uint8_t> bytes = counted.Bytes();
    bytes.resize(bytes.size() - 10);  // the third record is cut
    Walked w = Walk(bytes);
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kTruncated);
    EXPECT_EQ(w.walk.records, 2);

    // An uncounted block without its end tag (the recorder lost power).
    fx::DataBlock uncounted = BlockOf(3);
    uncounted.countField = kUncountedRecords;
    uncounted.endTag = false;
    w = Walk(uncounted.Bytes());
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kUnended);
    EXPECT_EQ(w.walk.records, 3);

    // Too short for the count field.
    std::vector<std::uint8_t> stub = BlockOf(0).Bytes();
    stub.resize(kBlockCountOffset + 1);
    w = Walk(stub);
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kTruncated);
    EXPECT_EQ(w.walk.records, 0);
}

TEST(RecorderDataBlockTest, WindowedWalksMatchTheWholeBlockAndStayInTheirWindow) {
    fx::DataBlock uncounted = BlockOf(7);
    uncounted.countField = kUncountedRecords;
    fx::DataBlock early = BlockOf(3);
    early.countField = 6;
    fx::DataBlock cut = BlockOf(5);
    cut.endTag = false;
    std::vector<std::uint8_t> cutBytes = cut.Bytes();
    cutBytes.resize(cutBytes.size() - 60);
    const std::vector<std::vector<std::uint8_t>> blocks = {BlockOf(7).Bytes(), uncounted.Bytes(), early.Bytes(),
                                                           cutBytes, BlockOf(0).Bytes()};
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const Walked whole = Walk(blocks[b]);
        // Smaller than a record (raised to one), one record, odd sizes, the whole block.
        for (std::size_t window : {std::size_t(1), sRAWRECORD::kSize, std::size_t(130), std::size_t(301),
                                   blocks[b].size()}) {
            SCOPED_TRACE(testing::Message() << "block " << b << ", window " << window);
            const BlockSource memory = InMemoryBlock(blocks[b]);
            std::size_t longest = 0;
            const BlockSource windowed{memory.size, window, [&](std::uint64_t at, std::size_t n) {
                                           longest = std::max(longest, n);
                                           return memory.view(at, n);
                                       }};
            std::size_t headSize = 0;
            Walked w;
            w.walk = WalkBlockRecords(
                windowed, [&](std::span<const std::uint8_t> head) { return (headSize = head.size()) > 0; },
                [&](std::int32_t k, RawRecord raw) {
                    w.indices.push_back(k);
                    w.speeds.emplace_back(reinterpret_cast<const char*>(raw.data()) + sRAWRECORD::kSpeed, 4);
                });
            EXPECT_EQ(w.walk.end, whole.walk.end);
            EXPECT_EQ(w.walk.endOffset, whole.walk.endOffset);
            EXPECT_EQ(w.speeds, whole.speeds);
            EXPECT_LE(longest, std::max(window, sRAWRECORD::kSize));
            EXPECT_EQ(headSize, std::min(blocks[b].size(), std::max(window, sRAWRECORD::kSize)));
        }
    }
}

TEST(RecorderDataBlockTest, AReadErrorOrARefusedHeaderEndsTheWalk) {
    const std::vector<std::uint8_t> bytes = BlockOf(6).Bytes();
    const BlockSource memory = InMemoryBlock(bytes);
    // The window holding the fourth record cannot be read.
    const std::uint64_t failAt = kBlockRecordsOffset + 3 * sRAWRECORD::kSize;
    const BlockSource failing{memory.size, sRAWRECORD::kSize, [&](std::uint64_t at, std::size_t n) {
                                  return at >= failAt ? memory.view(at, n).first(n / 2) : memory.view(at, n);
                              }};
    std::int32_t seen = 0;
    RecordWalk walk = WalkBlockRecords(failing, nullptr, [&](std::int32_t, RawRecord) { ++seen; });
    EXPECT_EQ(walk.end, RecordWalkEnd::kReadError);
    EXPECT_EQ(walk.records, 3);
    EXPECT_EQ(seen, 3);

    walk = WalkBlockRecords(memory, [](std::span<const std::uint8_t>) { return false; },
                            [&](std::int32_t, RawRecord) { ++seen; });
    EXPECT_EQ(walk.end, RecordWalkEnd::kTruncated);
    EXPECT_EQ(walk.records, 0);
    EXPECT_EQ(seen, 3);

    // A run of filler with a record behind it is read again to be handed out: a window of
    // the run that cannot be read the second time ends the walk.
    fx::DataBlock frame;
    frame.countField = kUncountedRecords;
    frame.endTag = false;
    std::vector<std::uint8_t> gap = frame.Bytes();
    const auto record = fx::RawRecord().Bytes();
    for (int i = 0; i < 2; ++i) gap.insert(gap.end(), record.begin(), record.end());
    const std::uint64_t runFrom = gap.size();
    gap.resize(gap.size() + 100 * sRAWRECORD::kSize, 0);
    gap.insert(gap.end(), record.begin(), record.end());
    const BlockSource whole = InMemoryBlock(gap);
    std::vector<std::uint64_t> asked;
    const BlockSource runReadOnce{whole.size, sRAWRECORD::kSize, [&](std::uint64_t at, std::size_t n) {
                                      const bool again = std::count(asked.begin(), asked.end(), at) > 0;
                                      asked.push_back(at);
                                      return again && at >= runFrom ? whole.view(at, n).first(0) : whole.view(at, n);
                                  }};
    seen = 0;
    walk = WalkBlockRecords(runReadOnce, nullptr, [&](std::int32_t, RawRecord) { ++seen; });
    EXPECT_EQ(walk.end, RecordWalkEnd::kReadError);
    EXPECT_EQ(seen, 2);
}

// A block of `records` records that is never held: each window is made when asked. The
// records are real ones (record k has the speed k % 10000); `counted` stores their count,
// else 0xFFFF; the end tag and the recorder's number follow them.
BlockSource MadeBlock(std::uint32_t records, bool counted, std::vector<std::uint8_t>& window) {
    fx::DataBlock frame;
    frame.countField = counted ? std::uint16_t(records) : kUncountedRecords;
    const std::vector<std::uint8_t> head = frame.Bytes();  // no records: head, count, tag, number
    const std::uint64_t recordsEnd = kBlockRecordsOffset + std::uint64_t(records) * sRAWRECORD::kSize;
    const std::uint64_t size = recordsEnd + (head.size() - kBlockRecordsOffset);
    const auto record = fx::RawRecord().Bytes();
    return {size, std::size_t(1) << 20, [=, &window](std::uint64_t at, std::size_t n) mutable {
                window.resize(n);
                for (std::size_t i = 0; i < n;) {
                    const std::uint64_t p = at + i;
                    if (p < kBlockRecordsOffset || p >= recordsEnd) {
                        window[i++] = head[p < kBlockRecordsOffset ? p : p - recordsEnd + kBlockRecordsOffset];
                        continue;
                    }
                    const std::uint64_t k = (p - kBlockRecordsOffset) / sRAWRECORD::kSize;
                    auto bytes = record;
                    const std::string speed = fx::SpeedText(double(k % 10000));
                    std::copy(speed.begin(), speed.end(), bytes.begin() + sRAWRECORD::kSpeed);
                    for (std::size_t b = (p - kBlockRecordsOffset) % sRAWRECORD::kSize; b < bytes.size() && i < n; ++b)
                        window[i++] = bytes[b];
                }
                return std::span<const std::uint8_t>(window);
            }};
}

TEST(RecorderDataBlockTest, NoBlockIsReadPastTheLongestRecording) {
    struct Case {
        const char* name;
        std::uint32_t records;  // in the block, followed by its end tag
        bool counted;
        std::int32_t limit;  // the caller's
        std::int32_t read;
        RecordWalkEnd end;
    };
    const Case cases[] = {
        {"more records than a day holds, up to the end tag", std::uint32_t(kMaxBlockRecords) + 10, false,
         kMaxBlockRecords, kMaxBlockRecords, RecordWalkEnd::kLimit},
        {"a day of records", std::uint32_t(kMaxBlockRecords), false, kMaxBlockRecords, kMaxBlockRecords,
         RecordWalkEnd::kComplete},
        {"the largest count", 65534, true, kMaxBlockRecords, 65534, RecordWalkEnd::kComplete},
        {"a count past the caller's limit", 65534, true, 725, 725, RecordWalkEnd::kLimit},
        {"no limit above a day", std::uint32_t(kMaxBlockRecords) + 1, false, kMaxBlockRecords + 100,
         kMaxBlockRecords, RecordWalkEnd::kLimit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> window;
        const BlockSource block = MadeBlock(c.records, c.counted, window);
        std::int32_t last = -1;
        bool inOrder = true;
        RecordLimits limits;
        limits.maxRecords = c.limit;
        const RecordWalk walk = WalkBlockRecords(
            block, nullptr,
            [&](std::int32_t k, RawRecord raw) {
                inOrder = inOrder && k == last + 1 &&
                          std::memcmp(raw.data() + sRAWRECORD::kSpeed, fx::SpeedText(double(k % 10000)).data(), 4) == 0;
                last = k;
            },
            limits);
        EXPECT_EQ(walk.end, c.end);
        EXPECT_EQ(walk.records, c.read);
        EXPECT_EQ(last, c.read - 1);
        EXPECT_TRUE(inOrder);
        EXPECT_EQ(walk.endOffset, kBlockRecordsOffset + std::uint64_t(c.read) * sRAWRECORD::kSize);
    }
    // Ten a second for a day fits with room to spare; fifteen a second is the faster rate.
    EXPECT_EQ(kMaxBlockRecords, 24 * 3600 * 15);
}

// Pieces of the records of a block: real records (each with its own speed) or filler.
enum class Piece { kRecords, kZeros, kBlanks, kErased };
// What follows the records.
enum class Tail { kNone, kTag, kTagAndNumber, kTagAndCount, kTagNumberAndZeros, kTagOffBoundary };

std::vector<std::uint8_t> PiecedBlock(const std::vector<std::pair<Piece, int>>& pieces, Tail tail,
                                      std::optional<std::uint16_t> count) {
    fx::DataBlock frame;
    frame.countField = count.value_or(kUncountedRecords);
    frame.endTag = false;
    std::vector<std::uint8_t> bytes = frame.Bytes();
    int serial = 0;
    for (const auto& [piece, n] : pieces) {
        for (int i = 0; i < n; ++i) {
            if (piece == Piece::kRecords) {
                fx::RawRecord r;
                r.speed = fx::SpeedText(serial++);
                const auto raw = r.Bytes();
                bytes.insert(bytes.end(), raw.begin(), raw.end());
            } else {
                const std::uint8_t fill = piece == Piece::kZeros ? 0x00 : piece == Piece::kBlanks ? 0x20 : 0xFF;
                bytes.insert(bytes.end(), sRAWRECORD::kSize, fill);
            }
        }
    }
    if (tail == Tail::kTagOffBoundary) bytes.insert(bytes.end(), 3, '*');
    if (tail != Tail::kNone) bytes.insert(bytes.end(), kEndTag.begin(), kEndTag.end());
    if (tail == Tail::kTagAndNumber || tail == Tail::kTagNumberAndZeros) {
        for (const char c : std::string_view("000123")) bytes.push_back(std::uint8_t(c));
    }
    if (tail == Tail::kTagAndCount) bytes.insert(bytes.end(), {0x00, 0x01, 0x11, 0x70});
    if (tail == Tail::kTagNumberAndZeros) bytes.resize(bytes.size() + 300 * sRAWRECORD::kSize, 0);
    return bytes;
}

// Walks `bytes` in windows of `window` bytes and checks that each record handed out is the
// one stored at its place, in order; gives the walk.
RecordWalk WalkAsStored(const std::vector<std::uint8_t>& bytes, std::size_t window) {
    const BlockSource memory = InMemoryBlock(bytes);
    std::size_t longest = 0;
    const BlockSource windowed{memory.size, window, [&](std::uint64_t at, std::size_t n) {
                                   longest = std::max(longest, n);
                                   return memory.view(at, n);
                               }};
    std::int32_t next = 0;
    bool asStored = true;
    const RecordWalk walk = WalkBlockRecords(windowed, nullptr, [&](std::int32_t k, RawRecord raw) {
        const std::size_t at = kBlockRecordsOffset + std::size_t(k) * sRAWRECORD::kSize;
        asStored = asStored && k == next++ && std::memcmp(raw.data(), bytes.data() + at, raw.size()) == 0;
    });
    EXPECT_EQ(next, walk.records);
    EXPECT_TRUE(asStored) << "records are handed out as stored, in order";
    EXPECT_LE(longest, std::max(window, sRAWRECORD::kSize));
    return walk;
}

TEST(RecorderDataBlockTest, FillerIsRecordsUnlessNothingButFillerFollows) {
    using P = Piece;
    struct Case {
        const char* name;
        std::vector<std::pair<Piece, int>> pieces;
        Tail tail;
        std::optional<std::uint16_t> count;
        std::int32_t read;  // records handed out, which are the block's first ones
        RecordWalkEnd end;
    };
    const Case cases[] = {
        {"a zero record between records", {{P::kRecords, 5}, {P::kZeros, 1}, {P::kRecords, 5}}, Tail::kNone, {},
         11, RecordWalkEnd::kUnended},
        {"blank and erased records between records",
         {{P::kRecords, 3}, {P::kBlanks, 1}, {P::kRecords, 1}, {P::kErased, 2}, {P::kRecords, 2}},
         Tail::kTagAndNumber, {}, 9, RecordWalkEnd::kComplete},
        {"blanks then erased flash up to the end of the data",
         {{P::kRecords, 4}, {P::kBlanks, 300}, {P::kErased, 300}}, Tail::kNone, {}, 4, RecordWalkEnd::kUnended},
        {"nothing but zeros", {{P::kZeros, 700}}, Tail::kNone, {}, 0, RecordWalkEnd::kUnended},
        {"an end tag off the record boundary is no end", {{P::kRecords, 2}, {P::kZeros, 700}},
         Tail::kTagOffBoundary, {}, 2, RecordWalkEnd::kUnended},
        {"the tag and the 32-bit count behind filler", {{P::kRecords, 2}, {P::kBlanks, 700}}, Tail::kTagAndCount,
         {}, 702, RecordWalkEnd::kComplete},
        {"the tag alone behind filler, as in a movie's box", {{P::kRecords, 1}, {P::kErased, 700}}, Tail::kTag, {},
         701, RecordWalkEnd::kComplete},
        // A count says how many records there are, whatever they hold.
        {"a counted block of filler", {{P::kRecords, 1}, {P::kZeros, 702}}, Tail::kNone, std::uint16_t(703), 703,
         RecordWalkEnd::kComplete},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = PiecedBlock(c.pieces, c.tail, c.count);
        for (const std::size_t window : {bytes.size(), std::size_t(301), std::size_t(64) << 10}) {
            SCOPED_TRACE(testing::Message() << c.name << ", window " << window);
            const RecordWalk walk = WalkAsStored(bytes, window);
            EXPECT_EQ(walk.records, c.read);
            EXPECT_EQ(walk.end, c.end);
            EXPECT_EQ(walk.endOffset, kBlockRecordsOffset + std::uint64_t(c.read) * sRAWRECORD::kSize);
        }
    }
}

// Long runs of filler inside a block, at its start, in its middle and at its end, of each
// filler byte, in blocks ended by the tag and the recorder's number, by those and padding
// (a file made full size in advance), or by nothing (the power failed): every real record
// is read, in its place. Filler is dropped only where nothing but filler follows it.
TEST(RecorderDataBlockTest, LongRunsOfFillerKeepEveryRealRecord) {
    constexpr int kReal = 40;  // real records in each piece of them
    enum class Where { kStart, kMiddle, kEnd };
    for (const int minutes : {12, 30, 90}) {
        const int run = minutes * 60 * kFastestRecordsPerSecond;
        for (const Piece filler : {Piece::kZeros, Piece::kBlanks, Piece::kErased}) {
            for (const Where where : {Where::kStart, Where::kMiddle, Where::kEnd}) {
                std::vector<std::pair<Piece, int>> pieces;
                if (where != Where::kStart) pieces.emplace_back(Piece::kRecords, kReal);
                pieces.emplace_back(filler, run);
                if (where != Where::kEnd) pieces.emplace_back(Piece::kRecords, kReal);
                const int real = where == Where::kMiddle ? 2 * kReal : kReal;
                for (const Tail tail : {Tail::kTagAndNumber, Tail::kTagNumberAndZeros, Tail::kNone}) {
                    SCOPED_TRACE(testing::Message() << minutes << " minutes of filler " << int(filler) << " at "
                                                    << int(where) << ", tail " << int(tail));
                    const std::vector<std::uint8_t> bytes = PiecedBlock(pieces, tail, {});
                    // The scanner's record window, so that a run spans many windows.
                    const RecordWalk walk = WalkAsStored(bytes, std::size_t(256) << 10);
                    const bool tagged = tail != Tail::kNone;
                    // Filler at the end of a block without its tag is no records.
                    const int read = !tagged && where == Where::kEnd ? real : real + run;
                    EXPECT_EQ(walk.records, read);
                    EXPECT_EQ(walk.end, tagged ? RecordWalkEnd::kComplete : RecordWalkEnd::kUnended);
                    EXPECT_EQ(walk.endOffset, kBlockRecordsOffset + std::uint64_t(read) * sRAWRECORD::kSize);
                }
            }
        }
    }
}

// A limit that falls inside a run of filler ends the walk at the run: no record behind it
// could be handed out, and the run itself holds none. Told to follow the filler, the walk
// looks on without keeping any: a run up to the end of the data leaves the block unended
// (whole), anything else behind it leaves the walk at its limit.
TEST(RecorderDataBlockTest, ALimitInsideARunOfFillerEndsTheWalkAtTheRun) {
    const std::vector<std::uint8_t> recordsBehind =
        PiecedBlock({{Piece::kRecords, 5}, {Piece::kZeros, 1000}, {Piece::kRecords, 5}}, Tail::kTagAndNumber, {});
    const std::vector<std::uint8_t> fillerToTheEnd =
        PiecedBlock({{Piece::kRecords, 5}, {Piece::kErased, 1000}}, Tail::kNone, {});
    const struct {
        bool toTheEnd;  // the run reaches the end of the data
        bool follow;
        std::int32_t limit;
        std::int32_t read;
        RecordWalkEnd end;
    } rows[] = {{false, false, 3, 3, RecordWalkEnd::kLimit},
                {false, false, 500, 5, RecordWalkEnd::kLimit},
                {false, false, 1007, 1007, RecordWalkEnd::kLimit},
                {false, false, 1010, 1010, RecordWalkEnd::kComplete},
                {false, true, 500, 5, RecordWalkEnd::kLimit},
                {false, true, 5, 5, RecordWalkEnd::kLimit},
                {true, false, 500, 5, RecordWalkEnd::kLimit},
                {true, true, 500, 5, RecordWalkEnd::kUnended},
                {true, true, 5, 5, RecordWalkEnd::kUnended},
                {true, true, 3, 3, RecordWalkEnd::kLimit}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.limit << (row.toTheEnd ? ", filler to the end" : "")
                                        << (row.follow ? ", followed" : ""));
        RecordLimits limits;
        limits.maxRecords = row.limit;
        limits.followFiller = row.follow;
        std::int32_t seen = 0;
        const RecordWalk walk = WalkRawRecords(row.toTheEnd ? fillerToTheEnd : recordsBehind,
                                               [&](std::int32_t, RawRecord) { ++seen; }, limits);
        EXPECT_EQ(walk.records, row.read);
        EXPECT_EQ(seen, row.read);
        EXPECT_EQ(walk.end, row.end);
        EXPECT_EQ(walk.endOffset, kBlockRecordsOffset + std::uint64_t(row.read) * sRAWRECORD::kSize);
    }
}

TEST(RecorderDataBlockTest, FillerRecordsRepeatOneFillerByte) {
    std::array<std::uint8_t, sRAWRECORD::kSize> r;
    for (const int b : {0x00, 0x20, 0xFF}) {
        r.fill(std::uint8_t(b));
        EXPECT_EQ(FillerByte(r), std::uint8_t(b));
        r[sRAWRECORD::kSize - 1] = '0';
        EXPECT_EQ(FillerByte(r), std::nullopt) << b;
    }
    r.fill('0');
    EXPECT_EQ(FillerByte(r), std::nullopt);
    const auto real = fx::RawRecord().Bytes();
    EXPECT_EQ(FillerByte(real), std::nullopt);
}

TEST(RecorderDataBlockTest, HeaderEntryZero) {
    fx::DataBlock b = BlockOf(1);
    b.header.values[0] = "0400";
    b.header.values[1] = "1250";
    b.header.values[2] = "0075";
    b.header.values[3] = "2000";
    b.header.letter = 'D';
    b.header.version = "010203";
    b.header.byteA = 'a';
    b.header.byteB = 'b';
    b.header.byteC = 'c';
    RecorderHeader h;
    ASSERT_TRUE(ParseHeaderEntries(b.Bytes(), "A___-220101-120000-000001D.ADA", &h));
    EXPECT_FLOAT_EQ(h.threshold[0], 0.4f);
    EXPECT_FLOAT_EQ(h.threshold[1], 1.25f);
    EXPECT_FLOAT_EQ(h.threshold[2], 0.075f);
    EXPECT_FLOAT_EQ(h.fourthValue, 2.0f);
    EXPECT_EQ(h.letter, 'D');
    EXPECT_EQ(std::string(h.version, 6), "010203");
    EXPECT_EQ(h.byteA, 'a');
    EXPECT_EQ(h.byteB, 'b');
    EXPECT_EQ(h.byteC, 'c');
    EXPECT_EQ(h.mode, 'N');
    EXPECT_EQ(h.reserved, 0);

    // Any letter but M or D voids the four values.
    b.header.letter = 'X';
    ASSERT_TRUE(ParseHeaderEntries(b.Bytes(), "A___-220101-120000-000001D.ADA", &h));
    EXPECT_EQ(h.letter, 'X');
    EXPECT_FLOAT_EQ(h.threshold[0], -1.0f);
    EXPECT_FLOAT_EQ(h.threshold[1], -1.0f);
    EXPECT_FLOAT_EQ(h.threshold[2], -1.0f);
    EXPECT_FLOAT_EQ(h.fourthValue, -1.0f);

    // Too short for entry 0.
    std::vector<std::uint8_t> stub = b.Bytes();
    stub.resize(kBlockCountOffset - 1);
    EXPECT_FALSE(ParseHeaderEntries(stub, "A___-220101-120000-000001D.ADA", &h));
}

TEST(RecorderDataBlockTest, TimeLapseNamesSetTheMode) {
    const std::vector<std::uint8_t> bytes = BlockOf(1).Bytes();
    RecorderHeader h;
    ASSERT_TRUE(ParseHeaderEntries(bytes, "T___-220101-120000-000001D.ADA", &h));
    EXPECT_EQ(h.mode, 'T');
    ASSERT_TRUE(ParseHeaderEntries(bytes, "A_T_-220101-120000-000001D.ADA", &h));
    EXPECT_EQ(h.mode, 'T');
    ASSERT_TRUE(ParseHeaderEntries(bytes, "_T__-220101-120000-000001D.ADA", &h));
    EXPECT_EQ(h.mode, 'N');
    EXPECT_TRUE(IsTimeLapseDataName("T"));
    EXPECT_FALSE(IsTimeLapseDataName(""));
}

TEST(RecorderDataBlockTest, ChainedHeaderEntries) {
    fx::DataBlock b = BlockOf(2);
    std::vector<std::uint8_t> bytes = b.Bytes();
    fx::HeaderEntry e0, e1, e2;
    e0.values[0] = "0100";
    e1.values[0] = "0200";
    e1.version = "020000";
    e2.values[0] = "0300";
    e2.letter = 'D';
    e2.byteC = 'z';
    const std::size_t at0 = kBlockHeaderOffset;
    const std::size_t at1 = at0 + HeaderEntryLayout::kStride;
    const std::size_t at2 = at1 + HeaderEntryLayout::kStride;
    fx::PutHeaderEntry(bytes, at0, e0, 'A');
    fx::PutHeaderEntry(bytes, at1, e1, 'B');
    fx::PutHeaderEntry(bytes, at2, e2, std::nullopt);
    const std::string name = "A___-220101-120000-000001D.ADA";

    RecorderHeader h;
    ASSERT_TRUE(ParseHeaderEntries(bytes, name, &h));
    EXPECT_FLOAT_EQ(h.threshold[0], 0.3f);  // the last entry wins, every field of it
    EXPECT_EQ(h.letter, 'D');
    EXPECT_EQ(std::string(h.version, 6), "010203");
    EXPECT_EQ(h.byteC, 'z');

    // An entry that crosses the end of the data ends the chain before it.
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(at2 + 20));
    ASSERT_TRUE(ParseHeaderEntries(cut, name, &h));
    EXPECT_FLOAT_EQ(h.threshold[0], 0.2f);
    EXPECT_EQ(std::string(h.version, 6), "020000");

    // A chain mark needs an upper-case letter behind it.
    fx::PutHeaderEntry(bytes, at0, e0, 'a');
    ASSERT_TRUE(ParseHeaderEntries(bytes, name, &h));
    EXPECT_FLOAT_EQ(h.threshold[0], 0.1f);

    // The count and the records stay at their fixed places whatever the chain holds.
    fx::PutHeaderEntry(bytes, at0, e0, 'A');
    Walked w = Walk(bytes);
    EXPECT_EQ(w.walk.records, 2);
}

TEST(RecorderDataBlockTest, AHeaderChainPastTheFirstWindowIsReadAsFarAsTheHeadWindow) {
    // Every record carries the chain mark, so the chain runs through the whole block; the
    // last entry the head window holds gives the header, whatever the record window.
    fx::DataBlock b = BlockOf(40);
    std::vector<std::uint8_t> bytes = b.Bytes();
    const std::size_t stride = HeaderEntryLayout::kStride;
    for (std::size_t at = kBlockHeaderOffset; at + stride <= kBlockRecordsOffset + 40 * sRAWRECORD::kSize;
         at += stride) {
        fx::HeaderEntry e;
        e.values[0] = std::to_string(1000 + at % 9000);
        fx::PutHeaderEntry(bytes, at, e, 'A');
    }
    const std::string name = "A___-220101-120000-000001D.ADA";
    const BlockSource memory = InMemoryBlock(bytes);
    struct Row {
        std::size_t headWindow;  // 0: the record window
        std::size_t expectedReach;
    };
    const Row rows[] = {{0, 300}, {1000, 1000}, {bytes.size(), bytes.size()}, {bytes.size() * 2, bytes.size()}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "head window " << row.headWindow);
        RecorderHeader expected, got;
        ASSERT_TRUE(ParseHeaderEntries(std::span(bytes).first(row.expectedReach), name, &expected));
        std::size_t views = 0;
        const BlockSource windowed{memory.size, 300,
                                   [&](std::uint64_t at, std::size_t n) {
                                       ++views;
                                       return memory.view(at, n);
                                   },
                                   row.headWindow};
        std::int32_t records = 0;
        const RecordWalk walk = WalkBlockRecords(
            windowed, [&](std::span<const std::uint8_t> head) { return ParseHeaderEntries(head, name, &got); },
            [&](std::int32_t, RawRecord) { ++records; });
        EXPECT_EQ(walk.end, RecordWalkEnd::kComplete);
        EXPECT_EQ(records, 40);
        EXPECT_EQ(got, expected);
        // The first window, read again at most once for the chain, then windows of two records.
        EXPECT_LE(views, std::size_t(2 + 40 / 2));
        // The end tag and the recorder's number come with the last window.
        EXPECT_TRUE(IsEndTag(walk.rest));
    }
}

TEST(RecorderDataBlockTest, RecorderNumberBehindTheEndTag) {
    EXPECT_EQ(ParseRecorderNumber(Span("000123")), 123);
    EXPECT_EQ(ParseRecorderNumber(Span("   042")), 42);
    EXPECT_EQ(ParseRecorderNumber(Span("      ")), std::nullopt);
    EXPECT_EQ(ParseRecorderNumber(Span(std::string("\x00\x01\x11\x70", 4) + "  ")), std::nullopt);
    EXPECT_EQ(ParseRecorderNumber(Span("123")), std::nullopt);
}

TEST(RecorderDataBlockTest, FieldNumbersReadLikeTextToNumber) {
    EXPECT_EQ(FieldNumber(Span("+0250")), 250.0);
    EXPECT_EQ(FieldNumber(Span("-1500")), -1500.0);
    EXPECT_EQ(FieldNumber(Span("  12.5")), 12.5);
    EXPECT_EQ(FieldNumber(Span("3539.1234")), 3539.1234);
    EXPECT_EQ(FieldNumber(Span("45  ")), 45.0);
    EXPECT_EQ(FieldNumber(Span("7.x")), 7.0);
    EXPECT_EQ(FieldNumber(Span(".5")), 0.5);
    EXPECT_EQ(FieldNumber(Span("     ")), std::nullopt);
    EXPECT_EQ(FieldNumber(Span("-")), std::nullopt);
    EXPECT_EQ(FieldNumber(Span("nan")), std::nullopt);
    EXPECT_EQ(FieldNumber(Span("inf")), std::nullopt);
    EXPECT_EQ(FieldNumber(Span("")), std::nullopt);
    EXPECT_TRUE(FieldHasDigit(Span("  7 ")));
    EXPECT_FALSE(FieldHasDigit(Span(" .- ")));
    EXPECT_TRUE(FieldIsBlank(Span("   ")));
    EXPECT_FALSE(FieldIsBlank(Span(" 0 ")));
}

TEST(RecorderDataBlockTest, FieldNumbersAreCorrectlyRounded) {
    // Positions and speeds must read exactly as the standard conversion reads them, for
    // every digit pattern, the long ones included.
    std::mt19937 rng(7);
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        const int intDigits = int(rng() % 10);
        const int fracDigits = int(rng() % 10);
        for (int k = 0; k < intDigits; ++k) text += char('0' + rng() % 10);
        if (fracDigits > 0) text += '.';
        for (int k = 0; k < fracDigits; ++k) text += char('0' + rng() % 10);
        if (text.empty() || text == ".") continue;
        double expected = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_EQ(FieldNumber(Span(text)), expected) << text;
    }
}

}  // namespace
}  // namespace orv
