// Play, pause, stop, the frame on screen, seeking, the frame count, the speed steps and
// the volume of a channel's open movie.
//
// Positions are frame numbers. The player counts time in 100-ns units; a frame's time is
// frame x interval (ms) x 10000, both ways in double precision and rounded to the nearest
// unit or frame, so that a frame sought is the frame read back.
#pragma once

#include <cstdint>

#include "platform/media/MediaFoundation.h"
#include "playback/PlayChannel.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

LONGLONG MediaTimeOfFrame(std::int64_t frame, float frameIntervalMs);
// 0 when the interval is not above 0.
std::int64_t FrameOfMediaTime(LONGLONG time, float frameIntervalMs);

// The rate a speed step plays at, and the step the channel is at afterwards.
struct sSPEEDCHOICE {
    float rate = 1.0f;
    int step = 1;
};
// Steps 4 and 2 are fast, 1 normal; -2 and -4 slow (backwards when the movie can play
// backwards); -1 toggles between normal speed and half speed on a movie that cannot. Any
// other step plays at normal speed and is kept as given.
sSPEEDCHOICE SpeedForStep(int step, int currentStep, bool canPlayBackwards);
// Rates above this let the video drop frames it cannot show in time.
constexpr float kThinningAboveRate = 2.0f;

// The transport calls give 0 at once while the movie is not ready (the ready check).
// Without an open movie they do nothing and give 1.

// 0 when the player refused to start. With a gate the clock starts together with the
// gate's other channels (StartGate.h).
int PlayMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::shared_ptr<StartGate>& gate = nullptr);
// Pause and stop both pause the session where it is. 0 when the session refused.
int PauseMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer);
int StopMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer);
// The frame whose picture is on screen, as the presenter reports it, stored in the
// current-frame field. Until the last seek's picture is there, the frame sought: a picture of
// an earlier seek never counts for it. Before any picture, the frame of the presentation
// clock: 0 without a clock, -1 when the clock cannot be read or reads before the start. The
// clock of a session that has just been sought may still read 0: it is read again, 10 ms
// apart, up to 10 times in all.
std::int32_t GetCurrentFrame(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer);
// The presentation time (100 ns) of the picture the channel's presenter has on screen;
// false before its first picture, and after a seek until that seek's picture (or one of a
// later seek) is there. *pendingSeek (when given): the time of the player's last seek while
// its picture is still to come, else -1.
bool ShownSampleTime(const sRENDERERBLOCK& renderer, LONGLONG* time, LONGLONG* pendingSeek = nullptr);
constexpr int kClockReads = 10;
constexpr int kClockReadPauseMs = 10;
// Shows the frame, paused: below 0 goes to 0, beyond the end to the last frame. The play
// state does not change; a playing channel must be played again. 1; 0 when the file was cut
// short before the frame (the channel stays as it was).
int SeekToFrame(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, std::int64_t frame);
// The movie's duration in frames (the sample table's frames where the movie header's
// duration belies the table); 0 without a movie.
std::int64_t GetFrameCount(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer);
// The native picture size. 1, or 0 before the movie is ready.
int GetVideoSize(const sRENDERERBLOCK& renderer, int* width, int* height);
// Stores the step the table gives and plays at its rate; the sound is on only at step 1.
// With a moment, the clock takes the rate as of the moment it shares with the other
// channels (StartGate.h). 1.
int SetPlaybackSpeed(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, int step,
                     const std::shared_ptr<SharedMoment>& moment = nullptr);
// 0..65535; the player plays it at step 1 and silently at other steps. Without a player
// nothing changes. 1.
int SetVolume(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, int volume);

}  // namespace orv
