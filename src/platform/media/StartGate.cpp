#include "platform/media/StartGate.h"

#include <cstdlib>

#include "platform/media/MediaFoundation.h"

namespace orv {

namespace {

// How often a waiting member asks whether its session is closing.
constexpr auto kCancelPoll = std::chrono::milliseconds(5);

}  // namespace

std::shared_ptr<StartGate> StartGate::Create(std::chrono::milliseconds limit) {
    return std::shared_ptr<StartGate>(new StartGate(std::chrono::steady_clock::now() + limit));
}

int StartGate::Join() {
    std::lock_guard lock(mutex_);
    ++joined_;
    return ranks_++;
}

void StartGate::Leave() {
    {
        std::lock_guard lock(mutex_);
        --joined_;
    }
    wake_.notify_all();
}

void StartGate::Seal() {
    {
        std::lock_guard lock(mutex_);
        sealed_ = true;
    }
    wake_.notify_all();
}

StartGate::Moment StartGate::Arrive(int rank, LONGLONG position, const std::function<bool()>& cancelled) {
    std::unique_lock lock(mutex_);
    ++arrived_;
    if (rank == 0) {
        leaderArrived_ = true;
        leaderPosition_ = position;
    }
    wake_.notify_all();
    while (!released_ && !Complete() && std::chrono::steady_clock::now() < deadline_) {
        if (cancelled && cancelled()) {
            // A closing session leaves without holding the others.
            --arrived_;
            --joined_;
            wake_.notify_all();
            return Moment{MFGetSystemTime(), position};
        }
        wake_.wait_for(lock, kCancelPoll);
    }
    if (!released_) {
        // The last to arrive (or the first to give up waiting) sets the moment for all; one
        // that comes later still runs from it, so its clock is in step from its start.
        released_ = true;
        system_ = MFGetSystemTime();
        wake_.notify_all();
    }
    Moment moment{system_, position};
    if (leaderArrived_ && std::llabs(position - leaderPosition_) <= kAlignLimit) moment.position = leaderPosition_;
    return moment;
}

MFTIME SharedMoment::Take() {
    std::lock_guard lock(mutex_);
    if (!taken_) system_ = MFGetSystemTime();
    taken_ = true;
    return system_;
}

}  // namespace orv
