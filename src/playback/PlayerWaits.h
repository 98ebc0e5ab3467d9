// How long the UI thread waits for the players. Every wait for a player (a pause to be carried
// out, a seek's picture, a close) ends at the deadline of the call it belongs to: all the waits
// of one call share kPlayerWaitBudget from the first of them on, so that players that stop
// answering hold the window no longer than that in all. A player whose wait runs out is left
// behind: the calls after it go on without waiting for it until it has caught up.
//
// A call ends where its thread goes back to waiting for events (EndPlayerWaitCall, which the
// window's event loop calls). On a thread that never says so, the outermost PlayerWaitScope
// is the call.
#pragma once

#include <chrono>

namespace orv {

constexpr std::chrono::milliseconds kPlayerWaitBudget{500};

// The deadline of this thread's call, set by the first wait of the call.
std::chrono::steady_clock::time_point PlayerWaitDeadline();

// The thread is back in its event loop: its next wait starts a call of its own. From the first
// time a thread says so, only this ends its calls.
void EndPlayerWaitCall();

// Waits made while it lives belong to one call (scopes nest).
class PlayerWaitScope {
public:
    PlayerWaitScope();
    ~PlayerWaitScope();
    PlayerWaitScope(const PlayerWaitScope&) = delete;
    PlayerWaitScope& operator=(const PlayerWaitScope&) = delete;
};

}  // namespace orv
