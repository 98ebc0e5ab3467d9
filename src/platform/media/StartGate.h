// Starts shared by several sessions: each session that plays from a seek waits here, once it
// has its first picture, until every other has its own (or the time limit has passed), and
// then all start their clocks from the same system time. The first session to join leads:
// one whose position lies within kAlignLimit of the leader's runs from the leader's position,
// so a companion sought to the frame on screen at that moment runs at the very same time.
//
// The caller who made the gate joins its members one by one and seals it when no more come;
// a member that will not arrive after all leaves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/media/ComBase.h"

namespace orv {

class StartGate {
public:
    // A member whose position differs from the leader's by more than this (100 ns) keeps
    // its own: it is not at the same moment.
    static constexpr LONGLONG kAlignLimit = 2500000;

    // limit: how long the first arrival waits at most for the others.
    static std::shared_ptr<StartGate> Create(std::chrono::milliseconds limit);

    // One more member; its rank (0: the leader).
    int Join();
    // A member that will not arrive.
    void Leave();
    // No member joins after this.
    void Seal();

    struct Moment {
        MFTIME system = 0;    // the common start, system time (100 ns)
        LONGLONG position = 0;  // where the member's clock runs from at that time (100 ns)
    };
    // The member has its first picture at `position`: waits until all have, the limit has
    // passed or `cancelled` says so (asked every few milliseconds), and gives its start.
    Moment Arrive(int rank, LONGLONG position, const std::function<bool()>& cancelled);

private:
    explicit StartGate(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}
    bool Complete() const { return sealed_ && arrived_ >= joined_; }  // under mutex_

    const std::chrono::steady_clock::time_point deadline_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int joined_ = 0;
    int arrived_ = 0;
    int ranks_ = 0;
    bool sealed_ = false;
    bool released_ = false;
    bool leaderArrived_ = false;
    LONGLONG leaderPosition_ = 0;
    MFTIME system_ = 0;
};

// A clock change shared by several sessions (a new rate): the first session to carry it out
// fixes the moment at its system time, and every other changes its clock as of that same
// time, however much later it gets to it, so that their clocks stay in step.
class SharedMoment {
public:
    // The moment (system time, 100 ns), fixed by the first call.
    MFTIME Take();

private:
    std::mutex mutex_;
    bool taken_ = false;
    MFTIME system_ = 0;
};

}  // namespace orv
