#include "recorder/Mp4Box.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/DataBlockWriter.h"
#include "fixtures/MovieMaker.h"
#include "fixtures/TempDir.h"
#include "platform/base/AppMessage.h"
#include "platform/base/PathUtil.h"
#include "BoxBytes.h"

namespace orv {
namespace {

using test::Box;
using test::Box64;
using test::Bytes;
using test::Cat;
using test::RawBox;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Be32At(const Bytes& b, std::uint64_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

class Mp4BoxTest : public testing::Test {
protected:
    std::string Write(const Bytes& bytes, const std::string& name = "m.mp4") {
        const std::string path = PathAppend(dir_.Path(), name);
        EXPECT_TRUE(fixtures::WriteFileBytes(path, bytes));
        return path;
    }
    std::unique_ptr<sMP4MOVIE> Open(const Bytes& bytes, std::string* error = nullptr,
                                    bool load = true) {
        return OpenMovieBoxes(Write(bytes), load, false, 0, error);
    }
    // Whether the file fails to read with a reason given.
    bool Fails(const Bytes& bytes) {
        std::string error;
        const bool failed = !Open(bytes, &error);
        return failed && !error.empty();
    }

    fixtures::TempDir dir_;
};

const Bytes kFtyp =
    Box("ftyp", Cat({test::Text("isom"), test::Be32(0x200), test::Text("isomiso2")}));

TEST(BoxTypes, TheTableFillsTheCharacterTree) {
    sBOXTYPENODE root;
    for (const char* type : kBoxTypes)
        EXPECT_TRUE(AddBoxTypeToTrie(&root, type, 0)) << type;
    for (const char* type : kBoxTypes)
        EXPECT_TRUE(BoxTypeKnown(&root, type, 0)) << type;
    for (const char* type : {"jP  ", "res ", "url ", "xml ", "udat", "ICAT", "ID32", "UITS"})
        EXPECT_TRUE(BoxTypeKnown(&root, type, 0)) << type;
    for (const char* type :
         {"wide", "MOOV", "moo ", "jP\0\0", "xml\0", "    ", "abcd", "avc1", "mp4a"})
        EXPECT_FALSE(BoxTypeKnown(&root, type, 0)) << type;
    // A known prefix is not a type; the rest of the type is looked up below a depth.
    EXPECT_TRUE(BoxTypeKnown(&root.children[0], "inf", 1));
    FreeBoxTypeTrie(&root);
    EXPECT_FALSE(BoxTypeKnown(&root, "moov", 0));
}

TEST(BoxTypes, ANodeTakesAtMost64Children) {
    sBOXTYPENODE root;
    char type[5] = "?abc";
    for (int i = 0; i < kBoxTypeFanOut; ++i) {
        type[0] = char(0x40 + i);
        ASSERT_TRUE(AddBoxTypeToTrie(&root, type, 0));
    }
    type[0] = char(0x40 + kBoxTypeFanOut);
    EXPECT_FALSE(AddBoxTypeToTrie(&root, type, 0));
    EXPECT_FALSE(BoxTypeKnown(&root, type, 0));
    type[0] = 0x40;
    EXPECT_TRUE(AddBoxTypeToTrie(&root, type, 0));  // already there
}

TEST_F(Mp4BoxTest, FtypMoovMdatMakeThreeTopLevelBoxes) {
    const Bytes mvhd = Box("mvhd", Bytes(100, 0));
    const Bytes tkhd = Box("tkhd", Bytes(84, 0));
    const Bytes trak = Box("trak", tkhd);
    const Bytes moov = Box("moov", Cat({mvhd, trak}));
    const Bytes mdat = Box("mdat", Bytes(1000, 0x55));
    const auto movie = Open(Cat({kFtyp, moov, mdat}));
    ASSERT_TRUE(movie);

    const sMP4BOX& root = movie->root;
    EXPECT_EQ(root.type[0], '\0');
    EXPECT_EQ(root.payloadSize, kFtyp.size() + moov.size() + mdat.size());
    ASSERT_EQ(root.children.size(), 3u);
    const sMP4BOX& ftyp = root.children[0];
    const sMP4BOX& moovBox = root.children[1];
    const sMP4BOX& mdatBox = root.children[2];
    EXPECT_STREQ(ftyp.type, "ftyp");
    EXPECT_EQ(ftyp.depth, 1);
    EXPECT_EQ(ftyp.payloadOffset, 8u);
    ASSERT_TRUE(ftyp.payload);
    EXPECT_EQ(*ftyp.payload, Bytes(kFtyp.begin() + 8, kFtyp.end()));

    EXPECT_STREQ(moovBox.type, "moov");
    EXPECT_EQ(moovBox.loaded, 0);
    EXPECT_FALSE(moovBox.payload);
    ASSERT_EQ(moovBox.children.size(), 2u);
    EXPECT_STREQ(moovBox.children[1].children[0].type, "tkhd");
    EXPECT_EQ(moovBox.children[1].children[0].depth, 3);
    EXPECT_EQ(moovBox.children[1].children[0].payloadOffset,
              kFtyp.size() + 8 + mvhd.size() + 8 + 8);
    EXPECT_EQ(ComputeBoxSize(moovBox), moov.size());
    EXPECT_EQ(ComputeBoxSize(moovBox.children[1]), trak.size());

    EXPECT_STREQ(mdatBox.type, "mdat");
    EXPECT_EQ(mdatBox.loaded, 1);
    EXPECT_FALSE(mdatBox.payload);
    EXPECT_EQ(mdatBox.payloadSize, 1000u);
    EXPECT_EQ(mdatBox.payloadOffset, kFtyp.size() + moov.size() + 8);
    EXPECT_EQ(ComputeBoxSize(mdatBox), mdat.size());

    EXPECT_EQ(movie->lists[LIST_MDAT], std::vector<sMP4BOX*>{&movie->root.children[2]});
    EXPECT_EQ(movie->lists[LIST_MVHD].size(), 1u);
    EXPECT_EQ(movie->lists[LIST_TKHD].size(), 1u);
    EXPECT_TRUE(movie->lists[LIST_STSZ].empty());
    EXPECT_EQ(*mdatBox.sourcePath, movie->mapping.path);
}

TEST_F(Mp4BoxTest, WithoutLoadingNoPayloadIsHeld) {
    const auto movie = Open(
        Cat({kFtyp, Box("moov", Box("mvhd", Bytes(100, 0))), Box("free", {1, 2})}), nullptr, false);
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 3u);
    EXPECT_EQ(movie->root.children[0].loaded, 1);
    EXPECT_FALSE(movie->root.children[0].payload);
    EXPECT_EQ(movie->root.children[1].children.size(), 1u);
    EXPECT_EQ(ComputeBoxSize(movie->root.children[2]), 10u);
}

TEST_F(Mp4BoxTest, RecorderBlockInUdatIsALeafWithItsPayload) {
    fixtures::DataBlock block;
    block.records.resize(3);
    const Bytes bytes = block.Bytes();
    const auto movie =
        Open(Cat({kFtyp, Box("moov", Box("mvhd", Bytes(100, 0))), Box("udat", bytes)}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 3u);
    const sMP4BOX& udat = movie->root.children[2];
    EXPECT_STREQ(udat.type, "udat");
    EXPECT_EQ(udat.loaded, 1);
    EXPECT_TRUE(udat.children.empty());
    ASSERT_TRUE(udat.payload);
    EXPECT_EQ(*udat.payload, bytes);
}

TEST_F(Mp4BoxTest, SizesThatBreakTheRulesFailTheRead) {
    const Bytes mvhd = Box("mvhd", Bytes(100, 0));
    for (std::uint32_t size = 1; size < 8; ++size) {
        // Size 1 announces a 64-bit size; here that size is too small for its header.
        const Bytes bad = size == 1 ? Cat({RawBox(1, "free", test::Be64(size)), Bytes(8, 0)})
                                    : RawBox(size, "free", Bytes(8, 0));
        EXPECT_TRUE(Fails(Cat({kFtyp, bad}))) << "top level, size " << size;
        EXPECT_TRUE(Fails(Cat({kFtyp, Box("moov", Cat({mvhd, bad}))}))) << "in moov, size " << size;
    }
    // Past the end of the file, past the parent, zero inside a box.
    EXPECT_TRUE(Fails(Cat({kFtyp, RawBox(1000, "mdat", Bytes(100, 0))})));
    EXPECT_TRUE(Fails(
        Cat({kFtyp, Box("moov", Cat({mvhd, RawBox(200, "trak", Bytes(100, 0))})), Bytes(200, 0)})));
    EXPECT_TRUE(Fails(Cat({kFtyp, Box("moov", Cat({mvhd, RawBox(0, "trak", Bytes(100, 0))}))})));
    // A 64-bit size cut off by the end of the file, and one far past it.
    EXPECT_TRUE(Fails(Cat({kFtyp, RawBox(1, "mdat", {0, 0, 0})})));
    EXPECT_TRUE(
        Fails(Cat({kFtyp, RawBox(1, "mdat", Cat({test::Be64(0x100000010ull), Bytes(16, 0)}))})));
    // An empty file has no boxes; that is not an error.
    EXPECT_TRUE(Open({}));
}

TEST_F(Mp4BoxTest, SizeZeroAtTheTopLevelRunsToTheEnd) {
    const auto movie = Open(Cat({kFtyp, RawBox(0, "mdat", Bytes(100, 7))}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 2u);
    EXPECT_EQ(movie->root.children[1].payloadSize, 100u);
    EXPECT_EQ(movie->root.children[1].payloadOffset, kFtyp.size() + 8);
}

TEST_F(Mp4BoxTest, SixtyFourBitSizesAreRead) {
    const Bytes moov = Box64("moov", Box("mvhd", Bytes(100, 0)));
    const Bytes mdat = Box64("mdat", Bytes(50, 1));
    const auto movie = Open(Cat({kFtyp, moov, mdat, Box("free", {})}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 4u);
    const sMP4BOX& moovBox = movie->root.children[1];
    EXPECT_EQ(moovBox.payloadOffset, kFtyp.size() + 16);
    EXPECT_EQ(moovBox.payloadSize, moov.size() - 16);
    ASSERT_EQ(moovBox.children.size(), 1u);
    EXPECT_EQ(moovBox.children[0].payloadOffset, kFtyp.size() + 16 + 8);
    EXPECT_EQ(movie->root.children[2].payloadOffset, kFtyp.size() + moov.size() + 16);
    EXPECT_EQ(movie->root.children[2].payloadSize, 50u);
    // Written back with 32-bit sizes, the boxes are 8 bytes shorter.
    EXPECT_EQ(ComputeBoxSize(moovBox), moov.size() - 8);
}

TEST_F(Mp4BoxTest, ComputedSizeNeedsA64BitHeaderPast4GB) {
    sMP4BOX mdat;
    mdat.loaded = 1;
    mdat.payloadSize = 0xFFFFFFF7ull;
    EXPECT_EQ(ComputeBoxSize(mdat), 0xFFFFFFFFull);
    mdat.payloadSize = 0xFFFFFFF8ull;
    EXPECT_EQ(ComputeBoxSize(mdat), 0xFFFFFFF8ull + 16);
}

// `levels` nested "moov" boxes around a "free" box, which lies at depth levels + 1.
Bytes Nested(int levels) {
    Bytes b = Box("free", Bytes(8, 0));
    for (int i = 0; i < levels; ++i)
        b = Box("moov", b);
    return b;
}

TEST_F(Mp4BoxTest, NestingDeeperThan32Fails) {
    const auto movie = Open(Nested(kMaxBoxDepth - 1));
    ASSERT_TRUE(movie);
    const sMP4BOX* node = &movie->root;
    while (!node->children.empty())
        node = &node->children[0];
    EXPECT_STREQ(node->type, "free");
    EXPECT_EQ(node->depth, kMaxBoxDepth);

    std::string error;
    EXPECT_FALSE(Open(Nested(kMaxBoxDepth), &error));
    EXPECT_NE(error.find("deep"), std::string::npos) << error;
}

TEST_F(Mp4BoxTest, AnUnknownTypeEndsItsParentWhichCountsAsALeaf) {
    // The QuickTime muxer's "wide" box stops the top level: the boxes behind it are not read.
    const Bytes moov = Box("moov", Box("mvhd", Bytes(100, 0)));
    auto movie = Open(Cat({kFtyp, Box("wide", {}), moov}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 1u);
    EXPECT_EQ(movie->root.loaded, 1);
    EXPECT_TRUE(movie->lists[LIST_MVHD].empty());

    // Inside a box: the children before the unknown one stay, the size stays that of the file.
    const Bytes trak = Box("trak", Box("tkhd", Bytes(84, 0)));
    const Bytes odd = Cat({Box("mvhd", Bytes(100, 0)), Box("abcd", Bytes(20, 0)), trak});
    movie = Open(Cat({kFtyp, Box("moov", odd), Box("mdat", {})}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->root.children.size(), 3u);
    const sMP4BOX& moovBox = movie->root.children[1];
    EXPECT_EQ(moovBox.loaded, 1);
    EXPECT_FALSE(moovBox.payload);
    ASSERT_EQ(moovBox.children.size(), 1u);
    EXPECT_EQ(ComputeBoxSize(moovBox), odd.size() + 8);
    EXPECT_TRUE(movie->lists[LIST_TKHD].empty());

    // Fewer than 8 bytes behind the last box (QuickTime ends some lists with a zero word).
    const Bytes udta = Box("udta", Cat({Box("free", Bytes(4, 0)), Bytes(4, 0)}));
    movie = Open(Cat({kFtyp, Box("moov", Cat({Box("mvhd", Bytes(100, 0)), udta}))}));
    ASSERT_TRUE(movie);
    const sMP4BOX& udtaBox = movie->root.children[1].children[1];
    EXPECT_EQ(udtaBox.loaded, 1);
    EXPECT_EQ(udtaBox.children.size(), 1u);
    EXPECT_EQ(ComputeBoxSize(udtaBox), udta.size());
}

TEST_F(Mp4BoxTest, MapMovieWindowIsCutAtTheEndOfTheFile) {
    auto movie = Open(Cat({kFtyp, Box("free", Bytes(100, 9))}));  // 132 bytes
    ASSERT_TRUE(movie);
    std::size_t available = 0;
    const std::uint8_t* p = MapMovieWindow(movie->mapping, 4, 4, &available);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "ftyp", 4), 0);
    EXPECT_EQ(available, 128u);
    p = MapMovieWindow(movie->mapping, 130, 100, &available);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(available, 2u);
    EXPECT_EQ(MapMovieWindow(movie->mapping, 132, 1, &available), nullptr);
    EXPECT_EQ(available, 0u);
}

// ---- Movies made by ffmpeg ----

struct Walked {
    int depth;
    std::string type;
    std::uint64_t offset;
    std::uint64_t size;
    auto operator<=>(const Walked&) const = default;
};

// The boxes of a file by a plain walk that enters a fixed set of container types, as
// ffmpeg writes them.
void WalkFile(const Bytes& file, std::uint64_t begin, std::uint64_t end, int depth,
              std::vector<Walked>& out) {
    static const std::vector<std::string> containers = {"moov", "trak", "mdia", "minf",
                                                        "stbl", "edts", "dinf", "udta"};
    while (begin + 8 <= end) {
        const std::uint64_t size = Be32At(file, begin);
        const std::string type(file.begin() + std::ptrdiff_t(begin + 4),
                               file.begin() + std::ptrdiff_t(begin + 8));
        out.push_back({depth, type, begin + 8, size - 8});
        if (std::find(containers.begin(), containers.end(), type) != containers.end())
            WalkFile(file, begin + 8, begin + size, depth + 1, out);
        begin += size;
    }
}

void Flatten(const sMP4BOX& node, std::vector<Walked>& out) {
    if (node.depth > 0)
        out.push_back({node.depth, node.type, node.payloadOffset, node.payloadSize});
    for (const sMP4BOX& child : node.children)
        Flatten(child, out);
}

class Mp4MovieTreeTest : public Mp4BoxTest {
protected:
    void SetUp() override {
        if (!fixtures::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    }
    std::string Make(const fixtures::MovieSpec& params, const std::string& name) {
        const std::string path = PathAppend(dir_.Path(), name);
        std::string error;
        EXPECT_TRUE(fixtures::MakeMovie(params, path, &error)) << error;
        return path;
    }
};

TEST_F(Mp4MovieTreeTest, TreeMatchesTheFileWithMoovBeforeAndAfterTheMediaData) {
    fixtures::MovieSpec params;
    params.width = 640;
    params.height = 480;
    params.seconds = 3.0;
    std::size_t nodes[2] = {};
    for (const bool moovFirst : {false, true}) {
        SCOPED_TRACE(moovFirst ? "moov first" : "moov last");
        params.moovFirst = moovFirst;
        const std::string path = Make(params, moovFirst ? "first.mp4" : "last.mp4");
        const Bytes file = ReadAll(path);
        const auto movie = OpenMovieBoxes(path, true, false, 0);
        ASSERT_TRUE(movie);

        std::vector<Walked> expected, got;
        WalkFile(file, 0, file.size(), 1, expected);
        Flatten(movie->root, got);
        EXPECT_EQ(got, expected);
        nodes[moovFirst] = got.size();

        // The media data is large, never held; it lies behind "moov" or before it.
        const sMP4BOX& mdat = *movie->lists[LIST_MDAT].at(0);
        EXPECT_GT(mdat.payloadSize, 2 * kBoxWindowSize);
        EXPECT_FALSE(mdat.payload);
        const std::uint64_t moovOffset = movie->lists[LIST_MVHD][0]->payloadOffset;
        EXPECT_EQ(moovFirst, moovOffset < mdat.payloadOffset);

        // One box per track in each table list, video first; one sync-sample table.
        const std::size_t perTrack[MOVIE_LIST_COUNT] = {1, 2, 2, 2, 1, 2, 1, 2, 2, 2};
        for (int i = 0; i < MOVIE_LIST_COUNT; ++i) {
            EXPECT_EQ(movie->lists[i].size(), perTrack[i]) << kMovieListTypes[i];
            for (std::size_t k = 1; k < movie->lists[i].size(); ++k)
                EXPECT_LT(movie->lists[i][k - 1]->payloadOffset, movie->lists[i][k]->payloadOffset);
        }
        // Each held payload is the file's bytes; each header names the type and size.
        std::vector<const sMP4BOX*> stack{&movie->root};
        while (!stack.empty()) {
            const sMP4BOX* n = stack.back();
            stack.pop_back();
            for (const sMP4BOX& c : n->children)
                stack.push_back(&c);
            if (n->depth == 0) continue;
            EXPECT_EQ(std::memcmp(&file[n->payloadOffset - 4], n->type, 4), 0);
            EXPECT_EQ(Be32At(file, n->payloadOffset - 8), n->payloadSize + 8);
            if (n->payload)
                EXPECT_TRUE(std::equal(n->payload->begin(), n->payload->end(),
                                       file.begin() + std::ptrdiff_t(n->payloadOffset)))
                    << n->type;
            else
                EXPECT_TRUE(n->IsType("mdat") || !n->loaded) << n->type;
        }
    }
    EXPECT_EQ(nodes[0], nodes[1]);
}

TEST_F(Mp4MovieTreeTest, AppendedUdatBlockIsTheLastTopLevelBox) {
    const std::string path = Make({}, "udat.mp4");
    fixtures::DataBlock block;
    block.records.resize(20);
    const Bytes bytes = block.Bytes();
    ASSERT_TRUE(fixtures::AppendTopLevelBox(path, "udat", bytes));
    const auto movie = OpenMovieBoxes(path, true, false, 0);
    ASSERT_TRUE(movie);
    const sMP4BOX& last = movie->root.children.back();
    EXPECT_STREQ(last.type, "udat");
    ASSERT_TRUE(last.payload);
    EXPECT_EQ(*last.payload, bytes);
    EXPECT_EQ(last.payloadOffset + last.payloadSize, movie->fileSize);
}

TEST_F(Mp4MovieTreeTest, TruncatedMoviesGiveATreeOrAClearFailure) {
    for (const bool moovFirst : {false, true}) {
        fixtures::MovieSpec params;
        params.moovFirst = moovFirst;
        const Bytes file = ReadAll(Make(params, "whole.mp4"));
        ASSERT_GT(file.size(), 1000u);
        int trees = 0, failures = 0;
        for (std::size_t cut = 0; cut < file.size(); cut += 1 + cut / 8) {
            SCOPED_TRACE(cut);
            std::string error;
            const auto movie =
                Open(Bytes(file.begin(), file.begin() + std::ptrdiff_t(cut)), &error);
            if (!movie) {
                EXPECT_FALSE(error.empty());
                ++failures;
                continue;
            }
            ++trees;
            std::vector<Walked> got;
            Flatten(movie->root, got);
            for (const Walked& w : got)
                EXPECT_LE(w.offset + w.size, cut) << w.type;
        }
        EXPECT_GT(trees, 0);
        EXPECT_GT(failures, 0);
    }
}

TEST_F(Mp4MovieTreeTest, FreeingWithProgressPostsOneMessagePerNode) {
    const std::string path = Make({}, "progress.mp4");
    std::vector<std::tuple<unsigned, WPARAM, LPARAM>> got;
    const HWND hwnd =
        RegisterAppWindow([&](unsigned m, WPARAM w, LPARAM l) { got.emplace_back(m, w, l); });

    const std::int64_t before = BoxNodesAlive();
    auto movie = OpenMovieBoxes(path, true, true, hwnd);
    ASSERT_TRUE(movie);
    std::vector<Walked> nodes;
    Flatten(movie->root, nodes);
    EXPECT_EQ(BoxNodesAlive() - before, std::int64_t(nodes.size()));
    EXPECT_EQ(BoxNodeTotal(), BoxNodesAlive());
    EXPECT_TRUE(got.empty());

    FreeMovieBoxes(std::move(movie));
    UnregisterAppWindow(hwnd);
    EXPECT_EQ(BoxNodesAlive(), before);
    ASSERT_EQ(got.size(), nodes.size());
    const LPARAM total = LPARAM(float(before + std::int64_t(nodes.size())) * 1.1f);
    WPARAM last = 0;
    for (const auto& [msg, done, all] : got) {
        EXPECT_EQ(msg, WM_APP_PROGRESS);
        EXPECT_EQ(all, total);
        EXPECT_GT(done, last);
        last = done;
    }
    EXPECT_EQ(std::get<1>(got.back()), WPARAM(total - before));

    // Without the progress flag nothing is posted.
    got.clear();
    const HWND quiet =
        RegisterAppWindow([&](unsigned m, WPARAM w, LPARAM l) { got.emplace_back(m, w, l); });
    FreeMovieBoxes(OpenMovieBoxes(path, true, false, quiet));
    UnregisterAppWindow(quiet);
    EXPECT_TRUE(got.empty());
}

}  // namespace
}  // namespace orv
