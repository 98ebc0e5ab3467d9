#include "platform/media/PlaybackPipeline.h"

#include <pthread.h>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/media/MediaErrors.h"
#include "platform/media/MediaTime.h"

namespace orv {

namespace {

// The reader stops reading ahead when the queued packets hold this many bytes, or when every
// stream has this many packets waiting.
constexpr std::size_t kQueueBytes = 32u << 20;
constexpr std::size_t kEnoughPackets = 60;
// A frame counts as the one shown at the target when it lasts beyond the target by more than
// this (100 ns): positions computed from frame numbers in single precision may fall a hair
// before the frame's own time.
constexpr LONGLONG kTargetSlack = 10000;
// How far the reader first goes back when the key frame lay after the target (100 ns); it
// doubles on each further try.
constexpr LONGLONG kFirstStepBack = 10000000;
// The duration of a frame that does not say (100 ns, one frame at 30 per second).
constexpr LONGLONG kDefaultFrameDuration = 333333;

}  // namespace

std::shared_ptr<PlaybackPipeline> PlaybackPipeline::Start(Config config) {
    std::shared_ptr<PlaybackPipeline> p(new PlaybackPipeline(std::move(config)));
    p->Spawn(&PlaybackPipeline::RunReader, "orv-mf-read");
    if (p->config_.video) p->Spawn(&PlaybackPipeline::RunVideo, "orv-mf-video");
    if (p->config_.audio) p->Spawn(&PlaybackPipeline::RunAudio, "orv-mf-sound");
    return p;
}

PlaybackPipeline::PlaybackPipeline(Config config) : config_(std::move(config)) {
    videoQueue_.stream = config_.video ? config_.videoStream : -1;
    audioQueue_.stream = config_.audio ? config_.audioStream : -1;
}

PlaybackPipeline::~PlaybackPipeline() { config_.demuxer->Release(); }

void PlaybackPipeline::Spawn(void (PlaybackPipeline::*run)(), const char* name) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(mutex_);
    ++running_;
    std::thread t([self = shared_from_this(), run, ended] {
        (self.get()->*run)();
        std::lock_guard done(self->mutex_);
        ended->store(true);
        --self->running_;
        self->doneWake_.notify_all();
    });
    pthread_setname_np(t.native_handle(), name);
    threads_.emplace_back(std::move(t), std::move(ended));
}

void PlaybackPipeline::ClearQueues() {
    videoQueue_.items.clear();
    videoQueue_.bytes = 0;
    audioQueue_.items.clear();
    audioQueue_.bytes = 0;
}

void PlaybackPipeline::Seek(LONGLONG target, std::uint64_t epoch) {
    {
        std::lock_guard lock(mutex_);
        ClearQueues();
        target_ = Target{serial_.load() + 1, epoch, target, target};
        serial_.store(target_.serial);
        seekPending_ = true;
        halted_ = false;
        endOfFile_ = false;
    }
    readerWake_.notify_all();
    packetWake_.notify_all();
}

void PlaybackPipeline::SeekEarlier(const Target& target) {
    {
        std::lock_guard lock(mutex_);
        if (target.serial != serial_.load()) return;  // a newer seek came meanwhile
        ClearQueues();
        const LONGLONG back = std::max<LONGLONG>(kFirstStepBack, 2 * (target.time - target.position));
        target_ = Target{target.serial + 1, target.epoch, target.time, std::max<LONGLONG>(0, target.time - back)};
        serial_.store(target_.serial);
        seekPending_ = true;
        endOfFile_ = false;
    }
    readerWake_.notify_all();
    packetWake_.notify_all();
}

void PlaybackPipeline::Halt() {
    {
        std::lock_guard lock(mutex_);
        ClearQueues();
        serial_.store(serial_.load() + 1);
        halted_ = true;
        seekPending_ = false;
    }
    packetWake_.notify_all();
}

void PlaybackPipeline::SetThinning(bool thin) { thin_.store(thin); }

void PlaybackPipeline::Abort() {
    abort_.store(true);
    config_.demuxer->Interrupt();
    std::lock_guard lock(mutex_);
    readerWake_.notify_all();
    packetWake_.notify_all();
}

bool PlaybackPipeline::Join(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    doneWake_.wait_until(lock, deadline, [this] { return running_ == 0; });
    auto threads = std::move(threads_);
    lock.unlock();
    bool all = true;
    for (auto& [thread, ended] : threads) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else if (ended->load()) {
            thread.join();
        } else {
            thread.detach();  // stuck in a decoder: it holds the pipeline alive until it returns
            all = false;
        }
    }
    return all;
}

void PlaybackPipeline::RunReader() {
    Demuxer& demuxer = *config_.demuxer;
    PacketPtr packet = MakePacket();
    std::unique_lock lock(mutex_);
    for (;;) {
        readerWake_.wait(lock, [this] {
            if (abort_ || seekPending_) return true;
            if (halted_ || endOfFile_) return false;
            const bool videoFull = videoQueue_.stream < 0 || videoQueue_.items.size() >= kEnoughPackets;
            const bool audioFull = audioQueue_.stream < 0 || audioQueue_.items.size() >= kEnoughPackets;
            return !(videoFull && audioFull) && videoQueue_.bytes + audioQueue_.bytes < kQueueBytes;
        });
        if (abort_) return;
        if (seekPending_) {
            seekPending_ = false;
            const LONGLONG position = target_.position;
            lock.unlock();
            // A movie not read from yet is where a seek to 0 would take it; a pipe cannot seek.
            if (!(position == 0 && demuxer.AtStart())) demuxer.Seek(position);
            lock.lock();
            continue;
        }
        const std::uint64_t serial = serial_.load();
        lock.unlock();
        const int r = demuxer.ReadPacket(packet.get());
        lock.lock();
        if (abort_) return;
        if (serial != serial_.load()) {  // a seek or halt came while reading
            av_packet_unref(packet.get());
            continue;
        }
        if (r < 0) {
            if (r != AVERROR_EOF && config_.onError) config_.onError(MF_E_SOURCE_READ_ERROR);
            endOfFile_ = true;
            for (Queue* q : {&videoQueue_, &audioQueue_})
                if (q->stream >= 0) q->items.push_back(Item{nullptr, serial});
            packetWake_.notify_all();
            continue;
        }
        Queue* q = packet->stream_index == videoQueue_.stream   ? &videoQueue_
                   : packet->stream_index == audioQueue_.stream ? &audioQueue_
                                                                : nullptr;
        if (!q) {
            av_packet_unref(packet.get());
            continue;
        }
        q->bytes += std::size_t(packet->size);
        q->items.push_back(Item{std::exchange(packet, MakePacket()), serial});
        packetWake_.notify_all();
        if (!packet) return;  // out of memory
    }
}

bool PlaybackPipeline::Pop(Queue& queue, Item* item, Target* target) {
    std::unique_lock lock(mutex_);
    packetWake_.wait(lock, [&] { return abort_ || !queue.items.empty(); });
    if (abort_) return false;
    *item = std::move(queue.items.front());
    queue.items.pop_front();
    if (item->packet) queue.bytes -= std::size_t(item->packet->size);
    *target = target_;
    readerWake_.notify_all();
    return true;
}

void PlaybackPipeline::RunVideo() {
    VideoDecoder& decoder = *config_.videoDecoder;
    VideoRenderer& renderer = *config_.video.Get();
    const AVStream* stream = config_.demuxer->Format()->streams[config_.videoStream];
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    const LONGLONG nominal =
        rate.num > 0 && rate.den > 0 ? av_rescale_q(1, AVRational{rate.den, rate.num}, kHundredNs) : kDefaultFrameDuration;

    std::uint64_t serial = 0;
    Target target;
    bool first = true;          // no frame decoded yet in this serial
    std::size_t delivered = 0;  // frames given to the renderer in this serial
    FramePtr dropped;           // the last frame dropped before the target
    LONGLONG droppedTime = 0, droppedDuration = 0;
    LONGLONG nextTime = 0;
    bool thin = false;
    FramePtr frame = MakeFrame();
    Item item;

    // One decoded frame: dropped before the target, given to the renderer from it.
    auto handle = [&](FramePtr f) {
        const std::int64_t ts = f->best_effort_timestamp;
        const LONGLONG time = ts != AV_NOPTS_VALUE
                                  ? FromStreamTime(ts, stream->time_base) - config_.demuxer->StartTime()
                                  : nextTime;
        const LONGLONG duration = f->pkt_duration > 0 ? FromStreamTime(f->pkt_duration, stream->time_base) : nominal;
        nextTime = time + duration;
        if (first) {
            first = false;
            if (time > target.time + kTargetSlack && target.position > 0) {
                SeekEarlier(target);  // the key frame came after the target
                return;
            }
        }
        if (time + duration <= target.time + kTargetSlack) {
            dropped = std::move(f);
            droppedTime = time;
            droppedDuration = duration;
            return;
        }
        if (thin && delivered > 0) {
            LONGLONG now = 0;
            MFTIME system = 0;
            if (config_.clock->Running() && SUCCEEDED(config_.clock->GetCorrelatedTime(0, &now, &system)) &&
                time + duration < now)
                return;  // too late to be shown
        }
        if (!Current(serial)) return;
        if (renderer.DeliverFrame(std::move(f), time, duration, target.epoch)) ++delivered;
    };

    while (Pop(videoQueue_, &item, &target)) {
        if (item.serial != serial) {
            if (!Current(item.serial)) continue;  // queued before a seek
            serial = item.serial;
            decoder.Flush();
            first = true;
            delivered = 0;
            dropped.reset();
        }
        // Thinning starts only once the seek's own frame is out: a frame skipped before it
        // could be the very frame asked for.
        if (const bool wanted = thin_.load() && delivered > 0; thin != wanted) {
            thin = wanted;
            decoder.SetSkipNonReference(thin);
        }
        for (bool again = true; again;) {
            // A full decoder (EAGAIN) takes the packet again once its frames are out.
            again = decoder.Send(item.packet.get()) == AVERROR(EAGAIN);  // null drains
            bool received = false;
            for (;;) {
                const int r = decoder.Receive(frame.get());
                if (r == AVERROR(EAGAIN) && decoder.SwitchedToSoftware()) {
                    SeekEarlier(Target{serial, target.epoch, std::max(target.time, nextTime), nextTime});
                    again = false;
                    break;
                }
                if (r < 0 || abort_ || !Current(serial)) break;
                FramePtr next = MakeFrame();
                if (!next) break;
                std::swap(next, frame);
                handle(std::move(next));
                received = true;
            }
            again = again && received && !abort_ && Current(serial);
        }
        if (!item.packet && Current(serial)) {
            // A seek beyond the last frame shows the last frame.
            if (delivered == 0 && dropped &&
                renderer.DeliverFrame(std::move(dropped), droppedTime, droppedDuration, target.epoch))
                ++delivered;
            renderer.EndOfStream(target.epoch);
        }
    }
}

void PlaybackPipeline::RunAudio() {
    AudioDecoder& decoder = *config_.audioDecoder;
    AudioRenderer& renderer = *config_.audio.Get();
    const int channels = decoder.Channels();
    std::uint64_t serial = 0;
    Target target;
    Item item;
    AudioChunk chunk;
    while (Pop(audioQueue_, &item, &target)) {
        if (item.serial != serial) {
            if (!Current(item.serial)) continue;
            serial = item.serial;
            decoder.Flush();
        }
        decoder.Send(item.packet.get());
        while (decoder.Receive(&chunk) == 0 && !abort_ && Current(serial)) {
            if (chunk.time < target.time) {  // the part before the target is not heard
                const LONGLONG end = chunk.time + LONGLONG(chunk.samples.size() / std::size_t(channels)) *
                                                      10000000 / decoder.SampleRate();
                if (end <= target.time) continue;
                const std::size_t skip =
                    std::size_t((target.time - chunk.time) * decoder.SampleRate() / 10000000) * std::size_t(channels);
                chunk.samples.erase(chunk.samples.begin(),
                                    chunk.samples.begin() + std::ptrdiff_t(std::min(skip, chunk.samples.size())));
                chunk.time = target.time;
            }
            renderer.Render(std::move(chunk), target.epoch);
            chunk = AudioChunk{};
        }
        if (!item.packet && Current(serial)) renderer.EndOfStream(target.epoch);
    }
}

}  // namespace orv
