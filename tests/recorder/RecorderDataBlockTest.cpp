#include "recorder/RecorderDataBlock.h"

#include <gtest/gtest.h>

#include <charconv>
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
    EXPECT_EQ(w.walk.end, RecordWalkEnd::kTruncated);
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
}

TEST(RecorderDataBlockTest, AnUncountedBlockEndsWhereRecordTimesWouldNoLongerFit) {
    // A 2.7 GB block of blank records that is never held: each window is made when asked.
    const std::uint64_t size = kBlockRecordsOffset + (std::uint64_t(kMaxBlockRecords) + 10) * sRAWRECORD::kSize;
    std::vector<std::uint8_t> window;
    const BlockSource huge{size, std::size_t(1) << 20, [&](std::uint64_t at, std::size_t n) {
                               window.assign(n, ' ');
                               for (std::uint64_t i = at; i < kBlockRecordsOffset && i < at + n; ++i)
                                   window[i - at] = i == kBlockCountOffset || i == kBlockCountOffset + 1 ? 0xFF : 'C';
                               return std::span<const std::uint8_t>(window);
                           }};
    std::int32_t last = -1;
    const RecordWalk walk = WalkBlockRecords(huge, nullptr, [&](std::int32_t k, RawRecord) { last = k; });
    EXPECT_EQ(walk.end, RecordWalkEnd::kTruncated);
    EXPECT_EQ(walk.records, kMaxBlockRecords);
    EXPECT_EQ(last, kMaxBlockRecords - 1);
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
