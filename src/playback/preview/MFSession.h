// The hover-preview player: one media session for one movie file at a time, playing its
// video (silently) into a window, with loop, seek, rate, volume and balance. Session
// events are posted to the window as WM_USER_PREVIEW_EVENT and handed back to the player
// there (HandleEvent), so everything but the event hand-over runs on the UI thread.
//
// Every open starts a new generation; an event travels (as a payload of the message store,
// its ticket in lParam) with the generation it belongs to, and HandleEvent drops the events
// of an earlier one, so a slow event of a closed movie never acts on the next. One instance serves the whole run (g_pPreviewSession).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/media/MediaFoundation.h"

namespace orv {

class CMFSession final : public ComObject<IMFAsyncCallback> {
public:
    // The flags word.
    static constexpr std::uint32_t kOpen = 1u << 0;
    static constexpr std::uint32_t kPlaying = 1u << 1;
    static constexpr std::uint32_t kPaused = 1u << 2;
    static constexpr std::uint32_t kLoop = 1u << 3;
    static constexpr std::uint32_t kHasAudio = 1u << 8;
    static constexpr std::uint32_t kHasVideo = 1u << 9;

    // The reference count starts at 1 (the creator's).
    explicit CMFSession(HWND videoWindow);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAsyncCallback>(this, iid, object);
    }

    // Opens the movie's video stream (the preview is silent, so no audio branch is made).
    // A session still open is closed first, also after a failed open.
    HRESULT OpenFile(const std::string& path);
    // OpenFile for callers outside the media layer: true when the movie opened.
    bool OpenMovie(const std::string& path) { return SUCCEEDED(OpenFile(path)); }
    int Close();
    // Starts from the current position; nothing while paused. `loop` non-zero sets the
    // loop flag (an earlier loop flag stays).
    int Play(int loop);
    int Stop();
    int IsPlaying() const;
    int TogglePause();
    int SkipForwardMs(std::int64_t ms);
    int SkipBackwardMs(std::int64_t ms);
    int SeekToMs(std::int64_t ms);
    // 100-ns units from the clock's time; then as SeekTo.
    int SeekRelative(std::int64_t delta);
    // 100-ns units, clamped to 0..duration.
    int SeekTo(std::int64_t position);
    int SetRate(double rate);
    // 0..1000 (thousandths of full volume); needs an audio stream.
    int SetVolume(int value);
    // -1000 (left) .. 1000 (right); needs an audio stream. Values outside are clamped.
    int SetBalance(int value);
    std::uint64_t GetDurationMs() const { return m_duration / 10000; }
    std::uint64_t GetDuration() const { return m_duration; }
    int GetNativeVideoSize(int* width, int* height);
    int HasVideo() const { return (m_flags & kHasVideo) ? 1 : 0; }
    int HasAudio() const { return (m_flags & kHasAudio) ? 1 : 0; }
    // Destination rectangle from `point` (0, 0 when null) with `size` (the native size
    // when null).
    int SetVideoPosition(const POINT* point, const SIZE* size);
    int RepaintVideo();
    // The event whose ticket is `eventTicket` (the lParam of WM_USER_PREVIEW_EVENT); UI
    // thread. 0 for an event of an earlier generation or a ticket taken already.
    int HandleEvent(LPARAM eventTicket);

    std::uint32_t GetFlags() const { return m_flags; }
    float GetVolume() const { return m_volume; }
    float GetBalance() const { return m_balance; }
    HWND GetVideoWindow() const { return m_hwndVideo; }
    std::uint64_t GetGeneration() const;
    // Per-channel levels of `channels` audio channels for a volume and a balance.
    // A negative balance lowers the right (odd) channels, a positive one the left (even).
    static void ChannelLevels(float volume, float balance, UINT32 channels, float* levels);
    // A seek target inside 0..duration (100 ns).
    static std::int64_t ClampPosition(std::int64_t position, std::uint64_t duration);

    // IMFAsyncCallback (the session's event thread).
    HRESULT GetParameters(DWORD* flags, DWORD* queue) override;
    HRESULT Invoke(IMFAsyncResult* result) override;

private:
    ~CMFSession() override;

    struct PostedEvent {
        std::uint64_t generation;
        ComPtr<IMFMediaEvent> event;
    };

    HRESULT ApplyLevels();
    HRESULT BuildTopology(IMFPresentationDescriptor* descriptor, IMFTopology* topology);

    HWND m_hwndVideo = 0;
    std::uint32_t m_flags = 0;
    std::uint64_t m_duration = 0;  // 100 ns
    float m_volume = 1.0f;
    float m_balance = 0.0f;
    ComPtr<IMFMediaSession> m_pSession;
    ComPtr<IMFMediaSource> m_pSource;
    ComPtr<IMFPresentationClock> m_pClock;
    ComPtr<IMFVideoDisplayControl> m_pVideoDisplay;
    ComPtr<IMFAudioStreamVolume> m_pAudioVolume;

    // Shared with the event thread.
    mutable std::mutex m_lock;
    std::uint64_t m_generation = 0;
    IMFMediaSession* m_pEventSession = nullptr;  // the session whose events are current
};

// The one preview session, made by the file list with its popup; null when there is none.
extern CMFSession* g_pPreviewSession;

// Makes the preview session into `videoWindow` when there is none yet, and then holds it
// for the run of its owner: at the end (or Reset) the session is stopped, closed and
// released, and g_pPreviewSession cleared. A holder made while another session stood
// holds nothing and leaves that one alone.
class CPreviewSessionHolder {
public:
    explicit CPreviewSessionHolder(HWND videoWindow);
    ~CPreviewSessionHolder() { Reset(); }
    CPreviewSessionHolder(const CPreviewSessionHolder&) = delete;
    CPreviewSessionHolder& operator=(const CPreviewSessionHolder&) = delete;

    void Reset();
    bool OwnsSession() const { return m_pSession != nullptr; }

private:
    CMFSession* m_pSession = nullptr;  // the one reference this holder made
};

}  // namespace orv
