// The recorder data block decoder: a whole block from its tag, then the frame table; and
// the window-by-window reader of the same block, which must walk the same records, each as
// it is stored, never more than the limit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "recorder/MovieScanner.h"
#include "recorder/RecorderRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the file name (driving or time-lapse) and the frame count.
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> block(data + 1, size - 1);

    orv::sMOVIESCANNER scanner;
    scanner.path = (control & 1) ? "T___-220101-120000-000001D.ADA" : "A___-220101-120000-000001D.ADA";
    orv::ParseRecorderBlock(scanner, block, scanner.gps, scanner.sensor, scanner.header, scanner.obd);
    scanner.frameInterval = (control & 2) ? 1000.0f / 15.0f : 33.366f;
    scanner.SetFrameCountSource([control] { return std::int64_t(control >> 2) * 7; });
    if (scanner.BuildFrameTable()) {
        for (std::int64_t f = -1; f <= std::int64_t(scanner.frameTable.size()); ++f) {
            if (const orv::sSENSORRECORD* r = scanner.FrameRecord(f)) {
                (void)r->gps->sensor;
                (void)r->obd->values[0];
            }
        }
    }

    std::vector<orv::sGPSRECORD> track;
    orv::OnRecordBlock(scanner, block, track);

    // Windows from less than a record up, chosen by the control byte; a small limit, so that
    // the most records are reached in short inputs, also inside a run of filler.
    const orv::BlockSource memory = orv::InMemoryBlock(block);
    const orv::BlockSource windowed{memory.size, std::size_t(control) * 3, memory.view, block.size()};
    orv::RecordLimits limits;
    if (control & 4) limits.maxRecords = 1 + (control >> 3);
    limits.followFiller = (control & 0x40) != 0;
    std::vector<orv::sGPSRECORD> whole, inWindows;
    orv::sMOVIESCANNER other;
    other.path = scanner.path;
    bool asStored = true;
    const orv::RecordWalk a = orv::WalkRawRecords(
        block,
        [&](std::int32_t k, orv::RawRecord raw) {
            const std::size_t at = orv::kBlockRecordsOffset + std::size_t(k) * orv::sRAWRECORD::kSize;
            asStored = asStored && at + raw.size() <= block.size() &&
                       std::memcmp(raw.data(), block.data() + at, raw.size()) == 0;
            orv::AppendGpsRecord(other, raw, whole);
        },
        limits);
    const orv::RecordWalk b = orv::WalkBlockRecords(
        windowed, nullptr, [&](std::int32_t, orv::RawRecord raw) { orv::AppendGpsRecord(other, raw, inWindows); },
        limits);
    if (a.end != b.end || a.records != b.records || a.endOffset != b.endOffset || whole.size() != inWindows.size())
        __builtin_trap();
    if (!asStored || a.records > limits.maxRecords || a.endOffset > block.size()) __builtin_trap();
    // A walk that ends unended saw nothing behind its records but filler and the part of one
    // record: the records were all the block held.
    if (a.end == orv::RecordWalkEnd::kUnended) {
        for (std::uint64_t at = a.endOffset; at + orv::sRAWRECORD::kSize <= block.size(); at += orv::sRAWRECORD::kSize)
            if (!orv::FillerByte(block.subspan(at).first<orv::sRAWRECORD::kSize>())) __builtin_trap();
    }
    if (b.rest.size() > block.size() - b.endOffset ||
        (!b.rest.empty() && std::memcmp(b.rest.data(), block.data() + b.endOffset, b.rest.size()) != 0))
        __builtin_trap();
    // Read in windows, a header chain of any length gives the header of the whole block.
    orv::ParseRecorderBlock(other, windowed, other.gps, other.sensor, other.header, other.obd);
    if (!(other.header == scanner.header)) __builtin_trap();
    return 0;
}
