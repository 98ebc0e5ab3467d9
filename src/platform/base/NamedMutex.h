// Named mutexes shared within the process.
//
// Code that creates a mutex by a name expects every creator of that name to get the
// same lock. Here the names live in a process-local registry: opening a name that is
// open already gives the same mutex. The mutex is recursive, as the owner of a named
// mutex may take it again without blocking.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace orv {

using NamedMutexHandle = std::shared_ptr<std::recursive_mutex>;

// The mutex of this name, created when no holder of the name is left. Never null.
NamedMutexHandle OpenNamedMutex(const std::string& name);

}  // namespace orv
