#include "app/settings/SettingDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include "platform/base/AppMessage.h"
#include "platform/gdi/SkinResources.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "ui/SkinCheckButton.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

constexpr int kCloseButtonId = 18;
constexpr int kCheckStrip = 217;
constexpr int kWindowWidth = 460;
constexpr int kWindowHeight = 315;

int S(int design) { return int(float(design) * g_fScale); }

QRect ScaledRect(int left, int top, int right, int bottom) {
    return QRect(S(left), S(top), S(right) - S(left), S(bottom) - S(top));
}

}  // namespace

const std::array<EventCheckDef, kEventCheckCount> kEventChecks = {{
    {32968, 115, {40, 60, 200, 100}},   // drive support
    {32969, 124, {40, 100, 200, 140}},  // emergency recording stop
    {32970, 125, {240, 60, 400, 100}},  // parking impact
    {32971, 129, {240, 100, 400, 140}}, // speeding
    {32972, 143, {40, 140, 200, 180}},  // speed camera
    {32973, 144, {240, 140, 400, 180}}, // radar
}};

CSettingDlg::CSettingDlg(QWidget* parent, HWND notify) : CSkinDialog(parent), m_hNotify(notify) {
    // A tool window of the main window rather than a child inside it.
    setWindowFlag(Qt::Tool, true);
    for (int i = 0; i < kEventCheckCount; ++i) {
        auto* button = new CSkinCheckButton(this);
        button->setText(QString::fromUtf8(UiText(kEventChecks[i].text)));
        button->SetCheck(TRUE);
        const int id = kEventChecks[i].id;
        QObject::connect(button, &QAbstractButton::clicked, this, [this, id] { OnEventCheck(id); });
        m_aEventButtons[i] = button;
    }
    m_pEventGroup = new QGroupBox(QString::fromUtf8(UiText(128)), this);
    m_pVersionGroup = new QGroupBox(QString::fromUtf8(UiText(127)), this);
    m_pVersion = new QLabel(this);
    m_pVersion->setObjectName(QStringLiteral("VersionText"));
    m_pVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The group boxes are frames drawn behind the buttons.
    m_pEventGroup->lower();
    m_pVersionGroup->lower();
}

BOOL CSettingDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    setWindowTitle(QString::fromUtf8(UiText(123)));
    Relayout();
    MakeVersionText();
    CreateCloseButton(kCloseButtonId);
    return TRUE;
}

void CSettingDlg::OnEventCheck(int id) {
    const int index = id - kEventCheckFirstId;
    if (index < 0 || index >= kEventCheckCount) return;
    if (m_abLocked[index]) return;
    CSkinCheckButton* button = m_aEventButtons[index];
    m_abChoice[index] = m_abChoice[index] ? FALSE : TRUE;
    button->SetCheck(m_abChoice[index]);
    button->update();
    if (m_hNotify) PostAppMessage(m_hNotify, WM_APP_EVENT_FILTER, WPARAM(index), LPARAM(button->GetCheck() ? 1 : 0));
}

void CSettingDlg::SetEventLocked(int index, BOOL locked) {
    CSkinCheckButton* button = GetEventButton(index);
    if (!button) return;
    m_abLocked[index] = locked ? TRUE : FALSE;
    button->SetCheck(locked ? FALSE : m_abChoice[index]);
    button->setEnabled(!locked);
    button->update();
}

void CSettingDlg::CenterOnMonitor() {
    resize(S(kWindowWidth), S(kWindowHeight));
    const QWidget* owner = parentWidget();
    const QPoint corner = owner ? owner->frameGeometry().topLeft() : pos();
    RECT work{}, monitor{};
    if (!GetMonitorRects(&work, &monitor, POINT{corner.x(), corner.y()})) return;
    move(monitor.left + (monitor.Width() - width()) / 2, monitor.top + (monitor.Height() - height()) / 2);
}

void CSettingDlg::Relayout() {
    LayoutControls();
    CenterOnMonitor();
    RepositionCloseButton();
}

void CSettingDlg::LayoutControls() {
    const int box = S(12);
    ImageList boxes;
    boxes.Create(LoadScaledBitmap(SkinResourcePath(kCheckStrip)), box, box);
    for (int i = 0; i < kEventCheckCount; ++i) {
        const RECT& r = kEventChecks[i].rect;
        CSkinCheckButton* button = m_aEventButtons[i];
        button->SetImageList(boxes);
        if (g_hFont10) button->setFont(*g_hFont10);
        button->setGeometry(ScaledRect(r.left, r.top, r.right, r.bottom));
        button->update();
    }
    for (QWidget* w : {static_cast<QWidget*>(m_pEventGroup), static_cast<QWidget*>(m_pVersionGroup),
                       static_cast<QWidget*>(m_pVersion)}) {
        if (g_hFont10) w->setFont(*g_hFont10);
    }
    m_pEventGroup->setGeometry(S(10), S(30), S(434), S(160));
    m_pVersionGroup->setGeometry(S(10), S(190), S(434), S(110));
    m_pVersion->setGeometry(ScaledRect(20, 210, 434, 270));
}

void CSettingDlg::MakeVersionText() {
    m_pVersion->setText(QStringLiteral("version %1").arg(QLatin1String(kProgramVersion)));
}

CSkinCheckButton* CSettingDlg::GetEventButton(int index) const {
    return index >= 0 && index < kEventCheckCount ? m_aEventButtons[index] : nullptr;
}

BOOL CSettingDlg::IsEventChecked(int index) const {
    const CSkinCheckButton* button = GetEventButton(index);
    return button && button->GetCheck() ? TRUE : FALSE;
}

}  // namespace orv
