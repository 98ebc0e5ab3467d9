// The objects that travel through the playback engine: attribute stores, media types, video
// surfaces and the samples that carry them, asynchronous results and callbacks, and events.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <QImage>

#include "platform/base/WinTypes.h"
#include "platform/media/ComBase.h"
#include "platform/media/MediaErrors.h"

struct AVFrame;

namespace orv {

// ---- attributes -------------------------------------------------------------------------

enum MF_ATTRIBUTE_TYPE {
    MF_ATTRIBUTE_UINT32,
    MF_ATTRIBUTE_UINT64,
    MF_ATTRIBUTE_DOUBLE,
    MF_ATTRIBUTE_GUID,
    MF_ATTRIBUTE_STRING,
    MF_ATTRIBUTE_BLOB,
    MF_ATTRIBUTE_IUNKNOWN,
};

// A store of typed values under GUID keys. A missing key gives MF_E_ATTRIBUTENOTFOUND, a
// value of another type MF_E_INVALIDTYPE. Strings are UTF-8.
// How Compare matches two stores: every item of ours is in theirs with the same value, every
// item of theirs is in ours, both hold the same items, the items both hold are equal, or the
// items of the smaller store are in the other.
enum MF_ATTRIBUTES_MATCH_TYPE {
    MF_ATTRIBUTES_MATCH_OUR_ITEMS = 0,
    MF_ATTRIBUTES_MATCH_THEIR_ITEMS = 1,
    MF_ATTRIBUTES_MATCH_ALL_ITEMS = 2,
    MF_ATTRIBUTES_MATCH_INTERSECTION = 3,
    MF_ATTRIBUTES_MATCH_SMALLER = 4,
};

// Strings are UTF-8 and their lengths counted in bytes. An item as a PROPVARIANT: UINT32
// VT_UI4, UINT64 VT_UI8, double VT_R8, GUID VT_CLSID, string VT_LPSTR, blob VT_BLOB, object
// VT_UNKNOWN; any other kind is MF_E_INVALIDTYPE.
struct IMFAttributes : IUnknown {
    static constexpr IID kIid = MakeGuid("abb4dc9c-69d7-40a6-8115-d61670a41f43");
    // value may be null: then only whether the item is there.
    virtual HRESULT GetItem(const GUID& key, PROPVARIANT* value) = 0;
    virtual HRESULT GetItemType(const GUID& key, MF_ATTRIBUTE_TYPE* type) = 0;
    // FALSE when the item is missing or differs (objects are the same when they are one).
    virtual HRESULT CompareItem(const GUID& key, const PROPVARIANT& value, BOOL* result) = 0;
    virtual HRESULT Compare(IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE type, BOOL* result) = 0;
    virtual HRESULT GetUINT32(const GUID& key, UINT32* value) = 0;
    virtual HRESULT GetUINT64(const GUID& key, UINT64* value) = 0;
    virtual HRESULT GetDouble(const GUID& key, double* value) = 0;
    virtual HRESULT GetGUID(const GUID& key, GUID* value) = 0;
    virtual HRESULT GetStringLength(const GUID& key, UINT32* length) = 0;
    virtual HRESULT GetString(const GUID& key, std::string* value) = 0;
    // A CoTaskMemAlloc copy with its terminator, freed by the caller; length without it.
    virtual HRESULT GetAllocatedString(const GUID& key, char** value, UINT32* length) = 0;
    virtual HRESULT GetBlobSize(const GUID& key, UINT32* size) = 0;
    // E_INVALIDARG when the buffer is smaller than the blob.
    virtual HRESULT GetBlob(const GUID& key, BYTE* buffer, UINT32 bufferSize, UINT32* size) = 0;
    // A CoTaskMemAlloc copy, freed by the caller.
    virtual HRESULT GetAllocatedBlob(const GUID& key, BYTE** buffer, UINT32* size) = 0;
    virtual HRESULT GetUnknown(const GUID& key, const IID& iid, void** object) = 0;
    virtual HRESULT SetItem(const GUID& key, const PROPVARIANT& value) = 0;
    virtual HRESULT DeleteItem(const GUID& key) = 0;
    virtual HRESULT DeleteAllItems() = 0;
    virtual HRESULT SetUINT32(const GUID& key, UINT32 value) = 0;
    virtual HRESULT SetUINT64(const GUID& key, UINT64 value) = 0;
    virtual HRESULT SetDouble(const GUID& key, double value) = 0;
    virtual HRESULT SetGUID(const GUID& key, const GUID& value) = 0;
    virtual HRESULT SetString(const GUID& key, std::string_view value) = 0;
    virtual HRESULT SetBlob(const GUID& key, const BYTE* data, UINT32 size) = 0;
    virtual HRESULT SetUnknown(const GUID& key, IUnknown* value) = 0;
    // Holds the store for the calling thread across several calls (others wait); the thread
    // may lock again, and unlocks as often. E_UNEXPECTED for an unlock without a lock.
    virtual HRESULT LockStore() = 0;
    virtual HRESULT UnlockStore() = 0;
    virtual HRESULT GetCount(UINT32* count) = 0;
    virtual HRESULT GetItemByIndex(UINT32 index, GUID* key) = 0;
    virtual HRESULT CopyAllItems(IMFAttributes* destination) = 0;
};
inline constexpr IID IID_IMFAttributes = IMFAttributes::kIid;

HRESULT MFCreateAttributes(IMFAttributes** attributes);

// Two 32-bit values packed in one UINT64 attribute, the first in the high half (frame size
// as width and height, frame rate and aspect ratio as numerator and denominator).
HRESULT MFGetAttributeSize(IMFAttributes* a, const GUID& key, UINT32* width, UINT32* height);
HRESULT MFSetAttributeSize(IMFAttributes* a, const GUID& key, UINT32 width, UINT32 height);
inline HRESULT MFGetAttributeRatio(IMFAttributes* a, const GUID& key, UINT32* num, UINT32* den) {
    return MFGetAttributeSize(a, key, num, den);
}
inline HRESULT MFSetAttributeRatio(IMFAttributes* a, const GUID& key, UINT32 num, UINT32 den) {
    return MFSetAttributeSize(a, key, num, den);
}

// ---- media types ------------------------------------------------------------------------

inline constexpr GUID MFMediaType_Video = MakeGuid("ad704f1e-c55c-4a0e-9ec0-a256fd2e6bc3");
inline constexpr GUID MFMediaType_Audio = MakeGuid("e3419b35-cda6-4101-b6f2-aa4630ea287a");
// Streams the engine does not render: timecode, data.
inline constexpr GUID MFMediaType_Binary = MakeGuid("fe0b1c98-485f-4742-8e75-f5b8a341479b");
inline constexpr GUID MFMediaType_Subtitle = MakeGuid("417e7ead-c270-4a41-b791-910f1fc2441e");

// Subtypes carry a format code in Data1: a FourCC for compressed formats, the surface
// format number (D3DFORMAT) for uncompressed video.
constexpr GUID MakeFormatGuid(std::uint32_t code) {
    GUID g = MakeGuid("00000000-c1eb-4250-880b-fb64cbfda1a3");
    g.Data1 = code;
    return g;
}
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | (std::uint32_t(std::uint8_t(b)) << 8) |
           (std::uint32_t(std::uint8_t(c)) << 16) | (std::uint32_t(std::uint8_t(d)) << 24);
}

// Pixel formats of video surfaces, numbered as the surface formats of the presenter.
enum D3DFORMAT : std::uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,  // 32-bit, bytes B, G, R, A in memory
    D3DFMT_X8R8G8B8 = 22,  // 32-bit, bytes B, G, R, unused (255) in memory
};

inline constexpr GUID MFVideoFormat_ARGB32 = MakeFormatGuid(D3DFMT_A8R8G8B8);
inline constexpr GUID MFVideoFormat_RGB32 = MakeFormatGuid(D3DFMT_X8R8G8B8);
inline constexpr GUID MFVideoFormat_H264 = MakeFormatGuid(MakeFourCC('H', '2', '6', '4'));
inline constexpr GUID MFVideoFormat_HEVC = MakeFormatGuid(MakeFourCC('H', 'E', 'V', 'C'));
inline constexpr GUID MFAudioFormat_AAC = MakeFormatGuid(MakeFourCC('A', 'A', 'C', ' '));
inline constexpr GUID MFAudioFormat_PCM = MakeFormatGuid(MakeFourCC('P', 'C', 'M', ' '));

inline constexpr GUID MF_MT_MAJOR_TYPE = MakeGuid("d2daa03c-43e6-4b01-8b7b-d348b35f98d0");
inline constexpr GUID MF_MT_SUBTYPE = MakeGuid("631895a5-a6d4-40cf-a65a-64630c69b504");
inline constexpr GUID MF_MT_COMPRESSED = MakeGuid("6b5ebfda-36a1-4857-9ef8-0114986ed017");  // UINT32
inline constexpr GUID MF_MT_FRAME_SIZE = MakeGuid("c048a206-aa5a-4e93-9433-c8c8cb091d32");  // width, height
// The average frame rate (frames over duration) as numerator, denominator.
inline constexpr GUID MF_MT_FRAME_RATE = MakeGuid("beefd04b-9360-481b-b180-032ccff1cab8");
// The lowest rate at which every time stamp falls on a frame (the container's base rate).
inline constexpr GUID MF_MT_REAL_FRAME_RATE = MakeGuid("f6db256e-88f0-4081-9786-9e1db28c58e3");
inline constexpr GUID MF_MT_PIXEL_ASPECT_RATIO = MakeGuid("aca3539a-7e9b-4b0d-aaf3-f164372f6568");
inline constexpr GUID MF_MT_INTERLACE_MODE = MakeGuid("3e1e78a4-d45b-4a8f-b8b8-b3696d8611be");
inline constexpr GUID MF_MT_YUV_MATRIX = MakeGuid("9f8edce9-56a0-4a7c-861b-7a1282cafc8a");
inline constexpr GUID MF_MT_TRANSFER_FUNCTION = MakeGuid("73bf9892-2181-4d92-be59-d4f086ce6fe8");
inline constexpr GUID MF_MT_VIDEO_PRIMARIES = MakeGuid("02fecc8d-3707-49f8-8c78-c7e3c467ed4d");
inline constexpr GUID MF_MT_VIDEO_NOMINAL_RANGE = MakeGuid("8a8abad3-108e-478b-90ec-15952f021478");
inline constexpr GUID MF_MT_VIDEO_LIGHTING = MakeGuid("710f59e3-b566-4c9f-8a18-855bdad17a8c");
inline constexpr GUID MF_MT_PAN_SCAN_ENABLED = MakeGuid("0a509d4e-3077-4472-a80a-f9a25696eec6");
inline constexpr GUID MF_MT_GEOMETRIC_APERTURE = MakeGuid("cf85ae08-9790-47a6-a689-c55ec4619fff");  // MFVideoArea blob
inline constexpr GUID MF_MT_PAN_SCAN_APERTURE = MakeGuid("d0c495a5-d122-458f-9bb9-d16bef0b6a3c");
inline constexpr GUID MF_MT_MINIMUM_DISPLAY_APERTURE = MakeGuid("1bca5217-9804-4321-9da4-451d0217917b");
inline constexpr GUID MF_MT_AUDIO_NUM_CHANNELS = MakeGuid("bbd0b35a-3686-4a10-ac03-5e59608079b4");
inline constexpr GUID MF_MT_AUDIO_SAMPLES_PER_SECOND = MakeGuid("4dc26b0f-3b74-4f9d-adbb-6f87a9c60e4e");

enum MFVideoInterlaceMode : UINT32 {
    MFVideoInterlace_Unknown = 0,
    MFVideoInterlace_Progressive = 2,
    MFVideoInterlace_MixedInterlaceOrProgressive = 7,
};
enum MFVideoTransferMatrix : UINT32 {
    MFVideoTransferMatrix_Unknown = 0,
    MFVideoTransferMatrix_BT709 = 1,
    MFVideoTransferMatrix_BT601 = 2,
    MFVideoTransferMatrix_SMPTE240M = 3,
};
enum MFVideoTransferFunction : UINT32 { MFVideoTransFunc_Unknown = 0, MFVideoTransFunc_709 = 5 };
enum MFVideoPrimaries : UINT32 { MFVideoPrimaries_Unknown = 0, MFVideoPrimaries_BT709 = 2 };
enum MFNominalRange : UINT32 {
    MFNominalRange_Unknown = 0,
    MFNominalRange_0_255 = 1,
    MFNominalRange_16_235 = 2,
};
enum MFVideoLighting : UINT32 { MFVideoLighting_Unknown = 0, MFVideoLighting_dim = 3 };

// Blob layout of the aperture attributes.
struct MFOffset {
    std::uint16_t fract = 0;
    std::int16_t value = 0;
};
struct MFVideoArea {
    MFOffset OffsetX;
    MFOffset OffsetY;
    SIZE Area;
};

struct IMFMediaType : IMFAttributes {
    static constexpr IID kIid = MakeGuid("339db8c2-6608-415a-963c-eb8c82a1cd5a");
    virtual HRESULT GetMajorType(GUID* majorType) = 0;
    virtual HRESULT IsCompressedFormat(BOOL* compressed) = 0;
    // S_OK when both hold the same attributes with the same values, else S_FALSE.
    virtual HRESULT IsEqual(IMFMediaType* other, DWORD* flags) = 0;
};
inline constexpr IID IID_IMFMediaType = IMFMediaType::kIid;

// Answered by a media type whose major type is video.
struct IMFVideoMediaType : IMFMediaType {
    static constexpr IID kIid = MakeGuid("44381913-2e9b-4108-a39b-c5cb4e386196");
};
inline constexpr IID IID_IMFVideoMediaType = IMFVideoMediaType::kIid;

HRESULT MFCreateMediaType(IMFMediaType** type);

// 100-ns units per frame for a frame rate, rounded to the nearest unit.
HRESULT MFFrameRateToAverageTimePerFrame(UINT32 numerator, UINT32 denominator, UINT64* average);

// ---- surfaces, buffers, samples ---------------------------------------------------------

struct VideoSurfaceDesc {
    UINT32 Width = 0;
    UINT32 Height = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

struct LockedRect {
    int Pitch = 0;         // bytes per row
    void* pBits = nullptr;  // first byte of the locked rectangle
};

// A picture in memory that the mixer renders into and the presenter shows: 32 bits per
// pixel, rows top-down, each row starting on a 64-byte boundary. The locked buffer goes on for
// kSurfaceSlack bytes after the last row, because the converters write whole blocks of pixels
// and may run past the end of a row. Any thread may use a surface; LockRect and UnlockRect
// bracket a write and must be called on the same thread.
inline constexpr std::size_t kSurfaceSlack = 256;

struct IVideoSurface : IUnknown {
    static constexpr IID kIid = MakeGuid("c0a4f52b-29fd-4daa-82e2-f30cc9b721eb");
    virtual HRESULT GetDesc(VideoSurfaceDesc* desc) = 0;
    virtual HRESULT LockRect(LockedRect* locked) = 0;
    virtual HRESULT UnlockRect() = 0;
    // Fills the whole surface with an 0xAARRGGBB colour.
    virtual HRESULT ColorFill(std::uint32_t argb) = 0;
    // A shallow copy of the picture (Qt's implicit sharing): the copy keeps the contents it
    // had when taken, a later write to the surface does not reach it.
    virtual HRESULT GetImage(QImage* image) = 0;
    // The decoded frame the picture was made from (a reference to it, which costs no copy),
    // so that the picture can be made again at another size; null when it has none.
    virtual HRESULT SetSourceFrame(std::shared_ptr<const AVFrame> frame) = 0;
    virtual HRESULT GetSourceFrame(std::shared_ptr<const AVFrame>* frame) = 0;
};
inline constexpr IID IID_IVideoSurface = IVideoSurface::kIid;

// A black surface of the given size and format (D3DFMT_X8R8G8B8 or D3DFMT_A8R8G8B8).
HRESULT MFCreateVideoSurface(UINT32 width, UINT32 height, D3DFORMAT format, IVideoSurface** surface);

// A buffer of a video sample; MFGetService(buffer, MR_BUFFER_SERVICE, IID_IVideoSurface)
// gives its surface.
struct IMFMediaBuffer : IUnknown {
    static constexpr IID kIid = MakeGuid("43ce7f60-0fd0-487d-a161-c66ce6d25070");
    virtual HRESULT GetMaxLength(DWORD* length) = 0;
};
inline constexpr IID IID_IMFMediaBuffer = IMFMediaBuffer::kIid;

struct IMFSample : IMFAttributes {
    static constexpr IID kIid = MakeGuid("0d968bac-46af-4c87-b6ff-987ef6ac84f5");
    virtual HRESULT GetSampleTime(LONGLONG* time) = 0;  // MF_E_NO_SAMPLE_TIMESTAMP when unset
    virtual HRESULT SetSampleTime(LONGLONG time) = 0;
    virtual HRESULT GetSampleDuration(LONGLONG* duration) = 0;  // MF_E_NO_SAMPLE_DURATION when unset
    virtual HRESULT SetSampleDuration(LONGLONG duration) = 0;
    virtual HRESULT GetBufferCount(DWORD* count) = 0;
    virtual HRESULT GetBufferByIndex(DWORD index, IMFMediaBuffer** buffer) = 0;
};
inline constexpr IID IID_IMFSample = IMFSample::kIid;

// Asks the mixer for a picture at a given time instead of its next input: a repaint.
struct IMFDesiredSample : IUnknown {
    static constexpr IID kIid = MakeGuid("6ba014ae-6a63-4234-b630-8523060f6cbe");
    // MF_E_NOT_AVAILABLE when no time was asked for.
    virtual HRESULT GetDesiredSampleTimeAndDuration(LONGLONG* time, LONGLONG* duration) = 0;
    virtual void SetDesiredSampleTimeAndDuration(LONGLONG time, LONGLONG duration) = 0;
    // Forgets the desired time and removes every attribute of the sample.
    virtual void Clear() = 0;
};
inline constexpr IID IID_IMFDesiredSample = IMFDesiredSample::kIid;

struct IMFAsyncCallback;

// When the last reference to a tracked sample is released, the sample is not destroyed: the
// allocator callback is invoked once (on a work-queue thread) with an asynchronous result
// whose object is the sample. The allocator is then cleared; set it again for the next use.
struct IMFTrackedSample : IUnknown {
    static constexpr IID kIid = MakeGuid("149f1b77-95c6-4381-8078-0a99e6cada91");
    // MF_E_NOTACCEPTING while an allocator is set.
    virtual HRESULT SetAllocator(IMFAsyncCallback* sampleAllocator, IUnknown* state) = 0;
};
inline constexpr IID IID_IMFTrackedSample = IMFTrackedSample::kIid;

// A video sample with one buffer over the surface; it answers IMFSample, IMFDesiredSample and
// IMFTrackedSample. The surface may be null (a sample without a picture).
HRESULT MFCreateVideoSampleFromSurface(IUnknown* surface, IMFSample** sample);

// ---- asynchronous calls and events ------------------------------------------------------

struct IMFAsyncResult : IUnknown {
    static constexpr IID kIid = MakeGuid("5b2f3363-5739-41cb-b937-4074e86db331");
    virtual HRESULT GetState(IUnknown** state) = 0;  // E_POINTER when there is none
    virtual HRESULT GetStatus() = 0;
    virtual HRESULT SetStatus(HRESULT status) = 0;
    virtual HRESULT GetObject(IUnknown** object) = 0;  // E_POINTER when there is none
    virtual IUnknown* GetStateNoAddRef() = 0;
};
inline constexpr IID IID_IMFAsyncResult = IMFAsyncResult::kIid;

struct IMFAsyncCallback : IUnknown {
    static constexpr IID kIid = MakeGuid("73b23259-9d51-40cc-9647-4f995c43de9d");
    virtual HRESULT GetParameters(DWORD* flags, DWORD* queue) = 0;
    virtual HRESULT Invoke(IMFAsyncResult* result) = 0;
};
inline constexpr IID IID_IMFAsyncCallback = IMFAsyncCallback::kIid;

HRESULT MFCreateAsyncResult(IUnknown* object, IMFAsyncCallback* callback, IUnknown* state,
                            IMFAsyncResult** result);

using MediaEventType = DWORD;
enum : MediaEventType {
    MEUnknown = 0,
    MEError = 1,  // status: what failed while playing (a read error, a presenter abort)
    MESessionTopologySet = 101,
    MESessionTopologiesCleared = 102,
    MESessionStarted = 103,
    MESessionPaused = 104,
    MESessionStopped = 105,
    MESessionClosed = 106,
    MESessionEnded = 107,
    MESessionRateChanged = 108,
    MESessionTopologyStatus = 111,
    MENewPresentation = 113,
    MEEndOfPresentation = 208,
};

struct IMFMediaEvent : IMFAttributes {
    static constexpr IID kIid = MakeGuid("b9fe8723-b003-4ca7-ab21-c6b11089219e");
    virtual HRESULT GetType(MediaEventType* type) = 0;
    virtual HRESULT GetStatus(HRESULT* status) = 0;
    virtual HRESULT GetValue(PROPVARIANT* value) = 0;  // a copy; the caller clears it
};
inline constexpr IID IID_IMFMediaEvent = IMFMediaEvent::kIid;

HRESULT MFCreateMediaEvent(MediaEventType type, HRESULT status, const PROPVARIANT* value,
                           IMFMediaEvent** event);

// ---- services ---------------------------------------------------------------------------

struct IMFGetService : IUnknown {
    static constexpr IID kIid = MakeGuid("e628b62d-d0bf-48d9-a85c-d82ff877172f");
    virtual HRESULT GetService(const GUID& service, const IID& iid, void** object) = 0;
};
inline constexpr IID IID_IMFGetService = IMFGetService::kIid;

// Asks an object for a service through its IMFGetService; MF_E_UNSUPPORTED_SERVICE when it
// has none.
HRESULT MFGetService(IUnknown* object, const GUID& service, const IID& iid, void** result);

inline constexpr GUID MR_BUFFER_SERVICE = MakeGuid("aac227a2-3e11-467d-8fe5-616c4e6bcc1d");

// The system time of the clocks, in 100-ns units (a monotonic clock).
MFTIME MFGetSystemTime();

}  // namespace orv
