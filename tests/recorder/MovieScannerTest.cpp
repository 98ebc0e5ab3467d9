#include "recorder/MovieScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "fixtures/ChildMemory.h"
#include "fixtures/CountingBlock.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/base/ErrorReport.h"
#include "recorder/RecorderMovieData.h"

namespace orv {
namespace {

namespace fx = orv::fixtures;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kMB = 1 << 20;

void PutBE(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Box(const char* type, const Bytes& payload) {
    Bytes b;
    PutBE(b, 8 + payload.size(), 4);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes LargeBox(const char* type, const Bytes& payload) {
    Bytes b;
    PutBE(b, 1, 4);
    b.insert(b.end(), type, type + 4);
    PutBE(b, 16 + payload.size(), 8);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// A box header only, claiming `size` bytes.
Bytes BoxHeader(const char* type, std::uint32_t size) {
    Bytes b;
    PutBE(b, size, 4);
    b.insert(b.end(), type, type + 4);
    return b;
}

Bytes Ftyp() { return Box("ftyp", Bytes{'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'}); }

Bytes Mvhd0(std::uint32_t timeScale, std::uint32_t duration) {
    Bytes p(4 + 4 + 4, 0);  // version 0, flags, creation, modification
    PutBE(p, timeScale, 4);
    PutBE(p, duration, 4);
    p.resize(p.size() + 80, 0);
    return Box("mvhd", p);
}

Bytes Mvhd1(std::uint32_t timeScale, std::uint64_t duration) {
    Bytes p{1, 0, 0, 0};
    p.resize(4 + 16, 0);  // 64-bit creation and modification
    PutBE(p, timeScale, 4);
    PutBE(p, duration, 8);
    p.resize(p.size() + 80, 0);
    return Box("mvhd", p);
}

Bytes Stts(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> entries,
           std::uint32_t claimed = ~0u) {
    Bytes p(4, 0);
    PutBE(p, claimed == ~0u ? entries.size() : claimed, 4);
    for (auto [count, delta] : entries) {
        PutBE(p, count, 4);
        PutBE(p, delta, 4);
    }
    return Box("stts", p);
}

Bytes Hdlr(const char* handler) {
    Bytes p(8, 0);
    p.insert(p.end(), handler, handler + 4);
    p.resize(p.size() + 13, 0);
    return Box("hdlr", p);
}

// A media header: version 0 (32-bit times) or 1 (64-bit times) with the time scale.
Bytes Mdhd(int version, std::uint32_t timeScale) {
    Bytes p{std::uint8_t(version), 0, 0, 0};
    p.resize(version == 1 ? 20 : 12, 0);
    PutBE(p, timeScale, 4);
    p.resize(p.size() + (version == 1 ? 12 : 8), 0);
    return Box("mdhd", p);
}
Bytes Trak(const char* handler, const Bytes& stts, const Bytes& mdhd = Box("mdhd", Bytes(24, 0))) {
    const Bytes stbl = Box("stbl", Cat({Box("stsd", Bytes(8, 0)), stts}));
    const Bytes mdia = Box("mdia", Cat({mdhd, Hdlr(handler), Box("minf", stbl)}));
    return Box("trak", Cat({Box("tkhd", Bytes(84, 0)), mdia}));
}

// ftyp, a small mdat, then moov with the movie header, an audio track and a video track
// of 150 frames.
Bytes Movie(const Bytes& mvhd) {
    return Cat({Ftyp(), Box("mdat", Bytes(1000, 0xAA)),
                Box("moov", Cat({mvhd, Trak("soun", Stts({{235, 1024}})),
                                 Trak("vide", Stts({{100, 1}, {50, 1}}))}))});
}

// Writes `head`, a hole up to offset `tailAt`, then `tail`.
bool WriteSparse(const std::string& path, const Bytes& head, std::uint64_t tailAt, const Bytes& tail) {
    if (!fx::WriteFileBytes(path, head)) return false;
    std::error_code ec;
    std::filesystem::resize_file(path, tailAt, ec);
    if (ec) return false;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
    return bool(out);
}

class MovieScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        ASSERT_TRUE(scanner_.Init());
    }
    void TearDown() override { scanner_.Term(); }

    std::string File(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.Path() + "/" + name;
        EXPECT_TRUE(fx::WriteFileBytes(path, bytes));
        return path;
    }

    // The pre-scan: duration from mvhd, then the interval from the video track's stts.
    bool Prescan(const std::string& path, float* durationS) {
        if (!scanner_.OpenMapping(path)) return false;
        const bool ok = PrescanMovieBoxes(scanner_, durationS) && scanner_.hits == 1;
        scanner_.CloseMapping();
        return ok;
    }

    fx::TempDir dir_;
    sMOVIESCANNER scanner_;
};

TEST_F(MovieScannerTest, PrescanReadsDurationAndTheVideoTracksInterval) {
    float duration = 0;
    // The audio track comes first; its 235 samples must not set the interval.
    ASSERT_TRUE(Prescan(File("v0.mp4", Movie(Mvhd0(1000, 5000))), &duration));
    EXPECT_FLOAT_EQ(duration, 5.0f);
    EXPECT_NEAR(scanner_.frameInterval, 33.333f, 0.001f);

    // Version-1 movie header with a 64-bit duration, behind a 64-bit sized mdat.
    const Bytes v1 = Cat({Ftyp(), LargeBox("mdat", Bytes(500, 0)),
                          Box("moov", Cat({Mvhd1(90000, 450000), Trak("vide", Stts({{150, 3000}}))}))});
    ASSERT_TRUE(Prescan(File("v1.mp4", v1), &duration));
    EXPECT_FLOAT_EQ(duration, 5.0f);
    EXPECT_NEAR(scanner_.frameInterval, 33.333f, 0.001f);
}

// A movie header whose duration disagrees with the video track's sample table by more than
// a frame per second gives way to the table's own length for the frame interval and for the
// bound of the data readers; closer, or without a table length, the header stands. The
// duration the pre-scan reports stays the header's.
TEST_F(MovieScannerTest, ASampleTableThatBeliesTheMovieHeaderGivesTheInterval) {
    constexpr std::uint32_t kScale = 15360;  // 512 ticks a frame at 30 frames a second
    const struct {
        const char* name;
        Bytes mvhd;
        Bytes mdhd;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> stts;
        double header;   // seconds, as the movie header says
        double length;   // seconds the frames are played over
        float interval;  // ms
        double shown = -1;  // seconds of records the data readers allow; -1: the length
    } rows[] = {
        {"25 s as both say", Mvhd0(1000, 25000), Mdhd(0, kScale), {{750, 512}}, 25.0, 25.0, 33.333f},
        {"a header of 0xFFFFFFFF", Mvhd0(1000, 0xFFFFFFFFu), Mdhd(0, kScale), {{750, 512}}, 4294967.295, 25.0,
         33.333f},
        {"a version-1 header of a year", Mvhd1(1000, 31536000000ull), Mdhd(1, kScale), {{700, 512}, {50, 512}},
         31536000.0, 25.0, 33.333f},
        {"a header far too short", Mvhd0(1000, 1000), Mdhd(0, kScale), {{750, 512}}, 1.0, 25.0, 33.333f},
        {"within a frame per second", Mvhd0(1000, 25500), Mdhd(0, kScale), {{750, 512}}, 25.5, 25.5, 34.0f},
        {"no media time scale", Mvhd0(1000, 50000), Box("mdhd", Bytes(24, 0)), {{750, 512}}, 50.0, 50.0, 66.667f},
        {"no media header", Mvhd0(1000, 50000), Box("free", Bytes(24, 0)), {{750, 512}}, 50.0, 50.0, 66.667f},
        {"sample deltas of 0", Mvhd0(1000, 50000), Mdhd(0, kScale), {{750, 0}}, 50.0, 50.0, 66.667f},
        {"a frame a second", Mvhd0(1000, 100000), Mdhd(0, 1000), {{100, 1000}}, 100.0, 100.0, 1000.0f},
        {"a frame every two seconds", Mvhd0(1000, 200000), Mdhd(0, 1000), {{100, 2000}}, 200.0, 200.0, 2000.0f},
        // Header and table agree on a day, which 300 frames cannot fill.
        {"a day over 300 frames", Mvhd0(1000, 86400000), Mdhd(0, 1000), {{300, 288000}}, 86400.0, 86400.0,
         288000.0f, 300 * kLongestFrameS},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes stts(4, 0);
        PutBE(stts, row.stts.size(), 4);
        for (auto [count, delta] : row.stts) {
            PutBE(stts, count, 4);
            PutBE(stts, delta, 4);
        }
        const std::string path = File("timing.mp4", Cat({Ftyp(), Box("mdat", Bytes(100, 0)),
                                                          Box("moov", Cat({row.mvhd, Trak("soun", Stts({{9, 1024}})),
                                                                           Trak("vide", Box("stts", stts), row.mdhd)}))}));
        float duration = 0.0f;
        ASSERT_TRUE(Prescan(path, &duration));
        EXPECT_NEAR(duration, row.header, row.header * 1e-6);
        EXPECT_NEAR(scanner_.frameInterval, row.interval, 0.001f);
        // What the data readers allow: the length and a quarter more, a minute over, ten a second.
        const double shown = row.shown < 0 ? row.length : row.shown;
        EXPECT_EQ(MovieRecordLimit(scanner_, path), std::int32_t(std::ceil((shown * 1.25 + 60.0) * 10.0)));
    }
    // The data readers' bound of a movie that gives no length at all.
    EXPECT_EQ(MovieRecordLimit(scanner_, File("none.mp4", Cat({Ftyp(), Box("moov", Bytes(16, 0))}))), 0);
    EXPECT_EQ(DataRecordLimit(dir_.Path() + "/missing.mp4"), kMaxBlockRecords);
}

TEST_F(MovieScannerTest, ZeroOrMissingTimingFailsThePrescan) {
    float duration = 0;
    EXPECT_FALSE(Prescan(File("scale0.mp4", Movie(Mvhd0(0, 5000))), &duration));
    EXPECT_FALSE(Prescan(File("dur0.mp4", Movie(Mvhd0(1000, 0))), &duration));
    const Bytes noSamples = Cat({Ftyp(), Box("moov", Cat({Mvhd0(1000, 5000), Trak("vide", Stts({{0, 1}}))}))});
    EXPECT_FALSE(Prescan(File("samples0.mp4", noSamples), &duration));
    const Bytes audioOnly = Cat({Ftyp(), Box("moov", Cat({Mvhd0(1000, 5000), Trak("soun", Stts({{50, 1}}))}))});
    EXPECT_FALSE(Prescan(File("audio.mp4", audioOnly), &duration));
    // An entry count larger than the box.
    const Bytes overCount =
        Cat({Ftyp(), Box("moov", Cat({Mvhd0(1000, 5000), Trak("vide", Stts({{50, 1}}, 100000))}))});
    EXPECT_FALSE(Prescan(File("count.mp4", overCount), &duration));
    // An unknown mvhd version, and a movie header cut short by the end of the file.
    Bytes v2 = Mvhd0(1000, 5000);
    v2[8] = 2;
    EXPECT_FALSE(Prescan(File("v2.mp4", Cat({Ftyp(), Box("moov", v2)})), &duration));
    Bytes cut = Cat({Ftyp(), Mvhd0(1000, 5000)});
    cut.resize(Ftyp().size() + 8 + 14);
    EXPECT_FALSE(Prescan(File("cut.mp4", cut), &duration));
}

TEST_F(MovieScannerTest, FindBoxStepsOverLargeMediaData) {
    // moov behind a 100 MB mdat: only the box headers and moov are read.
    const Bytes head = Cat({Ftyp(), BoxHeader("mdat", std::uint32_t(100 * kMB + 8))});
    const Bytes moov = Box("moov", Mvhd0(600, 1200));
    const std::string path = dir_.Path() + "/big.mp4";
    ASSERT_TRUE(WriteSparse(path, head, Ftyp().size() + 100 * kMB + 8, moov));
    ASSERT_TRUE(scanner_.OpenMapping(path));
    scanner_.views = 0;
    float duration = 0;
    EXPECT_TRUE(scanner_.FindBox({"mvhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> d) {
                                      return OnMvhdBox(s, d, &duration);
                                  }}));
    EXPECT_EQ(scanner_.hits, 1);
    EXPECT_FLOAT_EQ(duration, 2.0f);
    EXPECT_LE(scanner_.views, 3u);

    // A type the file lacks: success without a hit.
    EXPECT_TRUE(scanner_.FindBox({"udta", [](sMOVIESCANNER&, std::span<const std::uint8_t>) { return 1; }}));
    EXPECT_EQ(scanner_.hits, 0);
}

TEST_F(MovieScannerTest, TheStartOffsetShortensTheRangeAndMovesTheWindow) {
    // Behind moov a box whose payload repeats the start of a type ("CCCSM") and holds a
    // data tag; a free box of 16 bytes ends the file.
    const Bytes tail = {'C', 'C', 'C', 'S', 'M', 'D', 'A', 'T', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    const Bytes file = Cat({Ftyp(), Box("moov", Cat({Mvhd0(1000, 5000), Trak("vide", Stts({{150, 1}}))})),
                            Box("skip", tail), Box("free", Bytes(8, 'y'))});
    ASSERT_TRUE(scanner_.OpenMapping(File("offset.mp4", file)));
    const auto at = [&](const char* text) {
        return std::uint64_t(std::search(file.begin(), file.end(), text, text + std::strlen(text)) - file.begin());
    };
    const std::uint64_t size = file.size();
    const std::uint64_t mvhd = at("mvhd") + 4, stts = at("stts") + 4, tag = at("CSMD");

    enum Search { kBox, kTrackBox, kTag };
    struct Case {
        Search search;
        const char* text;
        std::uint64_t startOffset;
        bool ok;
        int hits;
        std::uint64_t from, to;  // the callback's window in the file
    };
    const Case cases[] = {
        {kBox, "mvhd", 0, true, 1, mvhd, size},
        {kBox, "mvhd", 4, true, 1, mvhd + 4, size - 4},
        {kBox, "CCSM", 0, true, 1, at("CCSM") + 4, size},  // found though its start repeats
        {kBox, "free", 9, true, 0, 0, 0},                  // the type ends behind the range
        {kBox, "free", 8, false, 0, 0, 0},                 // found, but its window is empty
        {kTrackBox, "stts", 0, true, 1, stts, stts + 16},
        {kTrackBox, "stts", 8, true, 1, stts + 8, stts + 24},
        {kTrackBox, "stts", 41, false, 0, 0, 0},  // moov crosses the end of the range
        {kTag, "CSMDAT", 0, true, 1, tag, size},
        {kTag, "CSMDAT", 6, true, 1, tag + 6, size - 6},
        {kTag, "CSMDAT", size - tag - 3, true, 0, 0, 0},  // the tag's four bytes do not fit
        {kTag, "CSMDAT", size - tag - 4, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.startOffset));
        Bytes seen;
        const sSCANTAG scanTag(c.text, [&](sMOVIESCANNER&, std::span<const std::uint8_t> d) {
            seen.assign(d.begin(), d.end());
            return 1;
        }, c.startOffset);
        // The same tag twice: the match state of one search does not leak into the next.
        for (int round = 0; round < 2; ++round) {
            seen.clear();
            const bool ok = c.search == kBox        ? scanner_.FindBox(scanTag)
                            : c.search == kTrackBox ? scanner_.FindTrackBox(scanTag)
                                                    : scanner_.FindTag(scanTag);
            EXPECT_EQ(ok, c.ok);
            EXPECT_EQ(scanner_.hits, c.hits);
            EXPECT_EQ(seen, Bytes(file.begin() + std::ptrdiff_t(c.from), file.begin() + std::ptrdiff_t(c.to)));
        }
    }

    // A length beyond the text is refused, not read past.
    sSCANTAG tooLong("mvhd", [](sMOVIESCANNER&, std::span<const std::uint8_t>) { return 1; });
    tooLong.length = 6;
    EXPECT_FALSE(scanner_.FindBox(tooLong));
    EXPECT_FALSE(scanner_.FindTag(tooLong));
}

TEST_F(MovieScannerTest, CorruptBoxSizesFailTheSearch) {
    auto findMvhd = [&](const Bytes& bytes) {
        if (!scanner_.OpenMapping(File("corrupt.mp4", bytes))) return false;
        float d = 0;
        return scanner_.FindBox({"mvhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> v) {
                                     return OnMvhdBox(s, v, &d);
                                 }});
    };
    auto findStts = [&](const Bytes& bytes) {
        if (!scanner_.OpenMapping(File("corrupt.mp4", bytes))) return false;
        return scanner_.FindTrackBox({"stts", [](sMOVIESCANNER& s, std::span<const std::uint8_t> v) {
                                          return OnSttsBox(s, v, 5.0f);
                                      }});
    };
    const Bytes moov = Box("moov", Cat({Mvhd0(1000, 5000), Trak("vide", Stts({{150, 1}}))}));
    ASSERT_TRUE(findMvhd(Cat({Ftyp(), Box("mdat", Bytes(16, 0)), moov})));
    ASSERT_TRUE(findStts(Cat({Ftyp(), Box("mdat", Bytes(16, 0)), moov})));

    EXPECT_FALSE(findMvhd(Cat({Ftyp(), BoxHeader("mdat", 0), moov})));
    EXPECT_FALSE(findMvhd(Cat({Ftyp(), BoxHeader("mdat", 5), moov})));
    EXPECT_FALSE(findMvhd(Cat({Ftyp(), BoxHeader("mdat", 1), moov})));  // 64-bit size missing
    EXPECT_FALSE(findMvhd(Cat({Ftyp(), BoxHeader("mdat", 0x7FFFFFFF), moov})));

    // A zero size inside moov, a child larger than its parent, a truncated moov.
    EXPECT_FALSE(findStts(Cat({Ftyp(), Box("moov", Cat({BoxHeader("free", 0), moov}))})));
    EXPECT_FALSE(findStts(Cat({Ftyp(), Box("moov", BoxHeader("trak", 4000))})));
    Bytes truncated = Cat({Ftyp(), moov});
    truncated.resize(truncated.size() - 30);
    EXPECT_FALSE(findStts(truncated));
    for (std::uint32_t tiny = 1; tiny < 8; ++tiny) {
        EXPECT_FALSE(findStts(Cat({Ftyp(), Box("moov", Cat({BoxHeader("free", tiny), moov}))}))) << tiny;
    }
}

TEST_F(MovieScannerTest, TypesAndTagsStraddlingTheWindowBoundaryAreFound) {
    const std::uint64_t boundary = sMOVIESCANNER::kDataWindow;

    // "mvhd" occupies the last two bytes before the boundary and the first two behind it.
    const std::uint64_t moovAt = boundary - 14;
    const Bytes head = Cat({Ftyp(), BoxHeader("mdat", std::uint32_t(moovAt - Ftyp().size()))});
    const std::string movie = dir_.Path() + "/straddle.mp4";
    ASSERT_TRUE(WriteSparse(movie, head, moovAt, Box("moov", Mvhd0(1000, 3000))));
    ASSERT_TRUE(scanner_.OpenMapping(movie));
    float duration = 0;
    EXPECT_TRUE(scanner_.FindBox({"mvhd", [&](sMOVIESCANNER& s, std::span<const std::uint8_t> d) {
                                      return OnMvhdBox(s, d, &duration);
                                  }}));
    EXPECT_FLOAT_EQ(duration, 3.0f);

    // A data block whose tag straddles the boundary.
    fx::DataBlock block;
    block.records.resize(3);
    const Bytes bytes = block.Bytes();
    const std::string data = dir_.Path() + "/straddle.ADA";
    ASSERT_TRUE(WriteSparse(data, Bytes{'x'}, boundary - 3, bytes));
    ASSERT_TRUE(scanner_.OpenMapping(data));
    Bytes seen;
    EXPECT_TRUE(scanner_.FindTag({kDataTag, [&](sMOVIESCANNER&, std::span<const std::uint8_t> d) {
                                      seen.assign(d.begin(), d.end());
                                      return 1;
                                  }}));
    EXPECT_EQ(scanner_.hits, 1);
    EXPECT_EQ(seen, bytes);  // the window begins at the tag and ends with the file
    // A data file's block is the file itself: a tag further in is no block.
    EXPECT_TRUE(scanner_.ParseDataFile());
    EXPECT_EQ(scanner_.hits, 0);
    EXPECT_TRUE(scanner_.gps.empty());

    // A tag cut by the end of the file is no hit.
    ASSERT_TRUE(scanner_.OpenMapping(File("tail.ADA", Bytes{'a', 'b', 'C', 'S', 'M'})));
    EXPECT_TRUE(scanner_.FindTag({kDataTag, [](sMOVIESCANNER&, std::span<const std::uint8_t>) { return 1; }}));
    EXPECT_EQ(scanner_.hits, 0);
}

TEST_F(MovieScannerTest, CancelFailsTheSearchClearsTheFlagAndFreesTheLock) {
    ASSERT_TRUE(scanner_.OpenMapping(File("cancel.mp4", Movie(Mvhd0(1000, 5000)))));
    const auto any = [](sMOVIESCANNER&, std::span<const std::uint8_t>) { return 1; };
    const NamedMutexHandle findLock = OpenNamedMutex("hMutexFind");
    auto lockIsFree = [&] {
        bool free = false;
        std::thread([&] {
            free = findLock->try_lock();
            if (free) findLock->unlock();
        }).join();
        return free;
    };

    scanner_.cancel = true;
    EXPECT_FALSE(scanner_.FindBox({"mvhd", any}));
    EXPECT_FALSE(scanner_.cancel);
    EXPECT_TRUE(lockIsFree());

    scanner_.cancel = true;
    EXPECT_FALSE(scanner_.FindTrackBox({"stts", any}));
    EXPECT_FALSE(scanner_.cancel);
    EXPECT_TRUE(lockIsFree());

    scanner_.cancel = true;
    EXPECT_FALSE(scanner_.FindTag({kDataTag, any}));
    EXPECT_FALSE(scanner_.cancel);
    EXPECT_TRUE(lockIsFree());

    scanner_.cancel = true;
    EXPECT_FALSE(scanner_.ParseDataFile());
    EXPECT_FALSE(scanner_.cancel);
    EXPECT_TRUE(lockIsFree());

    // The next search runs normally.
    EXPECT_TRUE(scanner_.FindBox({"mvhd", any}));
    EXPECT_EQ(scanner_.hits, 1);
}

TEST_F(MovieScannerTest, SearchesWaitForTheSharedLock) {
    EXPECT_EQ(OpenNamedMutex("hMutexFind"), OpenNamedMutex("hMutexFind"));
    EXPECT_NE(OpenNamedMutex("hMutexFind"), OpenNamedMutex("other"));

    ASSERT_TRUE(scanner_.OpenMapping(File("lock.mp4", Movie(Mvhd0(1000, 5000)))));
    const NamedMutexHandle findLock = OpenNamedMutex("hMutexFind");
    std::atomic<bool> searched{false};
    findLock->lock();
    std::thread search([&] {
        scanner_.FindBox({"mvhd", [](sMOVIESCANNER&, std::span<const std::uint8_t>) { return 1; }});
        searched = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(searched);  // held up by the lock, whatever the timing
    findLock->unlock();
    search.join();
    EXPECT_TRUE(searched);
}

TEST_F(MovieScannerTest, AReadErrorIsReportedNotShown) {
    std::vector<std::pair<std::string, std::string>> reports;
    SetErrorReportHook([&](const std::string& caption, const std::string& text) {
        reports.emplace_back(caption, text);
    });
    fx::DataBlock block;
    block.records.resize(2);
    const std::string path = File("pulled.ADA", block.Bytes());
    ASSERT_TRUE(scanner_.OpenMapping(path));
    std::filesystem::resize_file(path, 0);  // the card went away under the open file
    EXPECT_FALSE(scanner_.ParseDataFile());
    SetErrorReportHook(nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, "Error Message");
    EXPECT_FALSE(reports[0].second.empty());
}

TEST_F(MovieScannerTest, ReadDataFile) {
    fx::DataBlock block;
    block.records.resize(4);
    block.records[2].speed = "0088";
    const std::string path = File("A___-220101-120000-000001D.ADA", block.Bytes());
    EXPECT_TRUE(sMOVIESCANNER::IsDataFile(path));
    ASSERT_TRUE(scanner_.ReadDataFile(path));
    EXPECT_TRUE(scanner_.loaded);
    EXPECT_EQ(scanner_.path, path);
    EXPECT_EQ(scanner_.gps.size(), 4u);
    EXPECT_EQ(scanner_.gps[2].speed, 88.0);
    EXPECT_EQ(scanner_.recordCounter, 3);
    EXPECT_EQ(scanner_.header.letter, 'M');

    // A data file cut in the third record (power lost): the whole records are kept.
    Bytes cut = block.Bytes();
    cut.resize(kBlockRecordsOffset + 2 * sRAWRECORD::kSize + 50);
    ASSERT_TRUE(scanner_.ReadDataFile(File("cut.ADA", cut)));
    EXPECT_EQ(scanner_.gps.size(), 2u);
    EXPECT_EQ(scanner_.recordCounter, 1);

    // A file without the tag: read, but no records.
    const std::string movie = File("movie.mp4", Movie(Mvhd0(1000, 5000)));
    EXPECT_FALSE(sMOVIESCANNER::IsDataFile(movie));
    EXPECT_TRUE(scanner_.ReadDataFile(movie));
    EXPECT_TRUE(scanner_.gps.empty());

    EXPECT_FALSE(scanner_.ReadDataFile(dir_.Path() + "/missing.ADA"));
    EXPECT_FALSE(scanner_.loaded);
    EXPECT_FALSE(sMOVIESCANNER::IsDataFile(dir_.Path() + "/missing.ADA"));
    EXPECT_FALSE(sMOVIESCANNER::IsDataFile(File("short.ADA", Bytes{'C', 'S', 'M'})));
}

// A block of `records` records whose speeds count up, so that order and gaps show.
fx::DataBlock CountingBlock(int records) {
    fx::DataBlock block;
    for (int i = 0; i < records; ++i) {
        block.records.emplace_back();
        block.records.back().speed = fx::SpeedText(i % 10000);
    }
    return block;
}

TEST_F(MovieScannerTest, AMoviesBlockIsItsTopLevelUdatBoxAndEndsWithIt) {
    const Bytes real = CountingBlock(4).Bytes();
    // Stray tags in the media data, as random media bytes hold them now and then.
    Bytes media(4000, 0xAA);
    const Bytes stray = CountingBlock(2).Bytes();
    std::copy(stray.begin(), stray.end(), media.begin() + 100);
    // A block that counts five records in a box that holds three; the next box's bytes
    // look like records.
    fx::DataBlock cut = CountingBlock(3);
    cut.countField = 5;
    cut.endTag = false;
    const Bytes recordLike = CountingBlock(3).Bytes();
    const Bytes moov = Box("moov", Mvhd0(1000, 5000));

    struct Case {
        const char* name;
        Bytes file;
        int hits;
        std::size_t records;
        RecordWalkEnd end;
    };
    const Case cases[] = {
        {"tag in mdat, block in udat", Cat({Ftyp(), Box("mdat", media), moov, Box("udat", real)}), 1, 4,
         RecordWalkEnd::kComplete},
        {"tag in mdat only", Cat({Ftyp(), Box("mdat", media), moov}), 0, 0, RecordWalkEnd::kTruncated},
        {"udat inside moov", Cat({Ftyp(), Box("moov", Cat({Mvhd0(1000, 5000), Box("udat", real)}))}), 0, 0,
         RecordWalkEnd::kTruncated},
        {"a foreign udat first", Cat({Ftyp(), Box("udat", Bytes(40, 'x')), moov, Box("udat", real)}), 1, 4,
         RecordWalkEnd::kComplete},
        {"count past the box", Cat({Ftyp(), Box("udat", cut.Bytes()), Box("free", recordLike)}), 1, 3,
         RecordWalkEnd::kTruncated},
        {"box cut by the end of the file", Cat({Ftyp(), BoxHeader("udat", 8 + std::uint32_t(real.size()) + 500), real}),
         0, 0, RecordWalkEnd::kTruncated},
        {"not a movie", Bytes(300, 'C'), 0, 0, RecordWalkEnd::kTruncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(scanner_.OpenMapping(File("movie.MOV", c.file)));
        RecordWalk walk;
        EXPECT_TRUE(scanner_.ParseDataFile(&walk));
        EXPECT_EQ(scanner_.hits, c.hits);
        EXPECT_EQ(scanner_.gps.size(), c.records);
        if (c.hits == 0) continue;
        EXPECT_EQ(walk.end, c.end);
        for (std::size_t i = 0; i < scanner_.gps.size(); ++i) EXPECT_EQ(scanner_.gps[i].speed, double(i));
    }
}

TEST_F(MovieScannerTest, ABlockOfAnySizeIsDecodedWholeWindowByWindow) {
    // 300,000 records (about eight hours at ten a second) are 37 MB, past one window.
    constexpr int kRecords = 300000;
    const Bytes bytes = fx::CountingBlockBytes(kRecords);
    ASSERT_GT(bytes.size(), sMOVIESCANNER::kDataWindow);
    const std::string movie = dir_.Path() + "/AG_S-220101-120000-000001M.MOV";
    const std::string data = File("AG_S-220101-120000-000001D.ADA", bytes);

    RecordWalk walk;
    ASSERT_TRUE(scanner_.OpenMapping(data));
    ASSERT_TRUE(scanner_.ParseDataFile(&walk));
    EXPECT_EQ(walk.end, RecordWalkEnd::kComplete);
    EXPECT_GE(scanner_.views, 2u);
    ASSERT_EQ(scanner_.gps.size(), std::size_t(kRecords));
    EXPECT_EQ(scanner_.recordCounter, kRecords - 1);
    EXPECT_EQ(scanner_.gps[kRecords - 1].speed, double((kRecords - 1) % 10000));
    EXPECT_EQ(scanner_.sensor.size(), scanner_.obd.size());

    // The joiner's reader of the same file.
    const auto joined = ReadRecorderMovie(movie);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->records.size(), std::size_t(kRecords));
    EXPECT_EQ(joined->recordCount, std::uint32_t(kRecords));
}

// Records are cut only where they stop before what their block promises: its count, a read
// that failed, or the movie's bound. A block without a count that ends without its tag (the
// recorder lost power while it wrote the file) promised nothing more: it is whole, with or
// without filler or half a record behind its last record.
TEST_F(MovieScannerTest, OnlyRecordsShortOfWhatTheirBlockPromisesAreCut) {
    enum class Tail { kNone, kTag, kZeros, kHalfRecord };
    const struct Case {
        const char* name;
        std::optional<std::uint16_t> count;  // none: 0xFFFF
        int stored;                          // records in the block
        Tail tail;
        bool readError;  // the window of the fourth record cannot be read
        int records;     // records read
        bool cut;
    } cases[] = {
        {"count and tag", 5, 5, Tail::kTag, false, 5, false},
        {"count only", 5, 5, Tail::kNone, false, 5, false},
        {"tag only", {}, 5, Tail::kTag, false, 5, false},
        {"neither", {}, 5, Tail::kNone, false, 5, false},
        {"neither, zeros up to the end", {}, 5, Tail::kZeros, false, 5, false},
        {"neither, the last record half written", {}, 5, Tail::kHalfRecord, false, 5, false},
        {"records short of the count", 8, 5, Tail::kNone, false, 5, true},
        {"the tag before the count is reached", 8, 5, Tail::kTag, false, 5, true},
        {"a read error", {}, 6, Tail::kTag, true, 3, true},
        // Five seconds show 5 x 1.25 x 10 records and a minute's 600 more.
        {"the movie's bound", {}, 700, Tail::kTag, false, 663, true},
    };
    const std::string movie = File("AG_S-220101-120000-000001M.MOV", Movie(Mvhd0(1000, 5000)));
    const std::string dataPath = dir_.Path() + "/AG_S-220101-120000-000001D.ADA";
    RecordLimits limits;
    limits.maxRecords = MovieRecordLimit(scanner_, movie);
    ASSERT_EQ(limits.maxRecords, 663);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::DataBlock block = CountingBlock(c.stored);
        block.countField = c.count.value_or(kUncountedRecords);
        block.endTag = c.tail == Tail::kTag;
        Bytes bytes = block.Bytes();
        if (c.tail == Tail::kHalfRecord) bytes.resize(bytes.size() + sRAWRECORD::kSize / 2, '7');
        const BlockSource memory = InMemoryBlock(bytes);
        const std::uint64_t failAt = kBlockRecordsOffset + 3 * sRAWRECORD::kSize;
        const BlockSource source{memory.size, sRAWRECORD::kSize, [&](std::uint64_t at, std::size_t n) {
                                     return c.readError && at >= failAt ? memory.view(at, n).first(0) : memory.view(at, n);
                                 }};
        const RecordWalk walk = WalkBlockRecords(source, nullptr, [](std::int32_t, RawRecord) {}, limits);
        EXPECT_EQ(walk.records, c.records);
        EXPECT_EQ(RecordsCut(walk.end), c.cut);
        if (c.readError) continue;  // the joiner's reader gives no records at all then

        const bool written = c.tail == Tail::kZeros ? fx::WritePreallocatedFile(dataPath, bytes, 4 * kMB)
                                                    : fx::WriteFileBytes(dataPath, bytes);
        ASSERT_TRUE(written);
        const auto read = ReadRecorderMovie(movie);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->records.size(), std::size_t(c.records));
        EXPECT_EQ(read->recordsCut, c.cut);
    }
}

TEST_F(MovieScannerTest, ARunawayDataFileIsReadInLittleMemory) {
    // Ten records, no end tag, then zeros up to 1 GiB: a file the recorder made full size
    // in advance and never finished. It takes no disk space.
    fx::DataBlock block;
    for (int i = 0; i < 10; ++i) {
        fx::RawRecord r;
        r.speed = fx::SpeedText(i);
        block.records.push_back(r);
    }
    block.countField = kUncountedRecords;
    block.endTag = false;
    const std::string movie = dir_.Path() + "/AG_S-220101-120000-000001M.MOV";
    const std::string data = dir_.Path() + "/AG_S-220101-120000-000001D.ADA";
    ASSERT_TRUE(fx::WritePreallocatedFile(data, block.Bytes(), std::uint64_t(1) << 30));

    // Each reader's records as "count, speed of the last, complete or truncated".
    const auto describe = [](const std::vector<double>& speeds, bool complete) {
        return std::to_string(speeds.size()) + "," + (speeds.empty() ? "-" : std::to_string(int(speeds.back()))) +
               (complete ? ",complete" : ",truncated");
    };
    const auto speedsOf = [](const std::vector<sGPSRECORD>& gps) {
        std::vector<double> speeds;
        for (const sGPSRECORD& g : gps) speeds.push_back(g.speed);
        return speeds;
    };
    struct Reader {
        const char* name;
        std::function<std::string()> read;
    };
    const Reader readers[] = {
        {"the data loader", [&] {
             RecordWalk walk;
             const bool read = scanner_.OpenMapping(data) && scanner_.ParseDataFile(&walk);
             return read ? describe(speedsOf(scanner_.gps), walk.end == RecordWalkEnd::kComplete) : "unread";
         }},
        {"the list track", [&] {
             std::vector<sGPSRECORD> track;
             bool complete = false;
             const bool read = scanner_.OpenMapping(data) && scanner_.ReadBlock([&](const BlockSource& b) {
                 complete = OnRecordBlock(scanner_, b, track);
                 return true;
             });
             return read ? describe(speedsOf(track), complete) : "unread";
         }},
        {"the joiner", [&] {
             const auto joined = ReadRecorderMovie(movie);
             if (!joined) return std::string("unread");
             std::vector<double> speeds;
             for (const RawRecordBytes& r : joined->records)
                 speeds.push_back(FieldNumber(std::span<const std::uint8_t>(r).subspan(sRAWRECORD::kSpeed, 4)).value_or(-1));
             return describe(speeds, false);
         }},
    };
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.name);
        const fx::ChildRun run = fx::RunForked(reader.read);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.output, "10,9,truncated");
        EXPECT_GE(run.peakKb, 0);
        EXPECT_LT(run.peakKb, 100 * 1024) << "KiB above what the child held before";
    }
    // The joiner, which looks through the zeros to their end, stops when its join is stopped.
    const std::atomic<bool> stopped{false};
    EXPECT_EQ(ReadRecorderMovie(movie, &stopped), nullptr);
}

TEST_F(MovieScannerTest, MoveToHandsOverTheDecodedData) {
    fx::DataBlock block;
    block.records.resize(12);
    block.records[4].accelX = "-2000";
    const std::string path = File("T___-220101-120000-000001D.ADA", block.Bytes());

    sMOVIESCANNER prefetch, staging;
    ASSERT_TRUE(prefetch.Init());
    ASSERT_TRUE(staging.Init());
    prefetch.moviePath = "movie-a";
    staging.moviePath = "movie-b";
    ASSERT_TRUE(prefetch.ReadDataFile(path));
    EXPECT_EQ(prefetch.msPerRecord, kMsPerRecordTimeLapse);

    EXPECT_TRUE(prefetch.MoveTo(staging));
    EXPECT_TRUE(prefetch.gps.empty());
    EXPECT_TRUE(prefetch.sensor.empty());
    EXPECT_TRUE(prefetch.path.empty());
    EXPECT_EQ(staging.gps.size(), 12u);
    EXPECT_EQ(staging.recordCounter, 11);
    EXPECT_EQ(staging.path, path);
    EXPECT_EQ(staging.header.mode, 'T');
    // What belongs to the scanner's own channel stays.
    EXPECT_EQ(staging.msPerRecord, kMsPerRecord);
    EXPECT_EQ(staging.moviePath, "movie-b");
    EXPECT_EQ(prefetch.moviePath, "movie-a");

    staging.frameInterval = 1000.0f / 15.0f;
    staging.SetFrameCountSource([] { return std::int64_t(12); });
    ASSERT_TRUE(staging.BuildFrameTable());
    EXPECT_DOUBLE_EQ(staging.largestG, 2.0);

    sMOVIESCANNER active;
    ASSERT_TRUE(active.Init());
    EXPECT_TRUE(staging.MoveTo(active));
    EXPECT_DOUBLE_EQ(active.largestG, 2.0);
    ASSERT_EQ(active.frameTable.size(), 12u);
    EXPECT_EQ(active.frameTable[0], &active.sensor[0]);
    EXPECT_EQ(active.sensor[5].gps, &active.gps[1]);
    EXPECT_EQ(active.gps[1].sensor, &active.sensor[1]);
    EXPECT_EQ(active.frameInterval, 0.0f);  // not handed over

    EXPECT_FALSE(staging.MoveTo(active));  // nothing left to hand over
    EXPECT_TRUE(active.gps.empty());
    active.Term();
    staging.Term();
    prefetch.Term();
}

TEST_F(MovieScannerTest, PrescanOfRealMovies) {
    if (!fx::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    struct Case {
        int fps;
        bool moovFirst;
    };
    for (const Case c : {Case{30, false}, Case{30, true}, Case{15, false}}) {
        fx::MovieSpec params;
        params.fpsNum = c.fps;
        params.seconds = 2.0;
        params.moovFirst = c.moovFirst;
        params.frameNumber = false;
        const std::string path = dir_.Path() + "/real" + std::to_string(c.fps) + ".mp4";
        std::string error;
        ASSERT_TRUE(fx::MakeMovie(params, path, &error)) << error;
        float duration = 0;
        ASSERT_TRUE(Prescan(path, &duration)) << path;
        EXPECT_NEAR(duration, 2.0f, 0.1f);
        EXPECT_NEAR(scanner_.frameInterval, 1000.0f / float(c.fps), 0.05f * 1000.0f / float(c.fps));
    }
}

}  // namespace
}  // namespace orv
