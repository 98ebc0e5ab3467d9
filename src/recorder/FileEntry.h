// One recording or one folder of a source, as the file browser, the main window and the
// map bridge hold it in their lists. Plain data, copied by value.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/WinTypes.h"

namespace orv {

struct sFILEENTRY {
    // Directory-listing attribute bits of `attributes` (FAT values).
    static constexpr std::uint32_t kAttrHidden = 0x02;
    static constexpr std::uint32_t kAttrDirectory = 0x10;
    // The three sizes of a folder entry.
    static constexpr std::uint64_t kNoSize = ~std::uint64_t(0);

    std::string path;              // full path, UTF-8
    std::uint32_t attributes = 0;
    std::int32_t serial = 0;       // running number of a movie entry; -1 for a folder
    std::int32_t kindLetter = 0;   // first letter of a recorder movie name, else 0
    std::int32_t reserved = 0;
    std::int32_t sortKey2 = 0;
    float sortKey3 = 0.0f;
    SYSTEMTIME startTime{};
    SYSTEMTIME endTime{};
    std::uint64_t movieSize = 0;      // bytes
    std::uint64_t companionSize = 0;  // bytes of the rear movie, 0 when it is missing
    std::uint64_t dataSize = 0;       // bytes of the data file, 0 when it is missing
};

}  // namespace orv
