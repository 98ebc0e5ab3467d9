// The joiner's table merges on arbitrary bytes: a movie joined with itself must either be
// refused with a reason or give a tree that reads back with every sample counted twice and
// every chunk inside its media data; the table functions on raw payloads must stay inside them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "recorder/BigEndian.h"
#include "recorder/Mp4MovieInfo.h"
#include "recorder/MovieJoin.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

int MemoryFile(const char* name) { return memfd_create(name, MFD_CLOEXEC); }

std::string PathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void RawTables(std::span<const std::uint8_t> data) {
    const std::size_t half = data.size() / 2;
    const auto first = data.first(half), next = data.subspan(half);
    std::vector<std::uint8_t> out;
    for (const orv::TableLayout layout :
         {orv::TableLayout{8, 4, 4}, orv::TableLayout{8, 4, 8}, orv::TableLayout{8, 4, 12}, orv::TableLayout{16, 12, 8}}) {
        if (orv::JoinBoxPayload(first, next, layout, 7, &out)) Require(out.size() >= layout.headerLength);
    }
    if (orv::JoinSampleSizes(first, next, 1 << 16, &out)) Require(out.size() >= 12);
    if (orv::AddTableValue(first, next, 16, 24, &out)) Require(out.size() == first.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RawTables({data, size});

    static const int in = MemoryFile("fuzz_join_in");
    static const int out = MemoryFile("fuzz_join_out");
    if (in < 0 || out < 0 || ftruncate(in, 0) != 0 || pwrite(in, data, size, 0) != ssize_t(size)) return 0;
    auto first = orv::OpenMovieBoxes(PathOf(in), true, false, 0);
    auto next = orv::OpenMovieBoxes(PathOf(in), true, false, 0);
    if (!first || !next) return 0;
    const std::int64_t frames = orv::GetFrameCount(*first);
    std::string error;
    if (!orv::JoinMovieBoxes(*first, *next, &error)) {
        Require(!error.empty());
        return 0;
    }
    orv::sMOVIEJOIN join;
    if (ftruncate(out, 0) != 0 || lseek(out, 0, SEEK_SET) != 0) return 0;
    if (!orv::WriteBoxNode(first->root, out, join)) return 0;
    auto joined = orv::OpenMovieBoxes(PathOf(out), true, false, 0);
    Require(joined != nullptr);
    if (frames > 0) Require(orv::GetFrameCount(*joined) == 2 * frames);
    // Every chunk of a sample table still lies in the media data, wherever the writing moved it.
    Require(joined->lists[orv::LIST_MDAT].size() == 1);
    const orv::sMP4BOX& mdat = *joined->lists[orv::LIST_MDAT][0];
    std::vector<const orv::sMP4BOX*> tables{&joined->root};
    for (const char* type : {"moov", "trak", "mdia", "minf", "stbl"}) {
        std::vector<const orv::sMP4BOX*> below;
        for (const orv::sMP4BOX* box : tables)
            for (const orv::sMP4BOX& child : box->children)
                if (child.IsType(type)) below.push_back(&child);
        tables = std::move(below);
    }
    for (const orv::sMP4BOX* stbl : tables) {
        for (const orv::sMP4BOX& stco : stbl->children) {
            std::span<const std::uint8_t> offsets;
            if (!stco.IsType("stco") || !stco.payload ||
                !orv::TableEntries(*stco.payload, orv::TableLayout{8, 4, 4}, &offsets))
                continue;
            for (std::size_t i = 0; i < offsets.size(); i += 4) {
                const std::uint64_t at = orv::ReadBe32(offsets.data() + i);
                Require(at >= mdat.payloadOffset && at <= mdat.payloadOffset + mdat.payloadSize);
            }
        }
    }
    return 0;
}
