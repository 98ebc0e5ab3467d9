// The sample lists and the sample pool on their own.
#include <gtest/gtest.h>

#include "platform/media/MediaFoundation.h"
#include "playback/presenter/SamplePool.h"

namespace orv {
namespace {

using MediaFoundationSamples::ComPtrList;

ComPtr<IMFSample> TimedSample(LONGLONG time) {
    ComPtr<IMFSample> s;
    MFCreateVideoSampleFromSurface(nullptr, s.ReleaseAndGetAddressOf());
    s->SetSampleTime(time);
    return s;
}

LONGLONG TimeOf(IMFSample* s) {
    LONGLONG t = -1;
    s->GetSampleTime(&t);
    return t;
}

// References held on an object: one more taken and given back.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(SampleList, KeepsOrderAndOneReferencePerItem) {
    auto a = TimedSample(1), b = TimedSample(2), c = TimedSample(3);
    const ULONG alone = References(a.Get());
    {
        ComPtrList<IMFSample> list;
        ComPtr<IMFSample> out;
        EXPECT_EQ(list.RemoveFront(out.ReleaseAndGetAddressOf()), E_FAIL);
        EXPECT_EQ(list.InsertBack(nullptr), E_POINTER);
        EXPECT_EQ(list.RemoveItem(list.End(), nullptr), E_INVALIDARG);
        ASSERT_EQ(list.InsertBack(b.Get()), S_OK);
        ASSERT_EQ(list.InsertBack(c.Get()), S_OK);
        ASSERT_EQ(list.InsertFront(a.Get()), S_OK);
        EXPECT_EQ(list.Count(), 3u);
        EXPECT_EQ(References(a.Get()), alone + 1);
        ASSERT_EQ(list.RemoveFront(out.ReleaseAndGetAddressOf()), S_OK);  // the list's reference
        EXPECT_EQ(TimeOf(out.Get()), 1);
        EXPECT_EQ(References(a.Get()), alone + 1);
        out.Reset();
        EXPECT_EQ(References(a.Get()), alone);
        ASSERT_EQ(list.RemoveFront(nullptr), S_OK);  // released by the list
        EXPECT_EQ(References(b.Get()), alone);
        EXPECT_EQ(References(c.Get()), alone + 1);
    }
    EXPECT_EQ(References(c.Get()), alone);  // cleared with the list
}

TEST(SamplePool, HandsOutFreeSamplesOtherThanTheOneOnScreen) {
    SamplePool pool;
    ComPtr<IMFSample> out;
    auto s1 = TimedSample(1), s2 = TimedSample(2);
    EXPECT_EQ(pool.TakeSample(nullptr, out.ReleaseAndGetAddressOf()), MF_E_NOT_INITIALIZED);
    EXPECT_EQ(pool.ReturnSample(s1.Get()), MF_E_NOT_INITIALIZED);
    EXPECT_FALSE(pool.AreSamplesPending());

    ComPtrList<IMFSample> batch;
    batch.InsertBack(s1.Get());
    batch.InsertBack(s2.Get());
    ASSERT_EQ(pool.Initialize(batch), S_OK);
    EXPECT_EQ(pool.Initialize(batch), MF_E_INVALIDREQUEST);
    ASSERT_EQ(pool.TakeSample(s1.Get(), out.ReleaseAndGetAddressOf()), S_OK);  // s1 is on screen
    EXPECT_EQ(out.Get(), s2.Get());
    EXPECT_TRUE(pool.AreSamplesPending());
    EXPECT_EQ(pool.TakeSample(s1.Get(), out.ReleaseAndGetAddressOf()), MF_E_SAMPLEALLOCATOR_EMPTY);
    ASSERT_EQ(pool.TakeSample(nullptr, out.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(out.Get(), s1.Get());
    EXPECT_EQ(pool.TakeSample(nullptr, out.ReleaseAndGetAddressOf()), MF_E_SAMPLEALLOCATOR_EMPTY);
    ASSERT_EQ(pool.ReturnSample(s2.Get()), S_OK);
    EXPECT_TRUE(pool.AreSamplesPending());
    ASSERT_EQ(pool.ReturnSample(s1.Get()), S_OK);
    EXPECT_FALSE(pool.AreSamplesPending());
    ASSERT_EQ(pool.TakeSample(nullptr, out.ReleaseAndGetAddressOf()), S_OK);  // first back, first out
    EXPECT_EQ(out.Get(), s2.Get());

    pool.Clear();
    EXPECT_FALSE(pool.AreSamplesPending());
    EXPECT_EQ(pool.TakeSample(nullptr, out.ReleaseAndGetAddressOf()), MF_E_NOT_INITIALIZED);
    EXPECT_EQ(pool.Initialize(batch), S_OK);
}

}  // namespace
}  // namespace orv
