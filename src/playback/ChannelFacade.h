// The two channels driven as one player.
//
// Each function calls one table slot on every initialised channel, channel 1 first, gives
// each channel what belongs to it (the front movie to channel 1, its rear companion to
// channel 2; a frame number scaled to channel 2's frame rate) and folds the two results
// into one. An uninitialised channel is skipped and counts as 0. The functions run on the
// UI thread and, but for OpenChannels, take no lock themselves: each slot locks its own channel.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

// A video surface's view: eight 32-bit words, of which SetView gets words 2 to 5 and 7.
struct sVIEWRECORD {
    std::int32_t clickX = 0;  // last click on the surface, client coordinates
    std::int32_t clickY = 0;
    std::int32_t zoomCentreX = 0;
    std::int32_t zoomCentreY = 0;
    std::int32_t viewOffsetX = 0;
    std::int32_t viewOffsetY = 0;
    std::int32_t reserved = 0;
    float zoomFactor = 1.0f;
};
static_assert(sizeof(sVIEWRECORD) == 32);

// 1 when a channel takes the file (CheckMovieFile with the same path on both).
int CheckChannelsFile(const std::string& path);

// Opens the movie on channel 1 and its companion on channel 2, both at the same time (channel
// 2 on a thread of its own, told channel 1's frame count once channel 1's open is over), and
// stores channel 2's result in its rear-opened flag (0 while channel 2 is uninitialised).
// The results are 0 failed, 1 opened, 2 too short; the answer is their bitwise OR: 0 nothing
// opened, 2 too short (with a failure or another too short), 1 or 3 something opened.
int OpenChannels(const std::string& path);

// Opens the companion of `path` on channel 2 again, alone, while channel 1 holds the movie
// (a rear that was closed since), and stores the result in its rear-opened flag: 1 opened,
// 0 otherwise (nothing asked while channel 2 is uninitialised or holds a movie).
int ReopenRearChannel(const std::string& path);

// CloseMovie and ResetRecorderData; each clears the data-loaded flag of every channel it
// called. 1 when a channel gave non-zero.
int CloseChannels();
int ResetChannels();

// LoadRecorderData with the movie on channel 1 and its companion on channel 2; sets the
// data-loaded flag of each channel that succeeded. 1 when one did.
int LoadChannelsData(const std::string& moviePath);

// Channels that were playing play on; the others start together: their clocks start from
// the same moment once each has its first picture at its position.
int PlayChannels();
// Pauses every channel; when channel 1 was playing, the others are then brought to the frame
// channel 1 shows (AlignPausedChannels).
int PauseChannels();
// Every other channel that stands on another frame than channel 1's picture is moved to
// it (scaled as for SeekChannelsToFrame), and its picture waited for.
void AlignPausedChannels();

// A seek while playing: pause, seek and play again, the clocks of both channels started
// together once both show their frame. 1 when a channel took the seek or the play.
int SeekChannelsWhilePlaying(std::int32_t frame);

// Seek both channels to the moment of channel 1's `frame`: channel 2 gets its frame on
// screen at that moment, the frame scaled by the ratio of the two channels' frame
// intervals and truncated (a hair's slack lets 299.99999 count as 300); the same number
// when an interval is not above 0.
int SeekChannelsToFrame(std::int32_t frame);
int LocateChannelsFrame(std::int32_t frame);

// Waits until every channel has carried out the pauses and seeks asked of it, each seek's
// picture on screen; all within one call's budget (PlayerWaits.h), a channel whose player
// does not answer left behind.
void SettleChannels();

// The same speed step on both channels: their clocks take the new rate as of one moment. It
// does not wait for the players, so that the picture goes on while they change.
int SetChannelsSpeed(int step);

// Whether an initialised channel has a movie open.
bool AnyChannelOpen();

int RefreshChannels();

// Each channel its own view record.
int SetChannelsView(const sVIEWRECORD (&views)[2], int redraw);

// The keep-aspect flag: channel 1 takes `keep`; channel 2 always keeps its picture's
// aspect, since its surface has the shape of the place it shares with the map, not of any
// camera's picture (stretched into it, the rear picture would be squeezed).
int SetChannelsKeepAspect(int keep);

// The speed step after channel 1's current one for the faster or the slower command:
// 0 while channel 1 is uninitialised, 1 while it is not playing.
int GetNextSpeedStep(bool faster);

}  // namespace orv
