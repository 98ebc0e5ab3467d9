// The objects of the media layer on their own: attributes, media types, samples and their
// tracking, surfaces, the presentation clock, the audio renderer's timing and the window sink.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/media/AudioRenderer.h"
#include "platform/media/MediaFoundation.h"
#include "platform/media/PresentationClock.h"
#include "platform/media/VideoDecoder.h"
#include "platform/media/VideoFrameSink.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

constexpr GUID kKey = MakeGuid("11111111-2222-3333-4444-555555555555");
constexpr GUID kOther = MakeGuid("11111111-2222-3333-4444-666666666666");

TEST(MediaAttributes, KeepTypedValuesAndReportMissingOrMistypedOnes) {
    ComPtr<IMFAttributes> a;
    ASSERT_EQ(MFCreateAttributes(a.ReleaseAndGetAddressOf()), S_OK);
    UINT32 u = 0;
    EXPECT_EQ(a->GetUINT32(kKey, &u), MF_E_ATTRIBUTENOTFOUND);
    EXPECT_EQ(a->SetUINT32(kKey, 7), S_OK);
    EXPECT_EQ(a->GetUINT32(kKey, &u), S_OK);
    EXPECT_EQ(u, 7u);
    UINT64 v = 0;
    EXPECT_EQ(a->GetUINT64(kKey, &v), MF_E_INVALIDTYPE);
    EXPECT_EQ(a->SetUINT32(kKey, 9), S_OK);  // replaces, keeps one item
    UINT32 count = 0;
    a->GetCount(&count);
    EXPECT_EQ(count, 1u);

    const BYTE blob[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(a->SetBlob(kOther, blob, 5), S_OK);
    BYTE small[4], big[8] = {};
    UINT32 size = 0;
    EXPECT_EQ(a->GetBlob(kOther, small, 4, &size), E_INVALIDARG);
    EXPECT_EQ(a->GetBlob(kOther, big, 8, &size), S_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(big[4], 5);
    GUID key;
    EXPECT_EQ(a->GetItemByIndex(1, &key), S_OK);
    EXPECT_TRUE(key == kOther);
    EXPECT_EQ(a->GetItemByIndex(2, &key), E_INVALIDARG);

    ComPtr<IMFAttributes> copy;
    MFCreateAttributes(copy.ReleaseAndGetAddressOf());
    copy->SetDouble(kOther, 1.5);  // replaced by the copy
    EXPECT_EQ(a->CopyAllItems(copy.Get()), S_OK);
    EXPECT_EQ(copy->GetBlobSize(kOther, &size), S_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(a->DeleteItem(kKey), S_OK);
    EXPECT_EQ(a->GetUINT32(kKey, &u), MF_E_ATTRIBUTENOTFOUND);

    UINT32 w = 0, h = 0;
    MFSetAttributeSize(a.Get(), MF_MT_FRAME_SIZE, 1920, 1080);
    EXPECT_EQ(MFGetAttributeSize(a.Get(), MF_MT_FRAME_SIZE, &w, &h), S_OK);
    EXPECT_EQ(w, 1920u);
    EXPECT_EQ(h, 1080u);
    a->GetUINT64(MF_MT_FRAME_SIZE, &v);
    EXPECT_EQ(v, (UINT64(1920) << 32) | 1080u);
}

// Every kind an item can have goes in and out as a variant unchanged, and compares equal to
// itself and to nothing else.
TEST(MediaAttributes, ItemsAsVariantsRoundTripAndCompare) {
    ComPtr<IMFAttributes> a, b;
    ASSERT_EQ(MFCreateAttributes(a.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(MFCreateAttributes(b.ReleaseAndGetAddressOf()), S_OK);
    GUID guid = kOther;
    char text[] = "Front";
    BYTE bytes[3] = {9, 8, 7};
    PROPVARIANT values[7];
    values[0].vt = VT_UI4, values[0].ulVal = 7;
    values[1].vt = VT_UI8, values[1].uhVal = UINT64(1) << 40;
    values[2].vt = VT_R8, values[2].dblVal = 0.25;
    values[3].vt = VT_CLSID, values[3].puuid = &guid;
    values[4].vt = VT_LPSTR, values[4].pszVal = text;
    values[5].vt = VT_BLOB, values[5].blob = BLOB{3, bytes};
    values[6].vt = VT_UNKNOWN, values[6].punkVal = b.Get();
    for (const PROPVARIANT& value : values) {
        SCOPED_TRACE(value.vt);
        ASSERT_EQ(a->SetItem(kKey, value), S_OK);
        PROPVARIANT back;
        ASSERT_EQ(a->GetItem(kKey, &back), S_OK);
        EXPECT_EQ(back.vt, value.vt);
        BOOL same = FALSE;
        EXPECT_EQ(a->CompareItem(kKey, back, &same), S_OK);
        EXPECT_TRUE(same);
        for (const PROPVARIANT& other : values) {
            if (&other == &value) continue;
            EXPECT_EQ(a->CompareItem(kKey, other, &same), S_OK);
            EXPECT_FALSE(same) << other.vt;
        }
        PropVariantClear(&back);
    }
    PROPVARIANT signedValue;
    signedValue.vt = VT_I8;
    EXPECT_EQ(a->SetItem(kKey, signedValue), MF_E_INVALIDTYPE);
    EXPECT_EQ(a->GetItem(kOther, nullptr), MF_E_ATTRIBUTENOTFOUND);
    EXPECT_EQ(a->GetItem(kKey, nullptr), S_OK);

    // The allocated copies, and a string's length in bytes.
    ASSERT_EQ(a->SetString(kKey, "前方"), S_OK);
    UINT32 length = 0;
    EXPECT_EQ(a->GetStringLength(kKey, &length), S_OK);
    EXPECT_EQ(length, 6u);
    char* copy = nullptr;
    ASSERT_EQ(a->GetAllocatedString(kKey, &copy, &length), S_OK);
    EXPECT_STREQ(copy, "前方");
    CoTaskMemFree(copy);
    BYTE* blob = nullptr;
    EXPECT_EQ(a->GetAllocatedBlob(kKey, &blob, &length), MF_E_INVALIDTYPE);
    ASSERT_EQ(a->SetBlob(kKey, bytes, 3), S_OK);
    ASSERT_EQ(a->GetAllocatedBlob(kKey, &blob, &length), S_OK);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(blob[2], 7);
    CoTaskMemFree(blob);
}

TEST(MediaAttributes, StoresCompareByEveryMatchRule) {
    ComPtr<IMFAttributes> ours, theirs;
    ASSERT_EQ(MFCreateAttributes(ours.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(MFCreateAttributes(theirs.ReleaseAndGetAddressOf()), S_OK);
    constexpr GUID kThird = MakeGuid("11111111-2222-3333-4444-777777777777");
    // Ours {1, 2}, theirs {1, 2, 3}: ours lies in theirs.
    ours->SetUINT32(kKey, 1), ours->SetUINT32(kOther, 2);
    theirs->SetUINT32(kKey, 1), theirs->SetUINT32(kOther, 2), theirs->SetUINT32(kThird, 3);
    struct Row {
        MF_ATTRIBUTES_MATCH_TYPE type;
        BOOL subset, differing;  // with ours inside theirs; with kOther set to 5 in theirs
    };
    for (const Row& row : {Row{MF_ATTRIBUTES_MATCH_OUR_ITEMS, TRUE, FALSE}, Row{MF_ATTRIBUTES_MATCH_THEIR_ITEMS, FALSE, FALSE},
                           Row{MF_ATTRIBUTES_MATCH_ALL_ITEMS, FALSE, FALSE}, Row{MF_ATTRIBUTES_MATCH_INTERSECTION, TRUE, FALSE},
                           Row{MF_ATTRIBUTES_MATCH_SMALLER, TRUE, FALSE}}) {
        theirs->SetUINT32(kOther, 2);
        BOOL result = -1;
        EXPECT_EQ(ours->Compare(theirs.Get(), row.type, &result), S_OK);
        EXPECT_EQ(result, row.subset) << row.type;
        theirs->SetUINT32(kOther, 5);
        EXPECT_EQ(ours->Compare(theirs.Get(), row.type, &result), S_OK);
        EXPECT_EQ(result, row.differing) << row.type;
    }
    BOOL result = FALSE;
    theirs->DeleteItem(kThird);
    theirs->SetUINT32(kOther, 2);
    EXPECT_EQ(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &result), S_OK);
    EXPECT_TRUE(result);
    EXPECT_EQ(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_TYPE(9), &result), E_INVALIDARG);
}

TEST(MediaAttributes, ALockedStoreWaitsForItsHolder) {
    ComPtr<IMFAttributes> a;
    ASSERT_EQ(MFCreateAttributes(a.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(a->UnlockStore(), E_UNEXPECTED);  // nothing held
    ASSERT_EQ(a->LockStore(), S_OK);
    ASSERT_EQ(a->LockStore(), S_OK);     // again by its holder
    EXPECT_EQ(a->SetUINT32(kKey, 1), S_OK);  // the holder still writes
    std::atomic<bool> written{false};
    std::thread other([&] {
        EXPECT_EQ(a->UnlockStore(), E_UNEXPECTED);  // not its holder
        a->SetUINT32(kKey, 2);
        written = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(written);
    EXPECT_EQ(a->UnlockStore(), S_OK);
    EXPECT_FALSE(written);
    EXPECT_EQ(a->UnlockStore(), S_OK);
    other.join();
    UINT32 value = 0;
    a->GetUINT32(kKey, &value);
    EXPECT_EQ(value, 2u);
}

// Sessions that arrive at a shared start one after the other all start at one moment, the
// first to join setting the position for those at about the same one; a member that will not
// come, or is closing, holds nobody, and one that comes after the time limit is still in step.
TEST(StartGate, MembersStartTogetherFromTheLeadersPosition) {
    struct Row {
        const char* name;
        LONGLONG positions[2];  // leader, follower (100 ns)
        int arrivals;           // how many of the two arrive
        LONGLONG expected[2];   // the positions they run from
    };
    const Row rows[] = {
        {"same moment, a frame apart", {100333333, 100000000}, 2, {100333333, 100333333}},
        {"far apart", {100000000, 300000000}, 2, {100000000, 300000000}},
        {"follower leaves", {5000000, 0}, 1, {5000000, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto gate = StartGate::Create(10s);
        const int leader = gate->Join(), follower = gate->Join();
        EXPECT_EQ(leader, 0);
        gate->Seal();
        StartGate::Moment moments[2];
        std::atomic<bool> came{false};
        std::thread late([&] {
            std::this_thread::sleep_for(30ms);
            came = true;
            if (row.arrivals == 2) moments[1] = gate->Arrive(follower, row.positions[1], nullptr);
            else gate->Leave();
        });
        moments[0] = gate->Arrive(leader, row.positions[0], nullptr);
        EXPECT_TRUE(came);  // it waited for the other
        late.join();
        for (int i = 0; i < row.arrivals; ++i) EXPECT_EQ(moments[i].position, row.expected[i]) << i;
        if (row.arrivals == 2) {
            EXPECT_EQ(moments[0].system, moments[1].system);
        }
    }

    // The limit passes: the first goes alone, the late one starts from the same moment.
    const auto gate = StartGate::Create(50ms);
    const int leader = gate->Join(), follower = gate->Join();
    gate->Seal();
    const StartGate::Moment first = gate->Arrive(leader, 0, nullptr);
    const StartGate::Moment second = gate->Arrive(follower, 0, nullptr);
    EXPECT_EQ(first.system, second.system);

    // A closing member leaves at once and holds nobody (else this waits an hour).
    const auto closing = StartGate::Create(std::chrono::hours(1));
    const int a = closing->Join(), b = closing->Join();
    closing->Seal();
    std::thread other([&] { closing->Arrive(b, 0, [] { return true; }); });
    closing->Arrive(a, 0, nullptr);
    other.join();
}

// Clocks that change their rate as of one shared moment stay in step however late each gets
// to it; a moment before a clock's own last change counts from that change.
TEST(SharedMoment, ClocksChangingRateAsOfItStayInStep) {
    const struct {
        float from, to;
    } rows[] = {{1.0f, 4.0f}, {4.0f, 0.5f}, {0.25f, 2.0f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to));
        const ComPtr<PresentationClock> clocks[2] = {AdoptRef(new PresentationClock), AdoptRef(new PresentationClock)};
        const MFTIME start = MFGetSystemTime();
        for (const auto& c : clocks) {
            c->StartAt(start, 10000000);
            c->SetRateAt(start, row.from);
        }
        const auto moment = std::make_shared<SharedMoment>();
        clocks[0]->SetRateAt(moment->Take(), row.to);
        std::this_thread::sleep_for(20ms);  // the other comes later
        clocks[1]->SetRateAt(moment->Take(), row.to);
        LONGLONG times[2] = {};
        MFTIME at[2] = {};
        for (int i : {0, 1}) clocks[i]->GetCorrelatedTime(0, &times[i], &at[i]);
        EXPECT_NEAR(double(times[1] - times[0]), double(row.to) * double(at[1] - at[0]), 2.0);
    }
    const auto clock = AdoptRef(new PresentationClock);
    const MFTIME base = clock->Start(5000000);
    EXPECT_EQ(clock->SetRateAt(base - 10000000, 2.0f), base);
    LONGLONG time = 0;
    MFTIME at = 0;
    clock->GetCorrelatedTime(0, &time, &at);
    EXPECT_NEAR(double(time), 5000000.0 + 2.0 * double(at - base), 2.0);
}

TEST(MediaTypes, CompareByTheirAttributes) {
    ComPtr<IMFMediaType> a, b;
    MFCreateMediaType(a.ReleaseAndGetAddressOf());
    MFCreateMediaType(b.ReleaseAndGetAddressOf());
    for (auto* t : {a.Get(), b.Get()}) {
        t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
    }
    EXPECT_EQ(a->IsEqual(b.Get(), nullptr), S_OK);
    b->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    EXPECT_EQ(a->IsEqual(b.Get(), nullptr), S_FALSE);
    BOOL compressed = TRUE;
    EXPECT_EQ(a->IsCompressedFormat(&compressed), S_OK);
    EXPECT_FALSE(compressed);
    ComPtr<IMFVideoMediaType> video;
    EXPECT_EQ(a.As(&video), S_OK);
    a->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    EXPECT_EQ(a.As(&video), E_NOINTERFACE);

    UINT64 average = 0;
    EXPECT_EQ(MFFrameRateToAverageTimePerFrame(30, 1, &average), S_OK);
    EXPECT_EQ(average, 333333u);
    MFFrameRateToAverageTimePerFrame(30000, 1001, &average);
    EXPECT_EQ(average, 333667u);
    MFFrameRateToAverageTimePerFrame(25, 1, &average);
    EXPECT_EQ(average, 400000u);
}

// Records where and with what a sample came back.
class Allocator final : public ComObject<IMFAsyncCallback> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFAsyncCallback>(this, iid, object);
    }
    HRESULT GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT Invoke(IMFAsyncResult* result) override {
        ComPtr<IUnknown> object;
        result->GetObject(object.ReleaseAndGetAddressOf());
        std::lock_guard lock(mutex_);
        object.As(&returned_);
        thread_ = std::this_thread::get_id();
        result->GetState(state_.ReleaseAndGetAddressOf());
        cv_.notify_all();
        return S_OK;
    }
    ComPtr<IMFSample> Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, 5s, [&] { return bool(returned_); });
        return std::move(returned_);
    }
    std::thread::id thread_;
    ComPtr<IUnknown> state_;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    ComPtr<IMFSample> returned_;
};

TEST(MediaSamples, ATrackedSampleComesBackToItsAllocatorOnAWorkThread) {
    ComPtr<IVideoSurface> surface;
    ASSERT_EQ(MFCreateVideoSurface(64, 32, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IMFSample> sample;
    MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
    IMFSample* identity = sample.Get();
    sample->SetSampleTime(1234);
    auto allocator = AdoptRef(new Allocator);
    ComPtr<IMFTrackedSample> tracked;
    ASSERT_EQ(sample.As(&tracked), S_OK);
    ASSERT_EQ(tracked->SetAllocator(allocator.Get(), surface.Get()), S_OK);
    EXPECT_EQ(tracked->SetAllocator(allocator.Get(), nullptr), MF_E_NOTACCEPTING);
    tracked.Reset();
    sample.Reset();  // the last reference: the sample goes back instead of away

    ComPtr<IMFSample> back = allocator->Wait();
    ASSERT_TRUE(back);
    EXPECT_EQ(back.Get(), identity);
    EXPECT_NE(allocator->thread_, std::this_thread::get_id());
    EXPECT_EQ(allocator->state_.Get(), static_cast<IUnknown*>(surface.Get()));
    LONGLONG time = 0;
    EXPECT_EQ(back->GetSampleTime(&time), S_OK);
    EXPECT_EQ(time, 1234);
    // The allocator is used once: the sample can be tracked again.
    ASSERT_EQ(back.As(&tracked), S_OK);
    EXPECT_EQ(tracked->SetAllocator(allocator.Get(), nullptr), S_OK);
    tracked.Reset();
    back.Reset();
    EXPECT_TRUE(allocator->Wait());
}

TEST(MediaSamples, DesiredTimeAndClearAndBufferSurface) {
    ComPtr<IVideoSurface> surface;
    MFCreateVideoSurface(16, 8, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf());
    ComPtr<IMFSample> sample;
    MFCreateVideoSampleFromSurface(surface.Get(), sample.ReleaseAndGetAddressOf());
    LONGLONG t = 0, d = 0;
    EXPECT_EQ(sample->GetSampleTime(&t), MF_E_NO_SAMPLE_TIMESTAMP);
    EXPECT_EQ(sample->GetSampleDuration(&d), MF_E_NO_SAMPLE_DURATION);
    ComPtr<IMFDesiredSample> desired;
    ASSERT_EQ(sample.As(&desired), S_OK);
    EXPECT_EQ(desired->GetDesiredSampleTimeAndDuration(&t, &d), MF_E_NOT_AVAILABLE);
    desired->SetDesiredSampleTimeAndDuration(100, 20);
    EXPECT_EQ(desired->GetDesiredSampleTimeAndDuration(&t, &d), S_OK);
    EXPECT_EQ(t, 100);
    sample->SetUINT32(kKey, 3);
    sample->SetSampleTime(55);
    desired->Clear();  // forgets the desired time and every attribute, keeps the time
    EXPECT_EQ(desired->GetDesiredSampleTimeAndDuration(&t, &d), MF_E_NOT_AVAILABLE);
    UINT32 u = 0;
    EXPECT_EQ(sample->GetUINT32(kKey, &u), MF_E_ATTRIBUTENOTFOUND);
    EXPECT_EQ(sample->GetSampleTime(&t), S_OK);
    EXPECT_EQ(t, 55);

    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_EQ(sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(sample->GetBufferByIndex(1, buffer.ReleaseAndGetAddressOf()), E_INVALIDARG);
    sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf());
    ComPtr<IVideoSurface> served;
    EXPECT_EQ(MFGetService(buffer.Get(), MR_BUFFER_SERVICE, IID_IVideoSurface,
                           reinterpret_cast<void**>(served.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(served.Get(), surface.Get());
    EXPECT_EQ(MFGetService(buffer.Get(), MR_VIDEO_RENDER_SERVICE, IID_IVideoSurface,
                           reinterpret_cast<void**>(served.ReleaseAndGetAddressOf())),
              MF_E_UNSUPPORTED_SERVICE);
}

TEST(MediaSurfaces, AnImageTakenKeepsItsContentsWhenTheSurfaceIsWritten) {
    ComPtr<IVideoSurface> surface;
    EXPECT_EQ(MFCreateVideoSurface(0, 8, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf()), E_INVALIDARG);
    EXPECT_EQ(MFCreateVideoSurface(8, 8, D3DFMT_UNKNOWN, surface.ReleaseAndGetAddressOf()), MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(MFCreateVideoSurface(8, 4, D3DFMT_X8R8G8B8, surface.ReleaseAndGetAddressOf()), S_OK);
    QImage before;
    surface->GetImage(&before);
    EXPECT_EQ(before.pixel(3, 2), 0xFF000000u);  // made black
    LockedRect locked;
    surface->LockRect(&locked);
    EXPECT_GE(locked.Pitch, 8 * 4);
    static_cast<std::uint32_t*>(locked.pBits)[0] = 0xFF112233u;
    surface->UnlockRect();
    QImage after;
    surface->GetImage(&after);
    EXPECT_EQ(after.pixel(0, 0), 0xFF112233u);
    EXPECT_EQ(before.pixel(0, 0), 0xFF000000u);
    surface->ColorFill(0x00FF0000u);  // no alpha in an X8R8G8B8 surface: opaque
    surface->GetImage(&after);
    EXPECT_EQ(after.pixel(7, 3), 0xFFFF0000u);
}

TEST(PresentationClock, RunsAtItsRateAndStandsStillWhenPausedOrStopped) {
    auto clock = AdoptRef(new PresentationClock);
    LONGLONG t0 = 0, t1 = 0;
    MFTIME s0 = 0, s1 = 0;
    MFCLOCK_STATE state;
    clock->GetState(0, &state);
    EXPECT_EQ(state, MFCLOCK_STATE_STOPPED);
    clock->Start(5000000);
    clock->SetRate(2.0f);
    clock->GetCorrelatedTime(0, &t0, &s0);
    std::this_thread::sleep_for(20ms);
    clock->GetCorrelatedTime(0, &t1, &s1);
    EXPECT_NEAR(double(t1 - t0), 2.0 * double(s1 - s0), 2.0);  // clock time = system time x rate
    EXPECT_GE(t0, 5000000);

    clock->Pause();
    clock->GetState(0, &state);
    EXPECT_EQ(state, MFCLOCK_STATE_PAUSED);
    clock->GetCorrelatedTime(0, &t0, &s0);
    std::this_thread::sleep_for(10ms);
    clock->GetCorrelatedTime(0, &t1, &s1);
    EXPECT_EQ(t0, t1);
    EXPECT_GT(s1, s0);
    clock->Restart();
    clock->GetCorrelatedTime(0, &t1, &s1);
    EXPECT_GE(t1, t0);
    clock->Stop(0);
    MFTIME now = -1;
    clock->GetTime(&now);
    EXPECT_EQ(now, 0);
    EXPECT_FALSE(clock->Running());
}

TEST(AudioRenderer, TheSilentRendererEndsTheSoundWhenTheClockHasPassedIt) {
    auto clock = AdoptRef(new PresentationClock);
    std::mutex mutex;
    std::condition_variable cv;
    LONGLONG completedAt = -1;
    auto renderer = AudioRenderer::Create(48000, 2, clock, [&](long code, HRESULT, std::uint64_t epoch) {
        LONGLONG t = 0;
        MFTIME s = 0;
        clock->GetCorrelatedTime(0, &t, &s);
        std::lock_guard lock(mutex);
        if (code == EC_COMPLETE && epoch == 1) completedAt = t;
        cv.notify_all();
    });
    renderer->Flush(1);
    for (int i = 0; i < 4; ++i) {  // 0.4 s of sound
        AudioChunk chunk;
        chunk.time = LONGLONG(i) * 1000000;
        chunk.samples.assign(4800 * 2, 1000);
        ASSERT_TRUE(renderer->Render(std::move(chunk), 1));
    }
    renderer->EndOfStream(1);
    EXPECT_FALSE(renderer->Render(AudioChunk{0, std::vector<std::int16_t>(2, 0)}, 0));  // another epoch
    {
        // The clock stands still: the sound does not end.
        std::unique_lock lock(mutex);
        EXPECT_FALSE(cv.wait_for(lock, 150ms, [&] { return completedAt >= 0; }));
    }
    clock->Start(0);
    clock->SetRate(2.0f);
    renderer->ClockChanged();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return completedAt >= 0; }));
        EXPECT_GE(completedAt, 4000000);
    }
    EXPECT_FALSE(renderer->HasDevice());  // none on a build machine; the test holds either way
    renderer->Shutdown();
}

TEST(AudioRenderer, VolumeIsPerChannelAndChecked) {
    auto clock = AdoptRef(new PresentationClock);
    auto renderer = AudioRenderer::Create(44100, 2, clock, nullptr);
    UINT32 count = 0;
    renderer->GetChannelCount(&count);
    EXPECT_EQ(count, 2u);
    const float levels[2] = {0.0f, 0.75f};
    EXPECT_EQ(renderer->SetAllVolumes(2, levels), S_OK);
    float read[2] = {};
    EXPECT_EQ(renderer->GetAllVolumes(2, read), S_OK);
    EXPECT_EQ(read[1], 0.75f);
    EXPECT_EQ(renderer->SetAllVolumes(1, levels), E_INVALIDARG);
    const float bad[2] = {0.5f, -0.1f};
    EXPECT_EQ(renderer->SetAllVolumes(2, bad), E_INVALIDARG);
    renderer->GetChannelVolume(0, &read[0]);
    EXPECT_EQ(read[0], 0.0f);
    renderer->Shutdown();
}

TEST(VideoFrameSink, PicturesGoToTheWindowsSinkWhileItIsSet) {
    const HWND window = 0x5A000001;
    QImage picture(4, 4, QImage::Format_RGB32);
    EXPECT_FALSE(PresentVideoFrame(window, picture, RECT{}));
    int calls = 0;
    RECT seen{};
    SetVideoFrameSink(window, [&](const QImage& frame, const RECT& destination) {
        ++calls;
        seen = destination;
        EXPECT_EQ(frame.width(), 4);
    });
    EXPECT_TRUE(PresentVideoFrame(window, picture, RECT{1, 2, 3, 4}));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, (RECT{1, 2, 3, 4}));
    SetVideoFrameSink(window, nullptr);
    EXPECT_FALSE(PresentVideoFrame(window, picture, RECT{}));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orv

TEST(VideoDecoder, ThreadsGrowWithThePixelsToDecodeEachSecond) {
    struct Case {
        int width, height;
        double rate;
        unsigned cores, threads;
    };
    for (const Case& c : std::initializer_list<Case>{
             {1920, 1080, 30, 8, 1},  // full HD: one thread
             {1280, 720, 30, 8, 1},   {1920, 1080, 0, 8, 1},  // unknown rate taken as 30
             {1920, 1080, 60, 8, 2},  {2560, 1440, 30, 8, 2},  {3840, 2160, 30, 8, 4},
             {3840, 2160, 60, 8, 4},  // never more than four
             {3840, 2160, 30, 2, 2},  // nor than the cores
             {3840, 2160, 30, 0, 1},  // cores not known
             {0, 0, 30, 8, 1},
         })
        EXPECT_EQ(orv::DecodingThreads(c.width, c.height, c.rate, c.cores), c.threads)
            << c.width << "x" << c.height << "@" << c.rate << " on " << c.cores;
}
