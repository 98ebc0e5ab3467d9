// The two playback channels and their table of player operations.
//
// Channel 1 (index 0) plays the front camera's movie, channel 2 (index 1) its rear
// companion. A channel is a process-wide record; every caller reaches its operations
// through the channel's PlayerDriverTable with the record as first argument, so the rest
// of the program never names the playback engine. The slots whose work is the engine's
// hand it to the channel's ChannelEngine (ChannelEngine.h); the play state is kept here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "recorder/MovieScanner.h"
#include "recorder/RecorderRecords.h"

namespace orv {

class ChannelEngine;

enum PlayState : std::int32_t {
    PLAY_CLOSED = 0,   // after InitChannel, CloseMovie, TermChannel
    PLAY_STOPPED = 1,  // after an OpenMovie that gave 1, and after StopMovie
    PLAY_PLAYING = 2,
    PLAY_PAUSED = 3,
};

constexpr int kChannelCount = 2;

// The three recorder-data scanners of a channel.
enum ChannelScanner : int {
    kActiveScanner = 0,    // the data of the movie on screen; the views read it
    kStagingScanner = 1,   // filled by the data load, moved into the active one by the main window
    kPrefetchScanner = 2,  // the data file read ahead for the next movie
};

// The overlay text's font as plain values; the renderer makes the real font from them.
struct sOVERLAYFONT {
    static constexpr int kPoints = 42;
    static constexpr int kWeight = 700;             // bold
    static constexpr std::size_t kMaxFaceChars = 31;  // a face name holds 32 with its terminator

    std::string face;
    int height = 0;  // pixels, negative: the height of the characters without leading
    int weight = kWeight;
};

// Requests to read ahead into scanner [2] (OpenDataFile). The read holds the data lock
// for its whole run, so what it reads is kept here under a lock of its own, which is
// taken alone: a loader asks it without waiting for the read.
struct sPREFETCHREQUESTS {
    std::mutex lock;
    std::uint64_t newest = 0;  // ticket of the newest request; an older one not yet reading gives up
    std::int32_t running = 0;  // OpenDataFile calls under way
    std::string moviePath;     // the movie of the newest request
};

struct sPLAYCHANNEL {
    std::uint16_t volume = 0;   // last volume asked for, 0 silent to 65535 full
    HWND owner = 0;             // the video surface; 0 when the channel has none
    float frameInterval = 0.0f;  // ms per video frame of the open movie
    // The frames of the open movie's sample table where its header's duration belies the
    // table (the pre-scan's TrackTiming); 0 where the header stands.
    std::int64_t tableFrameCount = 0;
    std::int32_t flip = 0;
    std::int32_t trickMode = 0;
    std::int32_t canPlayBackwards = 0;
    std::int32_t decodeOption = 0;
    std::int32_t hardwareDecode = 0;
    std::int32_t speedStep = 0;  // 1 normal, 2 and 4 fast, -1, -2 and -4 slow or backwards
    std::int32_t keepAspect = 0;
    std::int32_t zoomCentreX = 0;  // client coordinates
    std::int32_t zoomCentreY = 0;
    float zoomFactor = 0.0f;       // 1.0: the whole picture
    RECT videoRect{};
    std::int32_t viewOffsetX = 0;  // window pixels
    std::int32_t viewOffsetY = 0;
    std::atomic<PlayState> playState{PLAY_CLOSED};
    std::int64_t currentFrame = 0;
    // Set by the main window once InitChannel gave 1; a channel without it is skipped.
    // Atomic because a prefetch thread checks it.
    std::atomic<std::int32_t> initialised{0};
    std::int32_t dataLoaded = 0;
    std::int32_t rearOpened = 0;  // channel 2: the last result of its OpenMovie
    std::optional<sOVERLAYFONT> overlayFont;  // none without an owner window

    // Lock order: the data lock before the slot lock; channel 1's slot lock before
    // channel 2's. The slot lock is re-entered by its owner (an operation calls another
    // of the same channel). Both live as long as the record.
    std::recursive_mutex slotLock;
    std::recursive_mutex dataLock;  // held while scanner [2] is read into
    sMOVIESCANNER scanners[3];
    sPREFETCHREQUESTS prefetch;

    // The GPS records of every file of the current list, in list order (channel 1 only;
    // the map reads it under the slot lock).
    std::unique_ptr<std::vector<sGPSRECORD>> listGpsTrack;

    // Does the movie work of the table; null means the null engine. Set before InitChannel.
    ChannelEngine* engine = nullptr;
};

// 34 operations, each taking the channel first, in slot order.
struct PlayerDriverTable {
    int (*InitChannel)(sPLAYCHANNEL&, HWND owner, const std::string& fontFace);  // 0
    int (*TermChannel)(sPLAYCHANNEL&);                                            // 1
    int (*CheckMovieFile)(sPLAYCHANNEL&, const std::string& path);               // 2
    int (*OpenMovie)(sPLAYCHANNEL&, const std::string& path);                    // 3: 0, 1 or 2 (too short)
    int (*CloseMovie)(sPLAYCHANNEL&);                                             // 4
    int (*LoadRecorderData)(sPLAYCHANNEL&, const std::string& moviePath);        // 5
    int (*ResetRecorderData)(sPLAYCHANNEL&);                                      // 6
    int (*PlayMovie)(sPLAYCHANNEL&);                                              // 7
    int (*SeekWhilePlaying)(sPLAYCHANNEL&, std::int64_t frame);                   // 8
    int (*PauseMovie)(sPLAYCHANNEL&);                                             // 9
    int (*StopMovie)(sPLAYCHANNEL&);                                              // 10
    std::int32_t (*GetCurrentFrame)(sPLAYCHANNEL&);                               // 11
    int (*SeekToFrame)(sPLAYCHANNEL&, std::int64_t frame);                        // 12
    int (*LocateFrame)(sPLAYCHANNEL&, std::int64_t frame);                        // 13
    void (*SetDecodeOption)(sPLAYCHANNEL&, int flag);                             // 14
    void (*Empty15)(sPLAYCHANNEL&);                                               // 15
    void (*SetHardwareDecode)(sPLAYCHANNEL&, int flag);                           // 16
    void (*Empty17)(sPLAYCHANNEL&);                                               // 17
    int (*SetPlaybackSpeed)(sPLAYCHANNEL&, int step);                             // 18
    int (*SetTrickMode)(sPLAYCHANNEL&, int mode);                                 // 19
    int (*SetKeepAspect)(sPLAYCHANNEL&, int keep);                                // 20
    std::int64_t (*GetFrameCount)(sPLAYCHANNEL&);                                 // 21
    std::int64_t (*GetFrameCount2)(sPLAYCHANNEL&);                                // 22: the same operation
    std::int64_t (*GetFirstFrame)(sPLAYCHANNEL&);                                 // 23
    float (*GetFrameInterval)(sPLAYCHANNEL&);                                     // 24
    int (*GetVideoSize)(sPLAYCHANNEL&, int* width, int* height);                  // 25
    int (*SetVolume)(sPLAYCHANNEL&, int volume);                                  // 26
    int (*ShowOverlayText)(sPLAYCHANNEL&, const std::string& text);               // 27
    int (*ClearOverlay)(sPLAYCHANNEL&);                                           // 28
    int (*SetVideoFlip)(sPLAYCHANNEL&, int flip);                                 // 29
    int (*SetView)(sPLAYCHANNEL&, int zoomCentreX, int zoomCentreY, int viewOffsetX,
                   int viewOffsetY, float zoomFactor, int redraw);                // 30
    int (*SaveSnapshot)(sPLAYCHANNEL&, const std::string& path);                  // 31
    int (*RefreshFrame)(sPLAYCHANNEL&);                                           // 32
    int (*RepaintVideo)(sPLAYCHANNEL&);                                           // 33
};

constexpr std::size_t kPlayerDriverSlots = 34;

// The operations both tables hold.
extern const PlayerDriverTable kPlayerDriverOperations;

// The two channels and their tables (both filled with kPlayerDriverOperations).
extern sPLAYCHANNEL g_aPlayChannel[kChannelCount];
extern PlayerDriverTable g_aPlayerDriverTable[kChannelCount];

// Sets the channel up: lets go of a movie it still holds, ends the channel (TermChannel),
// sets the owner window, speed step 1, keep aspect 1, play state PLAY_CLOSED and current
// frame 0, makes the overlay font for the owner's screen (none without an owner) and
// initialises the three scanners, whose frame count is channel 1's (slot 22). 1 when the
// channel is ready, 0 when a scanner could not be initialised.
int InitChannel(sPLAYCHANNEL& channel, HWND owner, const std::string& fontFace);

// Ends the channel: stops a running prefetch through scanner [2]'s cancel flag and waits
// for it, then under the data lock and the slot lock drops the list GPS track and the
// overlay font, sets PLAY_CLOSED and terminates the three scanners. Returns 1. It does not
// close the movie; callers close or stop first. Harmless on a record never initialised.
int TermChannel(sPLAYCHANNEL& channel);

}  // namespace orv
