#include "platform/media/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "platform/media/MediaErrors.h"
#include "platform/media/MediaTime.h"

namespace orv {

HRESULT AudioDecoder::Open(const AVStream* stream, std::int64_t startTime, std::unique_ptr<AudioDecoder>* decoder) {
    if (!stream || !decoder) return E_POINTER;
    std::unique_ptr<AudioDecoder> d(new AudioDecoder);
    d->stream_ = stream;
    d->startTime_ = startTime;
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return MF_E_TOPO_CODEC_NOT_FOUND;
    d->context_ = avcodec_alloc_context3(codec);
    if (!d->context_) return E_OUTOFMEMORY;
    if (avcodec_parameters_to_context(d->context_, stream->codecpar) < 0) return MF_E_TOPO_CODEC_NOT_FOUND;
    d->context_->pkt_timebase = stream->time_base;
    if (avcodec_open2(d->context_, codec, nullptr) < 0) return MF_E_TOPO_CODEC_NOT_FOUND;
    d->rate_ = d->context_->sample_rate;
    d->channels_ = d->context_->ch_layout.nb_channels == 1 ? 1 : 2;
    if (d->rate_ <= 0 || d->context_->ch_layout.nb_channels <= 0) return MF_E_TOPO_CODEC_NOT_FOUND;
    d->frame_ = MakeFrame();
    if (!d->frame_) return E_OUTOFMEMORY;
    *decoder = std::move(d);
    return S_OK;
}

AudioDecoder::~AudioDecoder() {
    swr_free(&resampler_);
    avcodec_free_context(&context_);
}

int AudioDecoder::Send(const AVPacket* packet) { return avcodec_send_packet(context_, packet); }

int AudioDecoder::Receive(AudioChunk* chunk) {
    int r = avcodec_receive_frame(context_, frame_.get());
    if (r < 0) return r;
    AVFrame* f = frame_.get();
    if (!resampler_) {
        AVChannelLayout out;
        av_channel_layout_default(&out, channels_);
        // The frames keep the stream's layout and format; a change mid-stream is not expected
        // of a recorder's movie and would be converted as the first frame was.
        r = swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, rate_, &f->ch_layout,
                                AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        if (r < 0 || swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            av_frame_unref(f);
            return r < 0 ? r : AVERROR(EINVAL);
        }
    }
    const std::int64_t ts = f->best_effort_timestamp;
    chunk->time = ts != AV_NOPTS_VALUE ? FromStreamTime(ts, stream_->time_base) - startTime_ : nextTime_;
    const int capacity = swr_get_out_samples(resampler_, f->nb_samples);
    chunk->samples.resize(std::size_t(std::max(capacity, 0)) * std::size_t(channels_));
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(chunk->samples.data())};
    const int n = swr_convert(resampler_, out, capacity, const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    av_frame_unref(f);
    if (n < 0) return n;
    chunk->samples.resize(std::size_t(n) * std::size_t(channels_));
    nextTime_ = chunk->time + std::int64_t(n) * 10000000 / rate_;
    return 0;
}

void AudioDecoder::Flush() {
    avcodec_flush_buffers(context_);
    if (resampler_) swr_init(resampler_);  // drops what it held back
}

}  // namespace orv
