// The two channels as the road's own source files reach them; nothing outside the road
// includes this.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>

#include "playback/PlayChannel.h"

namespace orv::road {

inline sPLAYCHANNEL& Channel(int channel) { return g_aPlayChannel[channel]; }
inline PlayerDriverTable& Slots(int channel) { return g_aPlayerDriverTable[channel]; }
inline bool ChannelInitialised(int channel) { return Channel(channel).initialised != 0; }

// A frame count as the panes and the slider keep it.
inline int FrameCountOf(std::int64_t frames) { return int(std::clamp<std::int64_t>(frames, 0, INT_MAX)); }

}  // namespace orv::road
