#include "recorder/RecorderMovieData.h"

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/DataBlockWriter.h"
#include "fixtures/TempDir.h"
#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr const char* kMovieName = "AG_S-220101-120000-000001M.MOV";
constexpr const char* kDataName = "AG_S-220101-120000-000001D.ADA";

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Records that differ in their speed and time fields.
std::vector<fixtures::RawRecord> Records(int n) {
    std::vector<fixtures::RawRecord> records(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        records[std::size_t(i)].speed = fixtures::SpeedText(i % 200);
        records[std::size_t(i)].dateTime =
            fixtures::DateTimeText(2022, 1, 1, 12, (i / 600) % 60, (i / 10) % 60);
    }
    return records;
}

fixtures::HeaderEntry Header() {
    fixtures::HeaderEntry h;
    h.values[0] = "0350";
    h.letter = 'D';
    h.version = "020103";
    h.byteA = 'a';
    return h;
}

class RecorderMovieDataTest : public testing::Test {
protected:
    std::string Movie() const { return PathAppend(dir_.Path(), kMovieName); }
    std::string Data() const { return PathAppend(dir_.Path(), kDataName); }

    // The folder's entries other than the data file: leftovers of a write.
    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.Path()))
            if (e.path().filename() != kDataName) names.push_back(e.path().filename().string());
        return names;
    }

    // A movie object holding the header and records, filled from the fixture's bytes.
    static std::unique_ptr<sMP4MOVIE> Holding(const fixtures::HeaderEntry& header,
                                              const std::vector<fixtures::RawRecord>& records) {
        auto movie = std::make_unique<sMP4MOVIE>();
        const auto h = header.Bytes();
        std::memcpy(movie->header.data(), h.data(), h.size());
        for (const auto& r : records)
            movie->records.push_back(r.Bytes());
        movie->recordCount = std::uint32_t(records.size());
        return movie;
    }

    fixtures::TempDir dir_;
};

TEST_F(RecorderMovieDataTest, TheDataFileIsBesideTheMovie) {
    EXPECT_EQ(DataFileOfMovie(Movie()), Data());
}

TEST_F(RecorderMovieDataTest, ReadsCountedAndUncountedBlocks) {
    fixtures::DataBlock block;
    block.header = Header();
    block.records = Records(3);
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), block.Bytes()));
    auto movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    const auto header = block.header.Bytes();
    EXPECT_TRUE(std::equal(header.begin(), header.end(), movie->header.begin()));
    ASSERT_EQ(movie->records.size(), 3u);
    EXPECT_EQ(movie->recordCount, 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(movie->records[i], block.records[i].Bytes());

    block.countField = 0xFFFF;
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), block.Bytes()));
    movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->records.size(), 3u);
    EXPECT_EQ(movie->recordCount, 3u);
    EXPECT_EQ(movie->records[2], block.records[2].Bytes());

    block.records.clear();
    block.countField.reset();
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), block.Bytes()));
    movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->records.empty());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), movie->header.begin()));
}

TEST_F(RecorderMovieDataTest, ShortBlocksEndTheRecordsEarly) {
    // Counted 5: the file ends inside the third record.
    fixtures::DataBlock block;
    block.records = Records(3);
    block.countField = 5;
    block.endTag = false;
    Bytes bytes = block.Bytes();
    bytes.resize(bytes.size() - 50);
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), bytes));
    auto movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->records.size(), 2u);
    EXPECT_EQ(movie->recordCount, 2u);

    // Counted 5: the end tag stands in the third place; it is never taken for a record.
    block.records = Records(2);
    block.endTag = true;
    bytes = block.Bytes();
    bytes.insert(bytes.end(), 400, 'x');
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), bytes));
    movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->records.size(), 2u);

    // Uncounted without an end tag: up to the end of the file.
    block.records = Records(4);
    block.countField = 0xFFFF;
    block.endTag = false;
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), block.Bytes()));
    movie = ReadRecorderMovie(Movie());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->records.size(), 4u);
}

TEST_F(RecorderMovieDataTest, ForeignOrMissingDataFilesGiveNone) {
    EXPECT_FALSE(ReadRecorderMovie(Movie()));
    fixtures::DataBlock block;
    Bytes bytes = block.Bytes();
    bytes[5] = 'X';
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), bytes));
    EXPECT_FALSE(ReadRecorderMovie(Movie()));
    bytes = block.Bytes();
    bytes.resize(20);  // the header is cut
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), bytes));
    EXPECT_FALSE(ReadRecorderMovie(Movie()));
}

TEST_F(RecorderMovieDataTest, WritesTheBlockWithoutTrailer) {
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), Bytes(10000, 'o')));  // an older file is replaced
    const auto records = Records(3);
    const auto movie = Holding(Header(), records);
    ASSERT_TRUE(WriteRecorderDataFile(*movie, Movie()));

    fixtures::DataBlock expected;
    expected.header = Header();
    expected.records = records;
    expected.trailer.reset();
    EXPECT_EQ(ReadAll(Data()), expected.Bytes());
    EXPECT_TRUE(Others().empty());
}

TEST_F(RecorderMovieDataTest, AMovieNameOfTheLongestLengthGetsItsDataFile) {
    // 83 three-byte characters and "M.MOV": 254 bytes, one short of the longest file name.
    std::string stem;
    for (int i = 0; i < 83; ++i) stem += "録";
    const std::string movie = PathAppend(dir_.Path(), stem + "M.MOV");
    const auto records = Records(2);
    ASSERT_TRUE(WriteRecorderDataFile(*Holding(Header(), records), movie));

    fixtures::DataBlock expected;
    expected.header = Header();
    expected.records = records;
    expected.trailer.reset();
    EXPECT_EQ(ReadAll(PathAppend(dir_.Path(), stem + "D.ADA")), expected.Bytes());
}

TEST_F(RecorderMovieDataTest, SeventyThousandRecordsCarryA32BitCountBehindTheEndTag) {
    const auto records = Records(70000);
    const auto movie = Holding(Header(), records);
    ASSERT_TRUE(WriteRecorderDataFile(*movie, Movie()));
    const Bytes file = ReadAll(Data());
    ASSERT_EQ(file.size(), 34 + 124 * 70000u + 10);
    EXPECT_EQ(file[32], 0xFF);
    EXPECT_EQ(file[33], 0xFF);
    const Bytes tail(file.end() - 10, file.end());
    EXPECT_EQ(tail, (Bytes{'C', 'S', 'M', 'E', 'N', 'D', 0x00, 0x01, 0x11, 0x70}));

    fixtures::DataBlock expected;
    expected.header = Header();
    expected.records = records;
    expected.countField = 0xFFFF;
    expected.count32 = 70000;
    EXPECT_TRUE(file == expected.Bytes());
}

// Writes larger than the file-size limit fail with EFBIG, as on a full card.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(RecorderMovieDataTest, AFailedWriteLeavesTheOldFileAndNoPartialFile) {
    const Bytes old(5000, 'o');
    ASSERT_TRUE(fixtures::WriteFileBytes(Data(), old));
    const auto movie = Holding(Header(), Records(70000));
    {
        FileSizeLimit limit(1 << 20);
        EXPECT_FALSE(WriteRecorderDataFile(*movie, Movie()));
    }
    EXPECT_EQ(ReadAll(Data()), old);
    EXPECT_TRUE(Others().empty());

    fs::remove(Data());
    {
        FileSizeLimit limit(1 << 20);
        EXPECT_FALSE(WriteRecorderDataFile(*movie, Movie()));
    }
    EXPECT_FALSE(PathFileExists(Data()));
    EXPECT_TRUE(Others().empty());
}

// File operations whose hidden attribute cannot be set.
class NoHiddenOps : public IFileOps {
public:
    bool IsHidden(const std::string&) override { return false; }
    bool SetHidden(const std::string&, bool) override { return false; }
    bool MoveNoReplace(const std::string& from, const std::string& to) override {
        return RealFileOps().MoveNoReplace(from, to);
    }
};

TEST_F(RecorderMovieDataTest, AFileThatCannotBeHiddenIsNotPutInPlace) {
    NoHiddenOps ops;
    ScopedFileOps scoped(&ops);
    EXPECT_FALSE(WriteRecorderDataFile(*Holding(Header(), Records(2)), Movie()));
    EXPECT_FALSE(PathFileExists(Data()));
    EXPECT_TRUE(Others().empty());
}

TEST_F(RecorderMovieDataTest, NeverWritesOverTheOutputMovieItself) {
    // A name whose camera letter is already 'D' with the data extension maps to itself.
    const std::string self = PathAppend(dir_.Path(), kDataName);
    ASSERT_TRUE(fixtures::WriteFileBytes(self, Bytes(100, 'm')));
    EXPECT_FALSE(WriteRecorderDataFile(*Holding(Header(), Records(2)), self));
    EXPECT_EQ(ReadAll(self), Bytes(100, 'm'));
}

}  // namespace
}  // namespace orv
