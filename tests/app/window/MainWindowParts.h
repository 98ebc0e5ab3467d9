// The main window's buttons and panes as its children: a button by the command it sends,
// a pane by its kind.
#pragma once

#include <cstddef>

#include "app/commands/ControlRules.h"
#include "ui/SkinButton.h"

namespace orv::test {

inline CSkinButton* ButtonOfCommand(const QWidget& window, int command) {
    for (QObject* child : window.children())
        if (auto* button = dynamic_cast<CSkinButton*>(child); button && button->GetDlgCtrlID() == command) return button;
    return nullptr;
}

inline CSkinButton* TransportButtonOf(const QWidget& window, int button) {
    return ButtonOfCommand(window, kTransportButtons[std::size_t(button)].command);
}

inline CSkinButton* TitleButtonOf(const QWidget& window, int button) {
    return ButtonOfCommand(window, kTitleButtons[std::size_t(button)].command);
}

template <class Pane>
Pane* ChildPaneOf(const QWidget& window) {
    for (QObject* child : window.children())
        if (auto* pane = dynamic_cast<Pane*>(child)) return pane;
    return nullptr;
}

}  // namespace orv::test
