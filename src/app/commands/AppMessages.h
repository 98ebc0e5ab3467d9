// What the program's private messages carry beyond their values (the AppMessage enum of
// the platform layer).
//
// A posted message carries no pointer whose owner may end before the receiver runs. Where
// a payload's ownership passes to the receiver, it travels as a ticket of the payload
// store of platform/base/AppMessage.h, which frees it when the post fails or the
// receiving window goes away first.
#pragma once

#include <cstdint>

#include "platform/base/AppMessage.h"

namespace orv {

// ---- the selection that a data load belongs to --------------------------------------

// WM_APP_DATA_LOADED carries the serial of the selection that started the load in wParam
// and OpenDataFile's result in lParam; the receiver drops one whose serial is not the
// current selection's (a late answer to an older selection).
inline bool IsCurrentDataLoad(WPARAM serial, std::uint64_t currentSerial) { return serial == currentSerial; }

}  // namespace orv
