// The update dialog's message and close button, found by their names.
#pragma once

#include <QLabel>
#include <QPushButton>

#include "app/update/UpdateDialog.h"

namespace orv::test {

inline QLabel* MessageOf(const CUpdateDialog& dialog) {
    return dialog.findChild<QLabel*>(QStringLiteral("UpdateMessage"));
}

inline QPushButton* CloseButtonOf(const CUpdateDialog& dialog) {
    return dialog.findChild<QPushButton*>(QStringLiteral("CloseButton"));
}

}  // namespace orv::test
