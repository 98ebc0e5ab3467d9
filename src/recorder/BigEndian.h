// Big-endian numbers of movie boxes and recorder blocks, read from bytes the caller has
// checked to be there.
#pragma once

#include <cstdint>

namespace orv {

inline std::uint32_t ReadBe16(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | p[1]; }

inline std::uint32_t ReadBe32(const std::uint8_t* p) { return ReadBe16(p) << 16 | ReadBe16(p + 2); }

inline std::uint64_t ReadBe64(const std::uint8_t* p) {
    return std::uint64_t(ReadBe32(p)) << 32 | ReadBe32(p + 4);
}

}  // namespace orv
