#include "filer/FilerMessage.h"

#include <QString>

#include "ui/MsgBox.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

FilerMessageHook& Hook() {
    static FilerMessageHook hook;
    return hook;
}

}  // namespace

void SetFilerMessageHook(FilerMessageHook hook) { Hook() = std::move(hook); }

int ShowFilerMessage(QWidget* parent, int textId) {
    if (Hook()) return Hook()(textId);
    CMsgBox box(parent);
    return box.Show(QString::fromUtf8(UiText(textId)), QStringLiteral("ERROR"), MSGBOX_OK);
}

}  // namespace orv
