// The player of one playback channel: it owns a media session and the movie's source, builds
// the playback topology (a video branch whose presenter comes from CMFActivate, and an audio
// branch when the movie has sound), follows the session's events on the session's event
// thread, and tells the channel's window by posted messages when the movie is ready
// (WM_APP_PLAYER_READY, wParam the open's tag, so that a window tells a late notice of an
// earlier open from the current one) and when it has ended (WM_APP_PLAYER_ENDED, wParam 0);
// lParam is 0.
//
// The channel operations call it from the UI thread. The services the event thread finds
// (clock, rate control, display control, mixer, stream volume) are replaced under the player's
// lock and handed out as counted references, so a caller keeps a service alive for as long as
// it uses it, even while the player closes.
//
// The session holds a reference to the player while it waits for the next event: call
// CloseSession before letting go of the player.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "platform/media/MediaFoundation.h"
#include "playback/engine/CMFActivate.h"

namespace orv {

enum PlayerState {
    PLAYER_CLOSED = 0,
    PLAYER_READY = 1,         // session created
    PLAYER_OPEN_PENDING = 2,  // topology set, waiting for the session
    PLAYER_STARTED = 3,
    PLAYER_PAUSED = 4,
    PLAYER_STOPPED = 5,
    PLAYER_CLOSING = 6,
};

class CPlayer final : public ComObject<IMFAsyncCallback> {
public:
    // How long the end of the presentation waits before it is posted.
    static constexpr int kEndedDelayMs = 200;

    // A player for the channel's owner window: the video is shown there and the messages are
    // posted there.
    static HRESULT CreateInstance(HWND window, CPlayer** player);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAsyncCallback>(this, iid, object);
    }
    HRESULT GetParameters(DWORD* flags, DWORD* queue) override;
    // One session event, on the session's event thread.
    HRESULT Invoke(IMFAsyncResult* result) override;

    // Closes what was open, creates a session and the movie's source and sets the topology;
    // the session answers on its event thread. A failure closes the new session again.
    HRESULT OpenFile(const std::string& path);
    // From PLAYER_PAUSED or PLAYER_STOPPED (else MF_E_INVALIDREQUEST): goes on from the
    // current position. With a gate, the clock starts together with the gate's other players
    // once each has its first picture (StartGate.h).
    HRESULT Play(const std::shared_ptr<StartGate>& gate = nullptr);
    // While started: pauses the session where it is (else S_FALSE, nothing done), and waits
    // until it has (WaitUntilSettled): the picture on screen is then the one it keeps.
    HRESULT Pause();
    // Moves the paused picture to the time (100 ns): start there and pause at once. The player
    // is paused afterwards whatever it was doing. MF_E_NOT_AVAILABLE, with nothing changed,
    // when the file was cut short before the time. It does not wait for the picture.
    HRESULT SeekTo(LONGLONG time);
    // The last seek asked since the open: its number (the MF_SAMPLE_SEEK its pictures carry;
    // 0 before any) and, when given, the time it went to.
    UINT64 LastSeek(LONGLONG* time = nullptr);
    // Waits until every pause and seek asked so far has been carried out, a seek's picture
    // shown, within the budget of the caller's call (PlayerWaits.h). False when the time ran
    // out. A player that has answered nothing asked of it for kPlayerWaitBudget is left
    // behind, and reported once (ReportError): it is not waited for again until it has
    // carried out everything asked so far.
    bool WaitUntilSettled();
    // False while the player is left behind.
    bool Answering();
    // The tag of the last open (OpenFile), unique in the process; 0 before the first.
    UINT64 OpenTag();
    // As the rate control's SetRate (MF_E_NOT_INITIALIZED before the topology is ready). With
    // a moment, the clock takes the rate as of the moment shared with other players
    // (StartGate.h).
    HRESULT SetRate(BOOL thin, float rate, const std::shared_ptr<SharedMoment>& moment = nullptr);
    // 0..65535 on every channel of the sound; E_POINTER for a movie without sound.
    HRESULT SetVolume(UINT32 volume);
    // Closes the session, shuts down source and session once it has reported its close, and
    // lets go of every service. The caller waits for the close within its call's budget
    // (PlayerWaits.h); a session that takes longer is shut down by a thread of its own (within
    // the bounded waits of the session's shut-down), the player left behind. Any state;
    // nothing open: S_OK.
    HRESULT CloseSession();

    PlayerState GetState();
    // The last volume set with success.
    UINT32 GetVolume();
    // The movie's length (100 ns) from its source.
    HRESULT GetDuration(UINT64* duration);

    // The services, each a counted reference or null (before the topology, after the close).
    ComPtr<IMFMediaSession> Session();
    ComPtr<IMFMediaSource> Source();
    ComPtr<IMFPresentationClock> Clock();
    ComPtr<IMFRateControl> RateControl();
    ComPtr<IMFRateSupport> RateSupport();
    ComPtr<IMFAudioStreamVolume> StreamVolume();
    ComPtr<IMFVideoDisplayControl> DisplayControl();  // null until the topology is ready
    ComPtr<IMFVideoMixerControl> MixerControl();
    ComPtr<IMFVideoMixerBitmap> MixerBitmap();
    ComPtr<CMFActivate> PresenterActivate();

private:
    explicit CPlayer(HWND window) : videoWindow_(window), eventWindow_(window) {}
    ~CPlayer() override;

    // The handlers of Invoke.
    void OnTopologySet(IMFMediaSession* session);
    void OnTopologyStatus(IMFMediaSession* session, IMFMediaEvent* event);
    void OnPresentationEnded();

    HRESULT CreateAndSetTopology();
    HRESULT CreatePlaybackTopology(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                                   IMFTopology** topology);
    HRESULT AddBranchToPartialTopology(IMFTopology* topology, IMFMediaSource* source,
                                       IMFPresentationDescriptor* descriptor, DWORD index, bool* isAudio);
    // S_FALSE and no activate for a stream the engine does not render.
    HRESULT CreateMediaSinkActivate(IMFStreamDescriptor* stream, IMFActivate** activate, bool* isAudio);
    void SetState(PlayerState state);
    // Waits under `lock` until `answered` holds, within the caller's call budget; a player left
    // behind is not waited for. Leaves the player behind when it has answered nothing for
    // kPlayerWaitBudget. False when `answered` does not hold.
    template <class Answered>
    bool AwaitAnswer(std::unique_lock<std::mutex>& lock, Answered answered);
    // Under mutex_: what was asked and not yet answered has waited since `since`.
    void AskedAt(std::chrono::steady_clock::time_point since);
    // A counted copy of a field, taken under the lock.
    template <class T>
    ComPtr<T> Locked(const ComPtr<T>& field) {
        std::lock_guard lock(mutex_);
        return field;
    }

    const HWND videoWindow_;
    const HWND eventWindow_;
    bool mfStarted_ = false;

    std::mutex mutex_;
    PlayerState state_ = PLAYER_CLOSED;
    UINT64 openTag_ = 0;
    // Pauses and seeks asked of the session, and their MESessionPaused answers.
    UINT64 pausesAsked_ = 0;
    UINT64 pausesDone_ = 0;
    UINT64 lastSeek_ = 0;
    LONGLONG lastSeekTime_ = 0;
    // Since when the session has answered nothing of what is outstanding (a pause, a seek, the
    // close); none while nothing is.
    std::optional<std::chrono::steady_clock::time_point> unansweredSince_;
    bool leftBehind_ = false;
    std::string path_;  // of the open movie, for the report
    std::condition_variable answerWake_;  // an answer came: a pause, a seek or the close
    UINT32 volume_ = 0;
    bool rebuiltWithoutAudio_ = false;
    ComPtr<CMFActivate> presenterActivate_;
    ComPtr<IMFMediaSession> session_;
    ComPtr<IMFMediaSource> source_;
    ComPtr<IMFPresentationClock> clock_;
    ComPtr<IMFRateControl> rateControl_;
    ComPtr<IMFRateSupport> rateSupport_;
    ComPtr<IMFAudioStreamVolume> streamVolume_;
    ComPtr<IMFVideoDisplayControl> displayControl_;
    ComPtr<IMFVideoMixerControl> mixerControl_;
    ComPtr<IMFVideoMixerBitmap> mixerBitmap_;

    // Set by the event thread at MESessionClosed, taken by CloseSession.
    bool closed_ = false;
};

}  // namespace orv
