// The playback engine behind a channel's table: the slots that open, render, move and
// grab a movie hand their work to the channel's engine.
//
// One engine object may serve one channel or both; it gets the channel record with every
// call. An engine takes the channel's slot lock where the operation needs it and may
// re-enter it. It does not write the play state: the table's slots keep it (a successful
// OpenMovie gives PLAY_STOPPED, PlayMovie, PauseMovie and StopMovie move it only when
// the engine has a player and accepted the call, CloseMovie gives PLAY_CLOSED), and they
// skip PlayMovie, PauseMovie and StopMovie while the channel already is in that state.
//
// Lock order for an engine: the data lock before the slot lock, so LoadRecorderData calls
// LoadChannelData (ChannelData.h) without holding the slot lock; and channel 1's slot
// lock before channel 2's, so channel 2 asks channel 1's frame count (the scanners'
// frame-count source) while it holds no slot lock of its own.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

struct sPLAYCHANNEL;

class ChannelEngine {
public:
    virtual ~ChannelEngine() = default;

    // 1 when the file begins like an MP4 file.
    virtual int CheckMovieFile(sPLAYCHANNEL& channel, const std::string& path) = 0;
    // 0 failed, 1 opened, 2 too short to play (nothing opened).
    virtual int OpenMovie(sPLAYCHANNEL& channel, const std::string& path) = 0;
    virtual int CloseMovie(sPLAYCHANNEL& channel) = 0;
    // 1 when the staging scanner now holds the movie's recorder data.
    virtual int LoadRecorderData(sPLAYCHANNEL& channel, const std::string& moviePath) = 0;
    virtual int ResetRecorderData(sPLAYCHANNEL& channel) = 0;

    // 1, or 0 while the player is not ready.
    virtual int PlayMovie(sPLAYCHANNEL& channel) = 0;
    virtual int SeekWhilePlaying(sPLAYCHANNEL& channel, std::int64_t frame) = 0;
    virtual int PauseMovie(sPLAYCHANNEL& channel) = 0;
    virtual int StopMovie(sPLAYCHANNEL& channel) = 0;
    // The frame on screen, -1 when the clock cannot be read.
    virtual std::int32_t GetCurrentFrame(sPLAYCHANNEL& channel) = 0;
    virtual int SeekToFrame(sPLAYCHANNEL& channel, std::int64_t frame) = 0;

    // Speed step -4..4: 1 normal, 2 and 4 fast, -1, -2 and -4 slow or backwards.
    virtual int SetPlaybackSpeed(sPLAYCHANNEL& channel, int step) = 0;
    virtual int SetKeepAspect(sPLAYCHANNEL& channel, int keep) = 0;
    virtual std::int64_t GetFrameCount(sPLAYCHANNEL& channel) = 0;
    // The movie's native picture size; 1 ok, 0 failed.
    virtual int GetVideoSize(sPLAYCHANNEL& channel, int* width, int* height) = 0;
    // 0 silent to 65535 full.
    virtual int SetVolume(sPLAYCHANNEL& channel, int volume) = 0;

    virtual int ShowOverlayText(sPLAYCHANNEL& channel, const std::string& text) = 0;
    virtual int ClearOverlay(sPLAYCHANNEL& channel) = 0;
    virtual int SetVideoFlip(sPLAYCHANNEL& channel, int flip) = 0;
    // 1 when the picture was drawn with the new view.
    virtual int SetView(sPLAYCHANNEL& channel, int zoomCentreX, int zoomCentreY, int viewOffsetX,
                        int viewOffsetY, float zoomFactor, int redraw) = 0;
    // JPEG of the picture on screen; 1 saved, 0 failed.
    virtual int SaveSnapshot(sPLAYCHANNEL& channel, const std::string& path) = 0;
    virtual int RefreshFrame(sPLAYCHANNEL& channel) = 0;
    virtual int RepaintVideo(sPLAYCHANNEL& channel) = 0;

    // Whether the channel has a player for its movie (the speed steps and the main window
    // tell the engines apart by it).
    virtual bool HasPlayer(const sPLAYCHANNEL& channel) const = 0;

    // The channels this engine plays between BeginJointStart and EndJointStart start their
    // clocks together, from the same moment, once each has its first picture at its position
    // (however long each decoder needs to get there, within a time limit). A speed set between
    // the two takes effect on every clock as of one moment, however late each channel gets to
    // it. An engine without clocks ignores them.
    virtual void BeginJointStart() {}
    virtual void EndJointStart() {}

    // Waits, within a time limit, until the channel's pauses and seeks asked so far have
    // been carried out, a seek's picture on screen. An engine whose calls take effect at
    // once returns at once.
    virtual void WaitUntilSettled(sPLAYCHANNEL&) {}

    // The tag the channel's player gives its notices of the current open, so that a late
    // notice of a movie closed since is told from this one's; 0 for an engine whose
    // notices carry none.
    virtual std::uint64_t OpenTagOf(const sPLAYCHANNEL&) const { return 0; }
};

// The engine of a channel that no engine was given: it answers as a channel without an
// open movie. CheckMovieFile looks at the file (IsMp4File under the slot lock);
// OpenMovie, LoadRecorderData, GetCurrentFrame, GetFrameCount, GetVideoSize,
// ShowOverlayText, SetVideoFlip, SetView, SaveSnapshot, RefreshFrame and RepaintVideo
// give 0; SetKeepAspect stores the flag and gives 1; every other operation gives 1 and
// changes nothing. It has no player.
ChannelEngine& NullChannelEngine();

// The channel's engine, or the null engine when it has none.
ChannelEngine& EngineOf(const sPLAYCHANNEL& channel);

}  // namespace orv
