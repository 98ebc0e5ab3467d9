// The header parse of a recorder data block (chained entries) and the trailer number.
#include <cstddef>
#include <cstdint>
#include <span>

#include "recorder/RecorderDataBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    orv::RecorderHeader header;
    orv::ParseHeaderEntries(block, "A_T_-220101-120000-000001D.ADA", &header);
    orv::ParseRecorderNumber(block);
    // Longer than any record field, so that numbers of more than 15 digits are read too.
    orv::FieldNumber(block.first(size < 24 ? size : 24));
    const orv::RecordWalk walk = orv::WalkRawRecords(block, [](std::int32_t, orv::RawRecord) {});
    if (walk.endOffset + orv::kBlockTagSize <= size) {
        orv::ParseRecorderNumber(block.subspan(walk.endOffset + orv::kBlockTagSize));
    }
    return 0;
}
