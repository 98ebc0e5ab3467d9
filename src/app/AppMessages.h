// The one table of the program's private messages: value, how it travels, who sends and
// who receives it, what wParam and lParam carry and what the receiver does. The values
// themselves are the AppMessage enum of the platform layer; this table describes them.
//
// A posted message carries no pointer whose owner may end before the receiver runs. Where
// a payload's ownership passes to the receiver, it travels as a ticket of the payload
// store of platform/base/AppMessage.h, which frees it when the post fails or the
// receiving window goes away first.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/base/AppMessage.h"

namespace orv {

enum class MessageTravel : std::uint8_t {
    Posted,  // PostAppMessage from any thread
    Sent,    // a call on the UI thread that waits for the answer
    Called,  // the sender calls the receiver's handler directly with the same arguments
};

struct AppMessageInfo {
    unsigned value;
    std::string_view name;
    MessageTravel travel;
    std::string_view sender;
    std::string_view receiver;  // and its handler
    std::string_view wParam;
    std::string_view lParam;
    std::string_view effect;
    bool ownershipPasses;  // a payload travels as a ticket of the payload store
};

// Every message, in value order of the table's groups.
std::span<const AppMessageInfo> AppMessageTable();

// The row of a value; null for a value that is not a private message.
const AppMessageInfo* FindAppMessage(unsigned value);

// ---- the selection that a data load belongs to --------------------------------------

// WM_APP_DATA_LOADED carries the serial of the selection that started the load in wParam
// and OpenDataFile's result in lParam; the receiver drops one whose serial is not the
// current selection's (a late answer to an older selection).
inline bool IsCurrentDataLoad(WPARAM serial, std::uint64_t currentSerial) { return serial == currentSerial; }

}  // namespace orv
