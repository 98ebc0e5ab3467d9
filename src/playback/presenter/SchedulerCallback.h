// What the scheduler presents its samples through: the present engine.
#pragma once

#include "platform/media/MediaObjects.h"

namespace orv {

class SchedulerCallback {
public:
    virtual ~SchedulerCallback() = default;
    // Shows the sample; target is its presentation time (100 ns), 0 when shown at once.
    virtual HRESULT PresentSample(IMFSample* sample, LONGLONG target) = 0;
};

}  // namespace orv
