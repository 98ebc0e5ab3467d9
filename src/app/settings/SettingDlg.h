// The settings window: six check buttons that choose which kinds of recorder events the
// acceleration graph and the map mark, and the program's version. Modeless, skinned, hidden
// on close; every toggle is posted to the parent window at once as WM_APP_EVENT_FILTER
// (wParam the button's index, lParam 1 checked or 0 cleared). The choices live in memory
// only and start checked. UI thread only.
#pragma once

#include <array>

#include "platform/base/WinTypes.h"
#include "platform/base/AppMessage.h"
#include "ui/SkinDialog.h"

class QGroupBox;
class QLabel;

namespace orv {

class CSkinCheckButton;

constexpr int kEventCheckCount = 6;
constexpr int kEventCheckFirstId = 32968;
constexpr int kVersionStaticId = 32981;
constexpr const char* kProgramVersion = "3.0.0";

// One event button: its command id, label text and design rectangle.
struct EventCheckDef {
    int id;
    int text;
    RECT rect;
};
extern const std::array<EventCheckDef, kEventCheckCount> kEventChecks;

class CSettingDlg : public CSkinDialog {
public:
    // `parent` is the main window: the one that gets the posts and that the window is
    // centred near. `notify` is the handle posted to (0: nothing is posted).
    CSettingDlg(QWidget* parent, HWND notify);

    BOOL OnInitDialog() override;

    // A click on the button of command id `id`; ids other than the six buttons do nothing.
    void OnEventCheck(int id);

    // Sizes the window to 460 x 315 (scaled) and centres it on the full rectangle of the
    // monitor nearest to the parent's top-left corner.
    void CenterOnMonitor();

    // Puts every control at the current scale; the buttons keep their states.
    void Relayout();

    // The version line.
    void MakeVersionText();

    // Locks event button `index` for a recorder without such events: it shows cleared and
    // takes no clicks. Freed again, it shows the user's own choice. Nothing is posted.
    void SetEventLocked(int index, BOOL locked);

    CSkinCheckButton* GetEventButton(int index) const;
    // What the button shows: the user's choice, cleared while locked.
    BOOL IsEventChecked(int index) const;

private:
    void LayoutControls();

    HWND m_hNotify = 0;
    std::array<CSkinCheckButton*, kEventCheckCount> m_aEventButtons{};
    std::array<BOOL, kEventCheckCount> m_abChoice{TRUE, TRUE, TRUE, TRUE, TRUE, TRUE};
    std::array<BOOL, kEventCheckCount> m_abLocked{};
    QGroupBox* m_pEventGroup = nullptr;
    QGroupBox* m_pVersionGroup = nullptr;
    QLabel* m_pVersion = nullptr;
};

}  // namespace orv
