#include "platform/base/NamedMutex.h"

#include <map>

namespace orv {

NamedMutexHandle OpenNamedMutex(const std::string& name) {
    static std::mutex registryLock;
    static std::map<std::string, std::weak_ptr<std::recursive_mutex>, std::less<>> registry;

    std::lock_guard<std::mutex> guard(registryLock);
    std::weak_ptr<std::recursive_mutex>& slot = registry[name];
    NamedMutexHandle mutex = slot.lock();
    if (!mutex) {
        mutex = std::make_shared<std::recursive_mutex>();
        slot = mutex;
    }
    return mutex;
}

}  // namespace orv
