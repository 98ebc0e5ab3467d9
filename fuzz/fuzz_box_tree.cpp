// The box tree reader and the movie readers on arbitrary files: each input must give a
// tree whose every box lies inside the file, or a failure with a reason.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "recorder/Mp4Box.h"
#include "recorder/Mp4MovieInfo.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckNode(const orv::sMP4BOX& node, std::uint64_t fileSize) {
    Require(node.payloadOffset <= fileSize && node.payloadSize <= fileSize - node.payloadOffset);
    Require(node.depth <= orv::kMaxBoxDepth);
    if (node.payload) Require(node.loaded && node.payload->size() == node.payloadSize);
    std::uint64_t next = node.payloadOffset;
    for (const orv::sMP4BOX& child : node.children) {
        Require(child.depth == node.depth + 1);
        Require(child.payloadOffset >= next + 8);
        Require(child.payloadOffset + child.payloadSize <= node.payloadOffset + node.payloadSize);
        next = child.payloadOffset + child.payloadSize;
        CheckNode(child, fileSize);
    }
    // A container's children fill its payload; a leaf keeps what it read before stopping.
    if (!node.loaded) Require(next == node.payloadOffset + node.payloadSize);
    (void)orv::ComputeBoxSize(node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("fuzz_box_tree", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;

    for (const bool load : {true, false}) {
        std::string error;
        auto movie = orv::OpenMovieBoxes(path, load, false, 0, &error);
        if (!movie) {
            Require(!error.empty());
            continue;
        }
        CheckNode(movie->root, size);
        for (const auto& list : movie->lists)
            for (const orv::sMP4BOX* box : list)
                Require(box->depth > 0);
        (void)orv::GetVideoSize(*movie);
        (void)orv::GetFrameRate(*movie);
        orv::FreeMovieBoxes(std::move(movie));
    }
    (void)orv::IsMp4File(path);
    return 0;
}
