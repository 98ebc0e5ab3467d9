#include "platform/media/AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMediaDevices>

namespace orv {

namespace {

// The device holds this much ahead of the clock (seconds): enough to ride over a busy
// moment, little enough that a pause or a seek is heard at once.
constexpr double kDeviceBufferSeconds = 0.25;

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::OpenDefault(int sampleRate, int channels) {
    if (!QCoreApplication::instance()) return nullptr;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return nullptr;
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return nullptr;

    std::unique_ptr<AudioOutput> out(new AudioOutput);
    out->sampleRate_ = sampleRate;
    out->events_ = std::make_unique<QEventLoop>();
    out->sink_ = std::make_unique<QAudioSink>(device, format);
    out->sink_->setBufferSize(qsizetype(format.bytesForDuration(qint64(kDeviceBufferSeconds * 1e6))));
    out->device_ = out->sink_->start();
    if (!out->device_ || out->sink_->error() != QAudio::NoError) return nullptr;
    return out;
}

AudioOutput::~AudioOutput() {
    if (sink_) sink_->stop();
    sink_.reset();
    if (events_) events_->processEvents();  // what the sink left queued for this thread
}

void AudioOutput::ProcessEvents() {
    if (events_) events_->processEvents();
}

std::int64_t AudioOutput::BytesFree() const { return device_ ? sink_->bytesFree() : 0; }

std::int64_t AudioOutput::Write(const char* data, std::int64_t bytes) {
    if (!device_) return 0;
    const qint64 n = device_->write(data, bytes);
    return n < 0 ? 0 : n;
}

std::int64_t AudioOutput::PlayedFrames() const {
    return device_ ? std::int64_t(sink_->processedUSecs()) * sampleRate_ / 1000000 : 0;
}

void AudioOutput::Suspend() {
    if (!suspended_) sink_->suspend();
    suspended_ = true;
}

void AudioOutput::Resume() {
    if (suspended_) sink_->resume();
    suspended_ = false;
}

void AudioOutput::Reset() {
    sink_->stop();
    device_ = sink_->start();
    suspended_ = false;
}

}  // namespace orv
