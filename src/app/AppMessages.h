// The one table of the program's private messages: value, how it travels, who sends and
// who receives it, what wParam and lParam carry and what the receiver does. The values
// themselves are the AppMessage enum of the platform layer; this table describes them.
//
// A posted message carries no pointer whose owner may end before the receiver runs. Where
// a payload's ownership passes to the receiver, it travels as a ticket of the payload
// store below: the store owns the object until the receiver takes it, and frees it when
// the post fails or the receiving window goes away first, so nothing can leak.
#pragma once

#include <cstdint>
#include <memory>
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

// ---- payloads whose ownership passes ------------------------------------------------

using PayloadTicket = std::uintptr_t;  // never 0

// Keeps `payload` for `receiver` and posts the ticket as wParam (lParam as given).
// False, with the payload freed, when the window takes no messages.
bool PostOwnedPayload(HWND receiver, unsigned msg, std::shared_ptr<void> payload, LPARAM lParam = 0);

// The receiver takes its payload: null when the ticket is unknown or was taken already.
std::shared_ptr<void> TakePayload(PayloadTicket ticket);

// Frees every payload still waiting for `receiver` (its window is going away).
void DropPayloadsOf(HWND receiver);

// Payloads waiting in the store (for the tests).
std::size_t PendingPayloadCount();

// ---- the selection that a data load belongs to --------------------------------------

// WM_APP_DATA_LOADED carries the serial of the selection that started the load in wParam
// and OpenDataFile's result in lParam; the receiver drops one whose serial is not the
// current selection's (a late answer to an older selection).
inline bool IsCurrentDataLoad(WPARAM serial, std::uint64_t currentSerial) { return serial == currentSerial; }

}  // namespace orv
