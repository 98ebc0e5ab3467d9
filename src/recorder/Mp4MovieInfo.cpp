#include "recorder/Mp4MovieInfo.h"

#include <cstring>

#include "platform/base/FileView.h"
#include "recorder/BigEndian.h"

namespace orv {

namespace {

// Payload offsets (big-endian fields).
constexpr std::size_t kHandlerType = 8;       // "hdlr": version/flags, pre-defined, type
constexpr std::size_t kSampleEntryCount = 4;  // "stsd"
constexpr std::size_t kFirstEntrySize = 8;    // "stsd": size of the first sample entry
constexpr std::size_t kVisualWidth = 40;      // "stsd": width, then height, of a visual entry
constexpr std::size_t kVisualEntryMinSize = kVisualWidth + 4 - kFirstEntrySize;
constexpr std::size_t kSttsEntryCount = 4;
constexpr std::size_t kSttsEntries = 8;       // 8-byte entries: sample count, sample delta
constexpr std::size_t kMvhdV0TimeScale = 12;  // then a 32-bit duration
constexpr std::size_t kMvhdV1TimeScale = 20;  // then a 64-bit duration

const sMP4BOX* FindChild(const sMP4BOX* node, const char* type) {
    if (!node) return nullptr;
    for (const sMP4BOX& child : node->children)
        if (child.IsType(type)) return &child;
    return nullptr;
}

// The held payload of a node when it has at least `size` bytes.
const std::uint8_t* Payload(const sMP4BOX* node, std::size_t size) {
    if (!node || !node->payload || node->payload->size() < size) return nullptr;
    return node->payload->data();
}

// The sample table ("stbl") of the first track whose media handler is "vide".
const sMP4BOX* VideoSampleTable(const sMP4MOVIE& movie) {
    const sMP4BOX* moov = FindChild(&movie.root, "moov");
    if (!moov) return nullptr;
    for (const sMP4BOX& trak : moov->children) {
        if (!trak.IsType("trak")) continue;
        const sMP4BOX* mdia = FindChild(&trak, "mdia");
        const std::uint8_t* hdlr = Payload(FindChild(mdia, "hdlr"), kHandlerType + 4);
        if (hdlr && std::memcmp(hdlr + kHandlerType, "vide", 4) == 0)
            return FindChild(FindChild(mdia, "minf"), "stbl");
    }
    return nullptr;
}

}  // namespace

bool IsMp4File(const std::string& path) {
    FileView file;
    std::uint8_t head[kMp4ProbeSize];
    return file.Open(path) && file.ReadAt(0, head, sizeof head) &&
           std::memcmp(head + 4, "ftyp", 4) == 0;
}

SIZE GetVideoSize(const sMP4MOVIE& movie) {
    const std::uint8_t* stsd =
        Payload(FindChild(VideoSampleTable(movie), "stsd"), kVisualWidth + 4);
    if (!stsd || ReadBe32(stsd + kSampleEntryCount) == 0 ||
        ReadBe32(stsd + kFirstEntrySize) < kVisualEntryMinSize)
        return SIZE{-1, -1};
    return SIZE{int(ReadBe16(stsd + kVisualWidth)), int(ReadBe16(stsd + kVisualWidth + 2))};
}

std::int64_t GetFrameCount(const sMP4MOVIE& movie) {
    const sMP4BOX* box = FindChild(VideoSampleTable(movie), "stts");
    const std::uint8_t* stts = Payload(box, kSttsEntries);
    if (!stts) return -1;
    const std::uint64_t count = ReadBe32(stts + kSttsEntryCount);
    if (count > (box->payload->size() - kSttsEntries) / 8) return -1;
    std::int64_t frames = 0;
    for (std::uint64_t i = 0; i < count; ++i)
        frames += ReadBe32(stts + kSttsEntries + 8 * i);
    return frames;
}

float GetFrameRate(const sMP4MOVIE& movie) {
    if (movie.lists[LIST_MVHD].empty()) return -1.0f;
    const sMP4BOX* mvhd = movie.lists[LIST_MVHD].front();
    const std::uint8_t* p = Payload(mvhd, kMvhdV0TimeScale + 8);
    if (!p) return -1.0f;
    std::uint32_t timeScale = 0;
    std::uint64_t duration = 0;
    if (p[0] == 1) {  // version 1: 64-bit times
        p = Payload(mvhd, kMvhdV1TimeScale + 12);
        if (!p) return -1.0f;
        timeScale = ReadBe32(p + kMvhdV1TimeScale);
        duration = ReadBe64(p + kMvhdV1TimeScale + 4);
    } else {
        timeScale = ReadBe32(p + kMvhdV0TimeScale);
        duration = ReadBe32(p + kMvhdV0TimeScale + 4);
    }
    const std::int64_t frames = GetFrameCount(movie);
    if (frames < 0 || duration == 0 || timeScale == 0) return -1.0f;
    return float(double(frames) * timeScale / double(duration));
}

}  // namespace orv
