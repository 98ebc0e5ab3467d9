#include "views/ObdDlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPaintEvent>

#include <algorithm>

#include "playback/PlayChannel.h"
#include "ui/ResourceImage.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "ui/text/UiText.h"
#include "views/ViewsDraw.h"

namespace orv {

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);

// The choosers' items, in ObdValueKind order.
constexpr const char* kKindNames[OBD_KIND_COUNT] = {
    "スロットル開度", "エンジン回転数", "インマニ圧", "エンジン水温", "スピード",
};

// The dial faces, in ObdValueKind order.
constexpr int kFaceThrottle = 309;
constexpr int kFaceEngineSpeed = 307;
constexpr int kFaceIntakePressure = 320;
constexpr int kFaceCoolant = 321;
constexpr int kFaceSpeed = 325;

// trunc(k x g_fScale)
int T(double k) { return int(k * double(g_fScale)); }

template <int Kind, int Face>
void PaintGauge(CResourceImage& images, DeviceContext& dc, const RECT& rect, int value) {
    ClampObdValue(value, Kind);
    images.DrawMeter(dc, rect, Face, ObdNeedleAngle(Kind, value));
}

}  // namespace

const std::array<ObdPainter, OBD_KIND_COUNT> ObdPainterTable = {
    PaintGauge<OBD_THROTTLE, kFaceThrottle>,
    PaintGauge<OBD_ENGINE_SPEED, kFaceEngineSpeed>,
    PaintGauge<OBD_INTAKE_PRESSURE, kFaceIntakePressure>,
    PaintGauge<OBD_COOLANT_TEMP, kFaceCoolant>,
    PaintGauge<OBD_SPEED, kFaceSpeed>,
};

CObdDlg::CObdDlg(QWidget* parent) : CSkinDialog(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setModal(false);
}

CObdDlg::~CObdDlg() { KillGaugeTimers(); }

BOOL CObdDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    if (g_hFont10) setFont(*g_hFont10);
    setWindowTitle(QString::fromUtf8(UiText(kTitleText)));
    // Translucent where the window system can show it; elsewhere opaque.
    setWindowOpacity(double(kLayerAlpha) / 255.0);
    // The selected kinds (-1) and the flags start cleared with the object; the window is
    // first shown by OpenAt, after it has set them.
    return TRUE;
}

void CObdDlg::OpenAt(int x, int y, int cx, int cy) {
    if (!m_bOpenedOnce) {
        CreateCloseButton(kCloseButtonId);
        m_bOpenedOnce = TRUE;
    }
    cx = std::max(1, cx);
    cy = std::max(1, cy);
    move(x, y);
    // The window has no frame, so the user has no edge to resize it by; its size is the
    // main window's to set, for each scale.
    resize(cx, cy);
    if (!m_bCombosCreated) CreateCombos();
    LayoutWindow();

    for (int i = 0; i < 3; ++i) {
        QComboBox* combo = m_pCombo[std::size_t(i)];
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(i);
        combo->setEnabled(true);
        m_aGauge[std::size_t(i)] = ObdGaugeState{};
        m_aGauge[std::size_t(i)].nShown = ObdStartValueTable[std::size_t(i)];
        m_nSelectedKind[std::size_t(i)] = i;
        SetTimer(kFirstTimerId + unsigned(i), kTimerPeriodMs);
    }
    if (!isMinimized()) m_rcWindow = RECT{x, y, x + cx, y + cy};
    show();
    update();
}

void CObdDlg::LayoutWindow() {
    if (g_hFont10) setFont(*g_hFont10);
    RepositionCloseButton();
    if (m_pImages) m_pImages->CreateDrawDCs(this);
    // The choosers keep their font's height; the dials take the rest of the window.
    int comboHeight = T(22);
    if (m_bCombosCreated) {
        QComboBox* combo = m_pCombo[0];
        if (g_hFont13) combo->setFont(*g_hFont13);
        comboHeight = std::max(combo->sizeHint().height(), comboHeight);
    }
    m_places = PlaceObdDials(width(), height(), g_fScale, comboHeight);
    m_nRowTop = m_places.dial[0].top;
    LayoutCombos();
    update();
}

void CObdDlg::resizeEvent(QResizeEvent* event) {
    CSkinDialog::resizeEvent(event);
    if (m_bOpenedOnce) LayoutWindow();
}

void CObdDlg::CreateCombos() {
    for (int i = 0; i < 3; ++i) {
        auto* combo = new QComboBox(this);
        for (const char* name : kKindNames) combo->addItem(QString::fromUtf8(name));
        combo->setMaxVisibleItems(OBD_KIND_COUNT);
        combo->setProperty("ctrlId", kFirstComboId + i);
        QObject::connect(combo, &QComboBox::currentIndexChanged, this, [this, i](int) { OnSelchangeGauge(i); });
        m_pCombo[std::size_t(i)] = combo;
        combo->show();
    }
    m_bCombosCreated = TRUE;
}

void CObdDlg::LayoutCombos() {
    if (!m_bCombosCreated) return;
    for (int i = 0; i < 3; ++i) {
        QComboBox* combo = m_pCombo[std::size_t(i)];
        if (g_hFont13) combo->setFont(*g_hFont13);
        const RECT& r = m_places.combo[std::size_t(i)];
        combo->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

void CObdDlg::SetOwner(HWND owner, CResourceImage* images) {
    m_hOwner = owner;
    m_pImages = images;
}

void CObdDlg::ShowFrame(const ObdFrameValues& values) {
    ApplyObdReadings(values.readings, m_nValue);
    m_bDataValid = values.bDataValid;
}

int CObdDlg::GetValue(int kind) const {
    const int slot = ObdSlotOfKind(kind);
    return slot < 0 ? 5 : m_nValue[std::size_t(slot)];
}

bool CObdDlg::FrontChannelPlaying() {
    const sPLAYCHANNEL& front = g_aPlayChannel[0];
    return front.initialised.load() && front.playState.load() == PLAY_PLAYING;
}

void CObdDlg::OnSelchangeGauge(int gauge) {
    if (gauge < 0 || gauge >= 3 || !m_pCombo[std::size_t(gauge)]) return;
    const int selection = m_pCombo[std::size_t(gauge)]->currentIndex();
    if (selection < 0 || selection >= OBD_KIND_COUNT) return;
    ObdGaugeState& state = m_aGauge[std::size_t(gauge)];
    state.bStarted = 0;
    state.bAnimating = 0;
    state.nShown = ObdStartValueTable[std::size_t(selection)];
    if (FrontChannelPlaying()) m_pCombo[std::size_t(gauge)]->setEnabled(false);
    m_nSelectedKind[std::size_t(gauge)] = selection;
    SetTimer(kFirstTimerId + unsigned(gauge), kTimerPeriodMs);
}

void CObdDlg::OnTimer(unsigned id) {
    if (id < kFirstTimerId || id >= kFirstTimerId + 3) return;
    const int gauge = int(id - kFirstTimerId);

    // The choice of values stays fixed while a movie plays.
    const bool playing = FrontChannelPlaying();
    for (QComboBox* combo : m_pCombo) {
        if (!combo) continue;
        if (playing && combo->currentIndex() >= 0 && combo->isEnabled()) combo->setEnabled(false);
        else if (!playing && !combo->isEnabled()) combo->setEnabled(true);
    }

    const int kind = m_nSelectedKind[std::size_t(gauge)];
    if (kind < 0 || kind >= OBD_KIND_COUNT) return;
    ObdGaugeState& state = m_aGauge[std::size_t(gauge)];
    const RECT r = GaugeRect(gauge);
    const QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (state.bAnimating) {
        if (state.nNeedle != state.nTarget) {
            state.nNeedle = ObdStepToward(state.nNeedle, state.nTarget, kind, state.bRising);
            update(area);
        } else {
            state.nShown = state.nNeedle;
            state.bRising = 0;
            state.bAnimating = 0;
        }
        return;
    }
    int target = GetValue(kind);
    ClampObdValue(target, kind);
    if (state.nShown != target || !state.bStarted) {
        state.nNeedle = state.nShown;
        state.nTarget = target;
        if (state.nShown != target) {
            state.bRising = state.nShown < target ? 1 : 0;
            state.nNeedle = ObdStepToward(state.nNeedle, target, kind, state.bRising);
            state.bAnimating = 1;
        }
        update(area);
        state.bStarted = 1;
    }
}

RECT CObdDlg::GaugeRect(int gauge) const { return m_places.dial[std::size_t(std::clamp(gauge, 0, 2))]; }

void CObdDlg::PaintGauges(DeviceContext& dc, const QRect& area) {
    if (!m_pImages) return;
    for (int i = 0; i < 3; ++i) {
        const int kind = m_nSelectedKind[std::size_t(i)];
        const RECT r = GaugeRect(i);
        const QRect rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (kind < 0 || kind >= OBD_KIND_COUNT || !rect.intersects(area)) continue;
        const ObdGaugeState& state = m_aGauge[std::size_t(i)];
        const int value = state.bAnimating ? state.nNeedle : state.nShown;
        // The meter of each gauge is kept while its kind, value and scale stay.
        MeterPicture& kept = m_aMeter[std::size_t(i)];
        if (kept.kind != kind || kept.value != value || kept.scale != g_fScale || kept.images != m_pImages ||
            kept.image.size() != rect.size()) {
            // The meter is composed at the scale's own size and drawn to the dial's size.
            const QSize natural(T(210), T(151));
            QImage image(natural, QImage::Format_RGB32);
            image.fill(Qt::black);
            DeviceContext meter(&image);
            ObdPainterTable[std::size_t(kind)](*m_pImages, meter, RECT{0, 0, natural.width(), natural.height()}, value);
            kept.image = image.size() == rect.size()
                             ? image
                             : image.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            kept.kind = kind;
            kept.value = value;
            kept.scale = g_fScale;
            kept.images = m_pImages;
        }
        CopyImage(dc, rect.left(), rect.top(), kept.image);
    }
}

void CObdDlg::paintEvent(QPaintEvent* event) {
    DeviceContext dc(this);
    const QRect area = event->rect();
    dc.FillRect(RECT{area.left(), area.top(), area.right() + 1, area.bottom() + 1}, kBlack);
    if (area.top() < T(24)) DrawTitleBar(dc);
    PaintGauges(dc, area);
}

void CObdDlg::KillGaugeTimers() {
    for (unsigned i = 0; i < 3; ++i) KillTimer(kFirstTimerId + i);
}

void CObdDlg::OnClose() {
    KillGaugeTimers();
    PostAppMessage(m_hOwner, WM_APP_OBD_CLOSED, 0, 0);
    hide();
}

void CObdDlg::OnCancel() { OnClose(); }

void CObdDlg::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

void CObdDlg::reject() { OnCancel(); }

}  // namespace orv
