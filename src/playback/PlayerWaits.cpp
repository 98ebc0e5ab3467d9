#include "playback/PlayerWaits.h"

#include <optional>

namespace orv {

namespace {

struct CallBudget {
    std::optional<std::chrono::steady_clock::time_point> deadline;
    int scopes = 0;
    bool loopEndsCalls = false;  // the thread's event loop says when a call ends
};

thread_local CallBudget t_budget;

}  // namespace

std::chrono::steady_clock::time_point PlayerWaitDeadline() {
    if (!t_budget.deadline) t_budget.deadline = std::chrono::steady_clock::now() + kPlayerWaitBudget;
    return *t_budget.deadline;
}

void EndPlayerWaitCall() {
    t_budget.loopEndsCalls = true;
    t_budget.deadline.reset();
}

PlayerWaitScope::PlayerWaitScope() { ++t_budget.scopes; }

PlayerWaitScope::~PlayerWaitScope() {
    if (--t_budget.scopes == 0 && !t_budget.loopEndsCalls) t_budget.deadline.reset();
}

}  // namespace orv
