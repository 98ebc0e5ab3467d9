// Turning a failed platform call of the playback engine into a message for the user.
#pragma once

#include <string>

#include "platform/base/WinTypes.h"

namespace orv {

// The text shown when a codec is missing (0x80040200); the main window sets it to its
// text 113 at start-up. Null or empty: that code is shown as any other.
extern const char* g_pszCodecText;

// The text of a failure code: the name of a code the engine meets often, the codec text,
// else "Unknown 0x%x" with the code in hexadecimal.
std::string HResultText(HRESULT hr);

// 1 for a success code. A failure code is reported under the caption "ERROR" through the
// error-report hook (the UI shows the box; a worker thread never does) and gives 0.
int ShowHResult(HRESULT hr);

}  // namespace orv
