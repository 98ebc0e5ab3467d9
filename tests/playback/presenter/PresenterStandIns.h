// The renderer's side of the presenter contract, for driving the presenter by hand: a mixer
// that renders pictures of known pixels, a clock the test sets, an event sink and a window
// sink that record what they get, and the service lookup that hands them out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/media/MediaFoundation.h"
#include "platform/media/VideoFrameSink.h"

namespace orv::presentertest {

using namespace std::chrono_literals;

// Orders what the event log and the frame log record against each other.
int NextSequence();

// The colour of a picture's pixel: 0xFF, the picture's number, y and x, each in 8 bits
// (bytes B = x, G = y, R = number, A = 0xFF in memory).
constexpr std::uint32_t PixelOf(int number, int x, int y) {
    return 0xFF000000u | (std::uint32_t(number & 0xFF) << 16) | (std::uint32_t(y & 0xFF) << 8) | std::uint32_t(x & 0xFF);
}

class FakeMixer final : public ComObject<IMFTransform, IMFVideoDeviceID> {
public:
    struct Options {
        UINT32 width = 64;
        UINT32 height = 48;
        UINT32 fpsNum = 30;  // 0: the output type names no frame rate
        UINT32 fpsDen = 1;
        IID device = IID_IDirect3DDevice9;
    };
    struct Repaint {
        LONGLONG time;
        LONGLONG duration;
    };

    explicit FakeMixer(const Options& options);

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFTransform, IMFVideoDeviceID>(this, iid, object);
    }
    HRESULT GetAttributes(IMFAttributes** attributes) override { return attributes_.CopyTo(attributes); }
    HRESULT GetInputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
    HRESULT GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    HRESULT SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    HRESULT GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
    HRESULT ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override;
    HRESULT GetDeviceID(IID* id) override {
        *id = options_.device;
        return S_OK;
    }

    // A frame for the presenter to pull (times in 100 ns), of the seek (MF_SAMPLE_SEEK) given.
    void AddFrame(int number, LONGLONG time, LONGLONG duration = 333333, UINT64 seek = 0);
    // Drops the frames waiting, as a flush of the real mixer does.
    void DropFrames();
    std::size_t FramesWaiting();
    // While held, a pull waits on entering ProcessOutput, before it takes a frame.
    void HoldPulls(bool hold);
    // Waits until a pull waits on the hold.
    bool WaitPullHeld(std::chrono::milliseconds timeout = 5s);
    std::vector<Repaint> Repaints();
    bool HasOutputType();
    MFVideoNormalizedRect ZoomRect();

private:
    HRESULT Render(IMFSample* sample, int number);

    const Options options_;
    ComPtr<IMFAttributes> attributes_;
    std::mutex mutex_;
    ComPtr<IMFMediaType> outputType_;
    struct Frame {
        int number;
        LONGLONG time;
        LONGLONG duration;
        UINT64 seek;
    };
    std::deque<Frame> frames_;
    std::condition_variable holdWake_;
    bool hold_ = false;
    int held_ = 0;  // pulls waiting on the hold
    int last_ = -1;
    std::vector<Repaint> repaints_;
};

// A clock that stands at a time, or runs from it at real speed.
class FakeClock final : public ComObject<IMFClock> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFClock>(this, iid, object);
    }
    HRESULT GetCorrelatedTime(DWORD, LONGLONG* clockTime, MFTIME* systemTime) override;
    HRESULT GetState(DWORD, MFCLOCK_STATE* state) override;
    void Set(LONGLONG time, bool running);

private:
    std::mutex mutex_;
    LONGLONG base_ = 0;
    MFTIME since_ = 0;
    bool running_ = false;
};

class EventLog final : public ComObject<IMediaEventSink> {
public:
    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
        LONGLONG latency;  // EC_PROCESSING_LATENCY: the value param1 pointed at
        int sequence;
    };
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMediaEventSink>(this, iid, object);
    }
    HRESULT Notify(long code, LONG_PTR param1, LONG_PTR param2) override;

    std::vector<Event> Events(long code);
    // Waits for the count-th event of the code (1 = the first).
    bool WaitFor(long code, std::size_t count = 1, std::chrono::milliseconds timeout = 5s);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Event> events_;
};

// What the presenter hands to its video window.
class FrameLog {
public:
    FrameLog();
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;
    HWND Window() const { return window_; }

    struct Shown {
        int number;  // from the picture's pixel (0, 0)
        QImage picture;
        RECT destination;
        int sequence;
    };
    std::vector<Shown> Frames();
    std::vector<int> Numbers();
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout = 5s);
    // The client size the window tells the presenter; 0 x 0 (at first): none told.
    void SetClientSize(SIZE size);

private:
    const HWND window_;
    std::mutex mutex_;
    SIZE client_{};
    std::condition_variable cv_;
    std::vector<Shown> frames_;
};

class ServiceLookup final : public ComObject<IMFTopologyServiceLookup> {
public:
    ServiceLookup(IMFClock* clock, IUnknown* mixer, IMediaEventSink* events)
        : clock_(clock), mixer_(mixer), events_(events) {}
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFTopologyServiceLookup>(this, iid, object);
    }
    HRESULT LookupService(MF_SERVICE_LOOKUP_TYPE type, DWORD index, const GUID& service, const IID& iid,
                          void** objects, DWORD* count) override;

private:
    const ComPtr<IMFClock> clock_;
    const ComPtr<IUnknown> mixer_;
    const ComPtr<IMediaEventSink> events_;
};

}  // namespace orv::presentertest
