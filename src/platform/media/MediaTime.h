// Conversions between FFmpeg time stamps and the layer's 100-ns units.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace orv {

inline constexpr AVRational kHundredNs{1, 10000000};

// From AV_TIME_BASE units (microseconds).
inline std::int64_t FromAvTime(std::int64_t t) { return av_rescale_q(t, AV_TIME_BASE_Q, kHundredNs); }
inline std::int64_t ToAvTime(std::int64_t t) { return av_rescale_q(t, kHundredNs, AV_TIME_BASE_Q); }
inline std::int64_t FromStreamTime(std::int64_t t, AVRational timeBase) {
    return av_rescale_q(t, timeBase, kHundredNs);
}

}  // namespace orv
