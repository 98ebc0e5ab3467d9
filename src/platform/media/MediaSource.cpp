#include "platform/media/MediaSource.h"

#include <limits>

extern "C" {
#include <libavformat/avformat.h>
}

namespace orv {

namespace {

GUID MajorTypeOf(const AVStream* st) {
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        // A cover picture is a one-frame "video" stream that is not a movie.
        return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) ? MFMediaType_Binary : MFMediaType_Video;
    case AVMEDIA_TYPE_AUDIO:
        return MFMediaType_Audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return MFMediaType_Subtitle;
    default:
        return MFMediaType_Binary;
    }
}

GUID SubtypeOf(const AVCodecParameters* par) {
    switch (par->codec_id) {
    case AV_CODEC_ID_H264: return MFVideoFormat_H264;
    case AV_CODEC_ID_HEVC: return MFVideoFormat_HEVC;
    case AV_CODEC_ID_AAC: return MFAudioFormat_AAC;
    default: return MakeFormatGuid(par->codec_tag ? par->codec_tag : std::uint32_t(par->codec_id));
    }
}

UINT32 MatrixOf(AVColorSpace space) {
    switch (space) {
    case AVCOL_SPC_BT709: return MFVideoTransferMatrix_BT709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return MFVideoTransferMatrix_BT601;
    case AVCOL_SPC_SMPTE240M: return MFVideoTransferMatrix_SMPTE240M;
    default: return MFVideoTransferMatrix_Unknown;
    }
}

UINT32 RangeOf(const AVCodecParameters* par) {
    if (par->color_range == AVCOL_RANGE_JPEG) return MFNominalRange_0_255;
    if (par->color_range == AVCOL_RANGE_MPEG) return MFNominalRange_16_235;
    switch (par->format) {
    case AV_PIX_FMT_YUVJ420P:  // the yuvj formats are full range by definition
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: return MFNominalRange_0_255;
    default: return MFNominalRange_Unknown;
    }
}

ComPtr<IMFMediaType> MediaTypeOf(const AVStream* st, const GUID& major) {
    ComPtr<IMFMediaType> t;
    MFCreateMediaType(t.ReleaseAndGetAddressOf());
    const AVCodecParameters* par = st->codecpar;
    t->SetGUID(MF_MT_MAJOR_TYPE, major);
    t->SetGUID(MF_MT_SUBTYPE, SubtypeOf(par));
    t->SetUINT32(MF_MT_COMPRESSED, 1);
    if (major == MFMediaType_Video) {
        MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, UINT32(par->width), UINT32(par->height));
        AVRational avg = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (avg.num > 0 && avg.den > 0) MFSetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, UINT32(avg.num), UINT32(avg.den));
        if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0)
            MFSetAttributeRatio(t.Get(), MF_MT_REAL_FRAME_RATE, UINT32(st->r_frame_rate.num), UINT32(st->r_frame_rate.den));
        AVRational par_ = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
        if (par_.num <= 0 || par_.den <= 0) par_ = AVRational{1, 1};
        MFSetAttributeRatio(t.Get(), MF_MT_PIXEL_ASPECT_RATIO, UINT32(par_.num), UINT32(par_.den));
        const bool progressive = par->field_order == AV_FIELD_PROGRESSIVE || par->field_order == AV_FIELD_UNKNOWN;
        t->SetUINT32(MF_MT_INTERLACE_MODE, progressive ? MFVideoInterlace_Progressive
                                                       : MFVideoInterlace_MixedInterlaceOrProgressive);
        t->SetUINT32(MF_MT_YUV_MATRIX, MatrixOf(par->color_space));
        t->SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, RangeOf(par));
    } else if (major == MFMediaType_Audio) {
        t->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, UINT32(par->sample_rate));
        t->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, UINT32(par->ch_layout.nb_channels));
    }
    return t;
}

}  // namespace

HRESULT StreamDescriptor::GetStreamIdentifier(DWORD* id) {
    if (!id) return E_POINTER;
    *id = id_;
    return S_OK;
}

HRESULT StreamDescriptor::GetMediaTypeHandler(IMFMediaTypeHandler** handler) {
    if (!handler) return E_POINTER;
    *handler = this;
    AddRef();
    return S_OK;
}

HRESULT StreamDescriptor::GetMajorType(GUID* majorType) {
    if (!majorType) return E_POINTER;
    *majorType = majorType_;
    return S_OK;
}

HRESULT StreamDescriptor::GetCurrentMediaType(IMFMediaType** type) { return type_.CopyTo(type); }

PresentationDescriptor::PresentationDescriptor(std::vector<Entry> streams, UINT64 duration)
    : streams_(std::move(streams)) {
    attributes_.Set(MF_PD_DURATION, duration);
}

HRESULT PresentationDescriptor::GetStreamDescriptorCount(DWORD* count) {
    if (!count) return E_POINTER;
    std::lock_guard lock(mutex_);
    *count = DWORD(streams_.size());
    return S_OK;
}

HRESULT PresentationDescriptor::GetStreamDescriptorByIndex(DWORD index, BOOL* selected,
                                                          IMFStreamDescriptor** descriptor) {
    if (!selected || !descriptor) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (index >= streams_.size()) return E_INVALIDARG;
    *selected = streams_[index].selected ? TRUE : FALSE;
    *descriptor = streams_[index].stream.Get();
    (*descriptor)->AddRef();
    return S_OK;
}

HRESULT PresentationDescriptor::SelectStream(DWORD index) {
    std::lock_guard lock(mutex_);
    if (index >= streams_.size()) return E_INVALIDARG;
    streams_[index].selected = true;
    return S_OK;
}

HRESULT PresentationDescriptor::DeselectStream(DWORD index) {
    std::lock_guard lock(mutex_);
    if (index >= streams_.size()) return E_INVALIDARG;
    streams_[index].selected = false;
    return S_OK;
}

ComPtr<PresentationDescriptor> PresentationDescriptor::Clone() {
    UINT64 duration = 0;
    attributes_.Get(MF_PD_DURATION, &duration);
    std::lock_guard lock(mutex_);
    return AdoptRef(new PresentationDescriptor(streams_, duration));
}

HRESULT MediaSource::Create(const std::string& path, ComPtr<MediaSource>* source) {
    if (!source) return E_POINTER;
    std::unique_ptr<Demuxer> demuxer;
    HRESULT hr = Demuxer::Open(path, &demuxer);
    if (FAILED(hr)) return hr;

    const AVFormatContext* fmt = demuxer->Format();
    std::vector<PresentationDescriptor::Entry> streams;
    bool haveVideo = false, haveAudio = false;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        const GUID major = MajorTypeOf(st);
        // A stream whose index lists no sample, or none within the file, has nothing to play.
        const std::int64_t samplesEnd = demuxer->SamplesEnd(int(i));
        const bool empty = demuxer->IndexedUpFront() && (demuxer->IndexedSamples(int(i)) == 0 || samplesEnd <= 0);
        // The engine renders one video and one audio stream; everything else is left out.
        bool selected = false;
        if (major == MFMediaType_Video && !haveVideo && !empty) selected = haveVideo = true;
        if (major == MFMediaType_Audio && !haveAudio && !empty) selected = haveAudio = true;
        auto descriptor = AdoptRef(new StreamDescriptor(DWORD(i), major, MediaTypeOf(st, major)));
        if (samplesEnd != std::numeric_limits<std::int64_t>::max())
            descriptor->SetUINT64(MF_SD_SAMPLES_END, UINT64(samplesEnd));
        streams.push_back({std::move(descriptor), selected});
    }
    if (!haveVideo && !haveAudio) return MF_E_INVALID_FILE_FORMAT;

    auto made = AdoptRef(new MediaSource);
    made->descriptor_ = AdoptRef(new PresentationDescriptor(std::move(streams), UINT64(demuxer->Duration())));
    made->demuxer_ = std::move(demuxer);
    *source = std::move(made);
    return S_OK;
}

HRESULT MediaSource::CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) {
    if (!descriptor) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!demuxer_) return MF_E_SHUTDOWN;
    *descriptor = descriptor_->Clone().Detach();
    return S_OK;
}

HRESULT MediaSource::Shutdown() {
    std::lock_guard lock(mutex_);
    if (!demuxer_) return MF_E_SHUTDOWN;
    demuxer_->Interrupt();
    demuxer_.reset();
    return S_OK;
}

std::shared_ptr<Demuxer> MediaSource::GetDemuxer() {
    std::lock_guard lock(mutex_);
    return demuxer_;
}

HRESULT MFCreateSourceFromURL(const std::string& path, IMFMediaSource** source) {
    if (!source) return E_POINTER;
    *source = nullptr;
    ComPtr<MediaSource> made;
    HRESULT hr = MediaSource::Create(path, &made);
    if (SUCCEEDED(hr)) *source = made.Detach();
    return hr;
}

}  // namespace orv
