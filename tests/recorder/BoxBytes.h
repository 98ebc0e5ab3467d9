// Box bytes for the box reader's tests, written from the box layout: a 32-bit big-endian
// size that counts the header, the type, the payload; size 1: a 64-bit size follows.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace orv::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Be16(std::uint32_t v) { return {std::uint8_t(v >> 8), std::uint8_t(v)}; }
inline Bytes Be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
inline Bytes Be64(std::uint64_t v) {
    Bytes hi = Be32(std::uint32_t(v >> 32)), lo = Be32(std::uint32_t(v));
    hi.insert(hi.end(), lo.begin(), lo.end());
    return hi;
}
inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A header with the given size field, whatever the payload's length.
inline Bytes RawBox(std::uint32_t sizeField, const char type[4], const Bytes& payload) {
    return Cat({Be32(sizeField), Bytes(type, type + 4), payload});
}
inline Bytes Box(const char type[4], const Bytes& payload) {
    return RawBox(std::uint32_t(payload.size() + 8), type, payload);
}
inline Bytes Box64(const char type[4], const Bytes& payload) {
    return RawBox(1, type, Cat({Be64(payload.size() + 16), payload}));
}

}  // namespace orv::test
