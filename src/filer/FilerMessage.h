// The messages of the browser's dialogs: a text of the UI text table in the skinned message
// box, captioned "ERROR", with an OK button. Tests install a hook that opens no window.
#pragma once

#include <functional>

class QWidget;

namespace orv {

// (text id) -> the button that ended the box.
using FilerMessageHook = std::function<int(int textId)>;

// An empty hook restores the message box.
void SetFilerMessageHook(FilerMessageHook hook);

int ShowFilerMessage(QWidget* parent, int textId);

}  // namespace orv
