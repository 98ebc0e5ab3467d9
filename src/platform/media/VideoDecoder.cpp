#include "platform/media/VideoDecoder.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

#include "platform/media/MediaErrors.h"

namespace orv {

namespace {

// Decoding threads per stream: more add delay and memory for little gain, and two channels
// and a preview may decode at once.
constexpr unsigned kMaxThreads = 4;
// What one thread is given: a full-HD picture 30 times a second. One thread decodes that
// in a small part of a core, even at double speed; frame threads would cost about half as
// much CPU again for the same pictures (each keeps a context of its own and they wait on
// each other).
constexpr double kPixelsPerThread = 1920.0 * 1088.0 * 30.0;
constexpr double kAssumedRate = 30.0;

AVPixelFormat PickFormat(AVCodecContext*, const AVPixelFormat* formats) {
    for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == AV_PIX_FMT_VAAPI) return *f;
    // No hardware path for this stream: the first format decoded in memory.
    for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(*f);
        if (d && !(d->flags & AV_PIX_FMT_FLAG_HWACCEL)) return *f;
    }
    return AV_PIX_FMT_NONE;
}

}  // namespace

unsigned DecodingThreads(int width, int height, double frameRate, unsigned cores) {
    const double rate = frameRate > 0 && frameRate < 1000 ? frameRate : kAssumedRate;
    const double pixels = double(std::max(width, 0)) * double(std::max(height, 0)) * rate;
    const double wanted = std::ceil(pixels / kPixelsPerThread);
    const unsigned limit = std::clamp(cores, 1u, kMaxThreads);
    return wanted >= double(limit) ? limit : std::max(1u, unsigned(wanted));
}

HRESULT VideoDecoder::Open(const AVStream* stream, bool hardware, std::unique_ptr<VideoDecoder>* decoder) {
    if (!stream || !decoder) return E_POINTER;
    std::unique_ptr<VideoDecoder> d(new VideoDecoder);
    d->stream_ = stream;
    HRESULT hr = d->OpenContext(hardware);
    if (FAILED(hr) && hardware) hr = d->OpenContext(false);
    if (FAILED(hr)) return hr;
    d->hwFrame_ = MakeFrame();
    if (!d->hwFrame_) return E_OUTOFMEMORY;
    *decoder = std::move(d);
    return S_OK;
}

HRESULT VideoDecoder::OpenContext(bool hardware) {
    avcodec_free_context(&context_);
    av_buffer_unref(&hwDevice_);
    const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (!codec) return MF_E_TOPO_CODEC_NOT_FOUND;
    context_ = avcodec_alloc_context3(codec);
    if (!context_) return E_OUTOFMEMORY;
    if (avcodec_parameters_to_context(context_, stream_->codecpar) < 0) return MF_E_TOPO_CODEC_NOT_FOUND;
    context_->pkt_timebase = stream_->time_base;
    if (hardware) {
        if (av_hwdevice_ctx_create(&hwDevice_, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0)
            return MF_E_TOPO_CODEC_NOT_FOUND;
        context_->hw_device_ctx = av_buffer_ref(hwDevice_);
        context_->get_format = &PickFormat;
    } else {
        const AVCodecParameters* p = stream_->codecpar;
        context_->thread_count = int(DecodingThreads(p->width, p->height, av_q2d(stream_->avg_frame_rate),
                                                     std::thread::hardware_concurrency()));
        context_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(context_, codec, nullptr) < 0) return MF_E_TOPO_CODEC_NOT_FOUND;
    return S_OK;
}

VideoDecoder::~VideoDecoder() {
    avcodec_free_context(&context_);
    av_buffer_unref(&hwDevice_);
}

int VideoDecoder::Send(const AVPacket* packet) { return avcodec_send_packet(context_, packet); }

int VideoDecoder::Receive(AVFrame* frame) {
    if (!hwDevice_) return avcodec_receive_frame(context_, frame);
    int r = avcodec_receive_frame(context_, hwFrame_.get());
    if (r < 0) return r;
    if (hwFrame_->format != AV_PIX_FMT_VAAPI) {  // decoded in memory after all
        av_frame_move_ref(frame, hwFrame_.get());
        return 0;
    }
    r = av_hwframe_transfer_data(frame, hwFrame_.get(), 0);
    if (r >= 0) r = av_frame_copy_props(frame, hwFrame_.get());
    av_frame_unref(hwFrame_.get());
    if (r < 0) {
        // The hardware path failed: go on in software from the next key frame.
        if (FAILED(OpenContext(false))) return r;
        switched_ = true;
        return AVERROR(EAGAIN);
    }
    return 0;
}

void VideoDecoder::Flush() { avcodec_flush_buffers(context_); }

bool VideoDecoder::SwitchedToSoftware() { return std::exchange(switched_, false); }

void VideoDecoder::SetSkipNonReference(bool skip) { context_->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT; }

}  // namespace orv
