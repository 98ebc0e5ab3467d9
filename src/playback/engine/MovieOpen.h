// How a channel takes a movie in and lets it go: the quick MP4 test, the open with its
// pre-scan for the duration and frame interval and its rule for movies too short to play,
// the renderer's set-up, the close, and the channel's recorder data.
//
// The renderer is always the media layer's player (CPlayer); the movie can never play
// backwards.
#pragma once

#include <string>

#include "playback/PlayChannel.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

// A movie of at most this many seconds is too short to play, unless it runs at 15 frames
// per second.
constexpr float kShortestMovieS = 2.0f;
constexpr float kAlwaysPlayedFps = 15.0f;

// 1 when the file begins like an MP4 file, under the slot lock.
int CheckMovieFile(sPLAYCHANNEL& channel, const std::string& path);

// 0 failed, 1 opened, 2 too short to play (nothing opened). A failure leaves nothing open.
// Channel 1 must be initialised and report frames (slot 22); it is asked without this
// channel's slot lock held, as channel 1's lock comes first.
int OpenMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer, const std::string& path);

// Pauses and closes the session of an open movie and empties the renderer block. 1.
int CloseMovie(sPLAYCHANNEL& channel, sRENDERERBLOCK& renderer);

// Fills the staging scanner with the movie's recorder data and builds its frame table for
// channel 1's frames. 1 whenever the movie may play: a movie without a data file, or with
// one whose records cannot be mapped to its frames, plays with empty data.
int LoadRecorderData(sPLAYCHANNEL& channel, const std::string& moviePath);

// Empties the active and the staging scanner. 1.
int ResetRecorderData(sPLAYCHANNEL& channel);

// Reads the duration ("mvhd") and the frame interval ("stts" of the video track) into the
// channel; without them the frame rate of the video stream stands in (DetectFrameRate),
// and the too-short rule is then not applied. 0 without a frame interval, 1, or 2 too short.
int PrescanMovie(sPLAYCHANNEL& channel, const std::string& path);

// The frame interval from the video stream's average frame rate, else its real one. 1 when
// a rate was found.
int DetectFrameRate(sPLAYCHANNEL& channel, const std::string& path);

// A new player for the window and a black overlay bitmap; a block still holding a movie is
// emptied first. 1 ok, 0 failed.
int CreateRenderer(sRENDERERBLOCK& renderer, HWND window);
// Opens the movie in the player: session, source, topology. 1 ok, 0 failed.
int OpenRendererFile(sRENDERERBLOCK& renderer, const std::string& path);
// Normal rate without thinning, when the rate control is there already. 1.
int PrepareRenderer(sRENDERERBLOCK& renderer);
// Closes the player's session, lets go of the player and the overlay bitmap.
void DestroyRenderer(sRENDERERBLOCK& renderer);

}  // namespace orv
