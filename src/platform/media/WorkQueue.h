// The process's work queue: a few threads that run callbacks handed over by any thread, for
// work that must not run on the thread that caused it (a released sample going back to its
// presenter, which may be holding locks at the time of the release).
#pragma once

#include <functional>

namespace orv {

// Runs the job on one of the work-queue threads, in no guaranteed order with other jobs.
void PostWork(std::function<void()> job);

}  // namespace orv
