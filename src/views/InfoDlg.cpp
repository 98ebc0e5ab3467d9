#include "views/InfoDlg.h"

#include <QFontMetrics>
#include <QPaintEvent>

#include <algorithm>

#include "platform/gdi/GdiTypes.h"
#include "ui/OffScreenDC.h"
#include "ui/ResourceImage.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "ui/text/UiText.h"
#include "views/ViewsDraw.h"

namespace orv {

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kAxisColour[3] = {RGB(0, 255, 0), RGB(255, 0, 0), RGB(128, 128, 255)};
constexpr int kAxisLabelText[3] = {62, 63, 64};
constexpr int kMainBackground = 129;

// trunc(k x g_fScale)
int T(double k) { return int(k * double(g_fScale)); }

RECT Moved(RECT r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

// Where layouts 0 and 1 put their items (pixels of the panel).
struct CInfoDlg::Layout {
    int mode = 0;
    QFont* font = nullptr;  // the G values, the date and the speed
    POINT gOrigin;
    int labelOffset = 0, valueOffset = 0, row = 0, boxWidth = 0, boxHeight = 0, columnStep = 0;
    RECT date;
    int dateBoxSize = 0;
    RECT title;
    QFont* titleFont = nullptr;
    RECT speed;
    int unitInset = 0, unitDrop = 0;
    QFont* unitFont = nullptr;
    int statusKind = 0, statusDx = 0, statusDy = 0;
    bool voltage = false;
    RECT voltageBox;
    RECT badge;
    double zoom = 1.0;
    int audioDx = 0, gpsDx = 0;
    QFont* supportFont = nullptr;
    POINT supportOrigin;
};

CInfoDlg::CInfoDlg(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

CInfoDlg::~CInfoDlg() {
    // The lent context gets its font back, if it still exists.
    if (m_pOffScreen && m_pOldFont && !m_offScreenLifetime.expired()) m_pOffScreen->GetDC().SelectFont(m_pOldFont);
}

BOOL CInfoDlg::OnInitDialog() {
    for (int i = 0; i < 3; ++i) {
        CSkinButton* button = m_aAxisButton[std::size_t(i)];
        if (!button) {
            button = new CSkinButton(this);
            m_aAxisButton[std::size_t(i)] = button;
            button->SetDlgCtrlID(kAxisButtonFirst + i);
            QObject::connect(button, &QAbstractButton::clicked, this, [this, i] { OnAxisButton(kAxisButtonFirst + i); });
        }
        FitAxisButton(i);
        button->SetLatched(m_bAxisPressed[std::size_t(i)]);
        button->show();
    }
    return TRUE;
}

BOOL CInfoDlg::IsAxisPressed(int axis) const {
    return axis >= 0 && axis < 3 ? m_bAxisPressed[std::size_t(axis)] : FALSE;
}

void CInfoDlg::OnAxisButton(int id) {
    const int axis = id - kAxisButtonFirst;
    if (axis < 0 || axis >= 3) return;
    BOOL& pressed = m_bAxisPressed[std::size_t(axis)];
    pressed = pressed ? FALSE : TRUE;
    if (CSkinButton* button = m_aAxisButton[std::size_t(axis)]) {
        button->SetLatched(pressed);
        button->update();
    }
    PostAppMessage(m_hParent, WM_APP_INFO_AXIS_TOGGLE, WPARAM(axis), LPARAM(pressed));
}

void CInfoDlg::ResetInfoValues() {
    m_dSpeed = kNoSpeedValue;
    m_dAccelX = m_dAccelY = m_dAccelZ = kNoGValue;
    m_nVehicleState = kNoVehicleValue;
    m_nAngleRaw = kNoSteeringRaw;
    m_nVehicleValue3 = kNoVehicleValue;
    m_nPosition = -1;
    m_nRecMark = 'M';
    m_bGpsValid = FALSE;
    m_nVoltage10 = kNoVoltage10;
    m_nQualityCode = 0;
    m_strTitle.clear();
    repaint();
}

void CInfoDlg::SetVehicleValues(int turnSignal, int steering, int brake, int flag) {
    const VehicleValues now = ApplyVehicleValues(VehicleValues{m_nVehicleState, m_nAngleRaw, m_nVehicleValue3},
                                                 m_nDataFormat, turnSignal, steering, brake, flag);
    m_nVehicleState = now.nVehicleState;
    m_nAngleRaw = now.nAngleRaw;
    m_nVehicleValue3 = now.nVehicleValue3;
}

void CInfoDlg::SetOwner(HWND parent, CResourceImage* images) {
    m_hParent = parent;
    m_pImages = images;
}

void CInfoDlg::LendOffScreen(COffScreenDC* offScreen, QFont* oldFont) {
    m_pOffScreen = offScreen;
    if (oldFont) m_pOldFont = oldFont;
}

void CInfoDlg::SetDrawMode(int mode) { m_nDrawMode = mode; }
void CInfoDlg::SetExtraScale(float scale) { m_fScale = scale; }
void CInfoDlg::SetCompactTitleLeft(int left) { m_nCompactTitleLeft = left; }

void CInfoDlg::SetRecording(int qualityCode, const SYSTEMTIME& start, const QString& title) {
    m_nQualityCode = qualityCode;
    m_stStart = start;
    m_strTitle = title;
    m_bDataLoaded = TRUE;
}

void CInfoDlg::SetStartTime(const SYSTEMTIME& start) { m_stStart = start; }
void CInfoDlg::SetTitle(const QString& title) { m_strTitle = title; }

void CInfoDlg::SetDataFormat(BOOL timeLapse, int dataFormat) {
    m_bTimeLapse = timeLapse;
    m_nDataFormat = dataFormat;
}

void CInfoDlg::SetFrameInterval(float ms) { m_fFrameInterval = ms; }
void CInfoDlg::SetFrameCount(int frames) { m_nFrameCount = frames; }
void CInfoDlg::SetTraceFile(BOOL traceFile) { m_bTraceFile = traceFile; }
void CInfoDlg::SetShowVoltage(BOOL showVoltage) { m_bShowVoltage = showVoltage; }
void CInfoDlg::ClearRecording() { m_bDataLoaded = FALSE; }
void CInfoDlg::SetRecMark(int mark) { m_nRecMark = mark; }

void CInfoDlg::ShowFrame(const InfoFrameValues& values) {
    m_dAccelX = values.dAccelX;
    m_dAccelY = values.dAccelY;
    m_dAccelZ = values.dAccelZ;
    if (values.nRecMark) m_nRecMark = *values.nRecMark;
    if (values.dSpeed) m_dSpeed = *values.dSpeed;
    if (values.nVoltage10) m_nVoltage10 = *values.nVoltage10;
    if (const auto& v = values.vehicle) SetVehicleValues(v->nTurnSignal, v->nSteering, v->nBrake, v->nFlag);
    m_bGpsValid = values.bGpsValid;
    m_nPosition = values.nPosition;
}

void CInfoDlg::UpdateIfChanged() {
    if (m_nDrawMode == 2) {
        // The strip is drawn by the main window's painting, which a painting of any part of
        // the window runs, but shows only within that part: the whole strip is asked for
        // whenever its texts change.
        const FaceKey key = CurrentStripKey();
        if (m_askedStripKey == key) return;
        m_askedStripKey = key;
        if (QWidget* main = parentWidget()) {
            const RECT strip = CompactStripRect();
            main->update(strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top);
        }
        return;
    }
    if (m_pOffScreen && m_shownKey && *m_shownKey == CurrentFaceKey(width(), height())) return;
    QWidget::update();
}

void CInfoDlg::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    if (m_nDrawMode != 2 && DrawInfoPanel(&dc)) {
        m_shownKey = m_faceKey;
        return;
    }
    dc.FillRect(RECT{0, 0, width(), height()}, kBlack);
    m_shownKey.reset();
}

void CInfoDlg::PlaceAxisButtons(bool shown) {
    for (int i = 0; i < 3; ++i) {
        CSkinButton* button = m_aAxisButton[std::size_t(i)];
        if (!button) continue;
        if (!shown) {
            button->hide();
            continue;
        }
        FitAxisButton(i);
        button->show();
    }
}

void CInfoDlg::FitAxisButton(int axis) {
    CSkinButton* button = m_aAxisButton[std::size_t(axis)];
    if (!button) return;
    // Layout 0 widens its spacing by the extra scale of a maximised window; the buttons
    // themselves stay 12 x 12 design pixels.
    const int left = int(float(T(26)) * m_fScale) + int(float(T(120)) * m_fScale) * axis;
    const int side = T(12);
    button->setGeometry(left, T(45), side, side);
    if (button->m_nFrameWidth != side || button->m_nFrameHeight != side) {
        const RECT frame{0, 0, side, side};
        button->SetImage(kAxisButtonStrip, &frame);
    }
    button->setFont(g_hFont10 ? *g_hFont10 : font());
}

void CInfoDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (int i = 0; i < 3; ++i) FitAxisButton(i);
}

CInfoDlg::FaceKey CInfoDlg::CurrentFaceKey(int w, int h) const {
    FaceKey key;
    key.width = w;
    key.height = h;
    key.mode = m_nDrawMode;
    key.scale = g_fScale;
    key.extraScale = m_fScale;
    key.fonts = {g_hFont10, g_hFont13, g_hFont17, g_hFont22};
    key.images = m_pImages;
    key.texts = {FormatGValue(m_dAccelX), FormatGValue(m_dAccelY), FormatGValue(m_dAccelZ), DateTimeText(),
                 FormatSpeed(m_bGpsValid, m_dSpeed), FormatVoltage(m_nVoltage10)};
    key.title = m_strTitle;
    key.titleLeft = m_nCompactTitleLeft;
    key.voltage = m_bTraceFile && m_bShowVoltage;
    key.quality = m_nQualityCode;
    key.mark = m_nRecMark == 'R' || m_nRecMark == 'r' ? m_nRecMark : 0;
    key.gps = m_bGpsValid ? TRUE : FALSE;
    key.vehicle = {m_nVehicleState, m_nAngleRaw, m_nVehicleValue3, g_bLimitedModel};
    return key;
}

std::string CInfoDlg::DateTimeText() const {
    if (!m_bDataLoaded || m_nPosition < 0) return {};
    const std::optional<SYSTEMTIME> when = FrameDateTime(m_stStart, m_nPosition, m_fFrameInterval, m_bTimeLapse);
    return when ? FormatDateTime(*when) : std::string();
}

BOOL CInfoDlg::DrawInfoPanel(DeviceContext* dc) {
    const int w = width();
    const int h = height();
    if (!m_pOffScreen || !dc || w <= 0 || h <= 0) return FALSE;
    m_offScreenLifetime = m_pOffScreen->Lifetime();
    if (m_nDrawMode == 2) {
        PlaceAxisButtons(false);
        DrawCompactInfo(dc);
        return TRUE;
    }
    // The finished panel is kept and composed again only when something it shows
    // changed; most ticks show the same texts as the one before.
    const FaceKey key = CurrentFaceKey(w, h);
    if (!(key == m_faceKey) || m_face.isNull()) {
        // The panel's ground stretched to its size is kept as well.
        const QImage* picture = m_pImages ? m_pImages->Picture(kPanelBackground) : nullptr;
        if (m_panelGround.size() != QSize(w, h) || m_panelGroundSource != picture) {
            m_panelGround = QImage(w, h, QImage::Format_RGB32);
            m_panelGround.fill(Qt::black);
            if (picture) {
                DeviceContext ground(&m_panelGround);
                ground.SetStretchBltMode(COLORONCOLOR);
                ground.StretchBlt(0, 0, w, h, *picture, 0, 0, picture->width(), picture->height());
            }
            m_panelGroundSource = picture;
        }
        // Composed in the kept picture itself: the ground, then the layout over it.
        CopyInto(m_face, m_panelGround);
        DeviceContext face(&m_face);
        if (m_nDrawMode == 0 || m_nDrawMode == 1) DrawLayout(face, LayoutOf(m_nDrawMode));
        m_faceKey = key;
    }
    // The axis buttons are child windows drawn over the panel, so they show in layout 0
    // whatever lies under them.
    CopyImage(*dc, 0, 0, m_face);
    PlaceAxisButtons(m_nDrawMode == 0);
    return TRUE;
}

CInfoDlg::Layout CInfoDlg::LayoutOf(int mode) const {
    Layout l;
    l.mode = mode;
    const float f = m_fScale;
    auto F = [f](int pixels) { return int(float(pixels) * f); };
    if (mode == 0) {
        l.font = g_hFont13;
        l.gOrigin = POINT{F(T(26)), T(40)};
        l.labelOffset = T(22);
        l.valueOffset = T(22);
        l.row = T(22);
        l.boxWidth = T(58);
        l.boxHeight = T(20);
        l.columnStep = F(T(120));
        l.date = RECT{F(T(26)), T(7), T(200) + F(T(26)), T(26)};
        l.dateBoxSize = 0;
        l.title = RECT{F(T(266)), T(7), T(160) + F(T(266)), T(34)};
        l.titleFont = g_hFont13;
        const int speedLeft = F(T(60) + T(370) + T(19));
        l.speed = RECT{speedLeft, T(7), T(100) + speedLeft, T(28)};
        l.unitInset = T(35);
        l.unitDrop = T(4);
        l.unitFont = g_hFont10;
        l.statusKind = 0;
        l.statusDx = T(19);
        l.voltage = m_bTraceFile && m_bShowVoltage;
        const int voltLeft = F(T(60) + T(370) + T(1));
        l.voltageBox = RECT{voltLeft, T(7), voltLeft + T(100), T(28)};
        const int badgeLeft = F(T(10) + T(370));
        l.badge = RECT{badgeLeft, T(45), badgeLeft + T(100), T(145)};
        l.zoom = 1.0;
        l.audioDx = F(T(60) + T(5));
        l.gpsDx = F(T(60) + T(50));
        l.supportFont = g_hFont10;
        l.supportOrigin = POINT{F(T(566)), T(10)};
    } else {
        l.font = g_hFont22;
        l.gOrigin = POINT{T(20), T(50)};
        l.labelOffset = 0;
        l.valueOffset = -T(41) + T(40);
        l.row = T(40);
        l.boxWidth = T(98);
        l.boxHeight = T(32);
        l.columnStep = T(160);
        l.date = RECT{T(20), T(7), T(350), T(42)};
        l.dateBoxSize = 1;
        // Between the date and the speed, above the G labels (which start at 50): the
        // title never runs under the speed or over the labels, whatever its length.
        l.title = RECT{T(360), T(7), T(560), T(42)};
        l.titleFont = g_hFont17;
        l.speed = RECT{T(570), T(7), T(718), T(42)};
        l.unitInset = T(60);
        l.unitDrop = T(8);
        l.unitFont = g_hFont17;
        l.statusKind = 1;
        l.statusDx = T(10);
        l.statusDy = T(9);
        l.badge = RECT{T(510), T(76), T(610), T(176)};
        l.zoom = 1.3;
        l.audioDx = T(22) + T(60);
        l.gpsDx = T(54) + T(22) + T(60);
        l.supportFont = g_hFont17;
        l.supportOrigin = POINT{T(824), T(10)};
    }
    return l;
}

void CInfoDlg::DrawLayout(DeviceContext& dc, const Layout& l) {
    QFont* oldFont = dc.SelectFont(l.font);
    const COLORREF oldColour = dc.SetTextColor(kWhite);
    const int oldMode = dc.SetBkMode(TRANSPARENT);

    DrawGValues(dc, l);
    dc.SetTextColor(kWhite);
    DrawDateTime(dc, l.date, l.dateBoxSize);
    DrawTitle(dc, l.title, l.titleFont);
    if (l.voltage) DrawVoltage(dc, l.voltageBox);
    else DrawSpeed(dc, l.speed, l.unitInset, l.unitDrop, l.unitFont, l.statusKind, l.statusDx, l.statusDy);
    DrawQualityBadge(dc, l.badge, l.zoom);
    if (m_pImages) {
        m_pImages->DrawAudioMark(dc, Moved(l.badge, l.audioDx, 0), m_nRecMark, l.zoom);
        if (m_bGpsValid) m_pImages->DrawGpsIcon(dc, Moved(l.badge, l.gpsDx, 0), l.zoom);
        dc.SelectFont(l.supportFont);
        m_pImages->DrawGauge(dc, l.supportOrigin, l.mode, m_nVehicleState, (unsigned short)(m_nAngleRaw), m_nVehicleValue3);
    }
    dc.SetBkMode(oldMode);
    dc.SetTextColor(oldColour);
    dc.SelectFont(oldFont);
}

void CInfoDlg::DrawGValues(DeviceContext& dc, const Layout& l) {
    const double values[3] = {m_dAccelX, m_dAccelY, m_dAccelZ};
    for (int axis = 0; axis < 3; ++axis) {
        const int x = l.gOrigin.x + l.columnStep * axis;
        const int y = l.gOrigin.y;
        dc.SetTextColor(kAxisColour[axis]);
        RECT label{x + l.labelOffset, y, x + l.labelOffset + T(150), y + T(40)};
        dc.DrawText(QString::fromUtf8(UiText(kAxisLabelText[axis])), &label, DT_LEFT);
        RECT value{x + l.valueOffset, y + l.row, x + l.valueOffset + l.boxWidth, y + l.row + l.boxHeight};
        const std::string text = FormatGValue(values[axis]);
        // Not clipped: the large font's line is taller than its box.
        if (!text.empty()) dc.DrawText(Utf8(text), &value, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
        else if (m_pImages) m_pImages->DrawAxisLabel(dc, value, l.mode, axis);
    }
}

void CInfoDlg::DrawTitle(DeviceContext& dc, const RECT& rect, QFont* font) {
    const int width = rect.right - rect.left;
    if (m_strTitle.isEmpty() || width <= 0) return;
    const TitleFit& fit = FitTitle(width, font);
    QFont* const previous = dc.SelectFont(fit.chosen);
    RECT box = rect;
    box.top += fit.drop;
    dc.DrawText(fit.text, &box, DT_LEFT | DT_SINGLELINE);
    dc.SelectFont(previous);
}

const CInfoDlg::TitleFit& CInfoDlg::FitTitle(int width, QFont* font) {
    // The title is measured in up to four fonts and cut: kept for the two boxes it is
    // drawn in (the panel's and the strip's), as the same title is drawn again and again.
    const TitleFitKey key{m_strTitle, width, font, g_fScale, {g_hFont10, g_hFont13, g_hFont17, g_hFont22}};
    for (const auto& [kept, fit] : m_titleFits)
        if (kept == key) return fit;
    // One line in the box: in the box's font when the whole title fits, else in the
    // largest smaller shared font that holds it, else cut with an ellipsis in the smallest.
    QFont* const sizes[] = {g_hFont22, g_hFont17, g_hFont13, g_hFont10};
    QFont* chosen = font;
    bool smaller = false;
    for (QFont* size : sizes) {
        if (size == font) smaller = true;
        if (!smaller || !size) continue;
        chosen = size;
        if (QFontMetrics(*size).horizontalAdvance(m_strTitle) <= width) break;
    }
    const QFontMetrics metrics(chosen ? *chosen : QFont());
    TitleFit fit{};
    fit.chosen = chosen;
    fit.text = metrics.elidedText(m_strTitle, Qt::ElideRight, width);
    // A smaller font keeps the line's baseline, in step with the texts beside it.
    if (chosen != font && font) fit.drop = std::max(0, QFontMetrics(*font).ascent() - metrics.ascent());
    std::pair<TitleFitKey, TitleFit>& slot = m_titleFits[m_nNextTitleFit];
    m_nNextTitleFit = (m_nNextTitleFit + 1) % m_titleFits.size();
    slot = {key, fit};
    return slot.second;
}

BOOL CInfoDlg::DrawDateTime(DeviceContext& dc, const RECT& rect, int placeholderSize) {
    const std::string text = DateTimeText();
    if (!text.empty()) {
        RECT r = rect;
        dc.DrawText(Utf8(text), &r, DT_LEFT | DT_SINGLELINE);
        return TRUE;
    }
    if (m_pImages) m_pImages->DrawDateBox(dc, rect, placeholderSize);
    return FALSE;
}

void CInfoDlg::DrawSpeed(DeviceContext& dc, RECT box, int unitInset, int unitDrop, QFont* unitFont, int statusKind,
                         int statusDx, int statusDy) {
    const std::string number = FormatSpeed(m_bGpsValid, m_dSpeed);
    if (!number.empty()) {
        RECT r{box.left, box.top, box.right - unitInset, box.bottom};
        dc.DrawText(Utf8(number), &r, DT_RIGHT | DT_SINGLELINE);
    }
    QFont* oldFont = dc.SelectFont(unitFont);
    RECT unit = Moved(box, 0, unitDrop);
    dc.DrawText(QStringLiteral("km/h"), &unit, DT_RIGHT | DT_SINGLELINE);
    dc.SelectFont(oldFont);
    if (number.empty() && m_pImages) m_pImages->DrawStatusImage(dc, Moved(box, statusDx, statusDy), statusKind);
}

void CInfoDlg::DrawVoltage(DeviceContext& dc, const RECT& box) {
    const std::string number = FormatVoltage(m_nVoltage10);
    if (!number.empty()) {
        RECT r = box;
        dc.DrawText(Utf8(number), &r, DT_RIGHT | DT_SINGLELINE);
    } else if (const QImage* none = m_pImages ? m_pImages->Picture(kNoVoltagePicture) : nullptr) {
        const int oldStretch = dc.SetStretchBltMode(COLORONCOLOR);
        dc.TransparentBlt(box.left + T(19), box.top, T(none->width()), T(none->height()), *none, 0, 0, none->width(),
                          none->height(), kBlack);
        dc.SetStretchBltMode(oldStretch);
    }
    RECT unit = Moved(box, T(18), 0);
    dc.DrawText(QStringLiteral("V"), &unit, DT_RIGHT | DT_SINGLELINE);
}

void CInfoDlg::DrawQualityBadge(DeviceContext& dc, const RECT& rect, double zoom) {
    if (m_pImages && m_nQualityCode >= 1 && m_nQualityCode <= 12)
        m_pImages->DrawQualityBadge(dc, rect, m_nQualityCode - 1, zoom);
}

RECT CInfoDlg::MainClientRect() const {
    const QWidget* main = parentWidget() ? parentWidget() : this;
    return RECT{0, 0, main->width(), main->height()};
}

void CInfoDlg::DrawParentFrame(DeviceContext* dc) {
    if (!m_pOffScreen || !dc || !m_pImages) return;
    m_offScreenLifetime = m_pOffScreen->Lifetime();
    DeviceContext& off = m_pOffScreen->GetDC();
    const RECT main = MainClientRect();
    m_pImages->DrawFrameTiles(off, main);
    const RECT corner{main.right - T(155), 0, main.right - T(155) + T(30), T(20)};
    if (const QImage* picture = m_pImages->Picture(kCornerPicture)) {
        const int oldStretch = off.SetStretchBltMode(COLORONCOLOR);
        off.TransparentBlt(corner.left, corner.top, T(picture->width()), T(picture->height()), *picture, 0, 0,
                           picture->width(), picture->height(), kBlack);
        off.SetStretchBltMode(oldStretch);
    }
    dc->BitBlt(corner.left, corner.top, corner.right - corner.left, corner.bottom - corner.top, off, corner.left,
               corner.top);
}

CInfoDlg::FaceKey CInfoDlg::CurrentStripKey() const {
    const RECT main = MainClientRect();
    FaceKey key = CurrentFaceKey(main.right, main.bottom);
    key.mode = 2;
    key.texts[0] = key.texts[1] = key.texts[2] = key.texts[5] = std::string();
    key.voltage = FALSE;
    key.quality = key.mark = 0;
    key.gps = FALSE;
    key.vehicle = {};
    return key;
}

RECT CInfoDlg::CompactStripRect() const {
    const RECT main = MainClientRect();
    return RECT{main.left + T(400), main.bottom - T(34), main.right, main.bottom - T(4)};
}

void CInfoDlg::DrawCompactInfo(DeviceContext* dc) {
    PlaceAxisButtons(false);
    if (!m_pOffScreen || !dc) return;
    m_offScreenLifetime = m_pOffScreen->Lifetime();
    DeviceContext& off = m_pOffScreen->GetDC();
    const RECT main = MainClientRect();
    const RECT strip = CompactStripRect();
    if (strip.right <= strip.left || strip.bottom <= strip.top) return;
    const QRect stripArea(strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top);

    // The strip's ground (the main window's ground and frame under it) and the finished
    // strip are kept; the strip is composed again only when its texts change.
    const FaceKey key = CurrentStripKey();
    const bool groundChanged = key.width != m_stripKey.width || key.height != m_stripKey.height ||
                               key.scale != m_stripKey.scale || key.images != m_stripKey.images ||
                               m_stripGround.isNull();
    if (groundChanged) {
        off.SelectClipRect(&strip);
        if (const QImage* ground = m_pImages ? m_pImages->Picture(kMainBackground) : nullptr) {
            const int oldStretch = off.SetStretchBltMode(COLORONCOLOR);
            off.StretchBlt(main.left, main.top, main.right - main.left, main.bottom - main.top, *ground, 0, 0,
                           ground->width(), ground->height());
            off.SetStretchBltMode(oldStretch);
        } else {
            off.FillRect(strip, kBlack);
        }
        if (m_pImages) m_pImages->DrawFrameTiles(off, main);
        off.SelectClipRect(nullptr);
        m_stripGround = m_pOffScreen->GetBitmap().copy(stripArea);
    }
    if (groundChanged || !(key == m_stripKey) || m_strip.isNull()) {
        off.SelectClipRect(&strip);
        CopyImage(off, strip.left, strip.top, m_stripGround);
        QFont* oldFont = off.SelectFont(g_hFont17);
        const COLORREF oldColour = off.SetTextColor(kWhite);
        const int oldMode = off.SetBkMode(TRANSPARENT);
        // The first 150 of the strip; where it must begin later, up to 5 before the date.
        const int titleLeft = std::max<int>(strip.left, m_nCompactTitleLeft);
        const int titleRight = titleLeft == strip.left ? strip.left + T(150) : strip.left + T(165);
        DrawTitle(off, RECT{titleLeft, strip.top, titleRight, strip.bottom}, g_hFont17);
        DrawDateTime(off, RECT{strip.left + T(170), strip.top, strip.left + T(420), strip.bottom}, 2);
        DrawSpeed(off, RECT{strip.left + T(320), strip.top, strip.left + T(540), strip.bottom}, T(60), 0, g_hFont17, 2,
                  0, 0);
        off.SetBkMode(oldMode);
        off.SetTextColor(oldColour);
        off.SelectFont(oldFont);
        off.SelectClipRect(nullptr);
        m_strip = m_pOffScreen->GetBitmap().copy(stripArea);
        m_stripKey = key;
    }
    CopyImage(*dc, strip.left, strip.top, m_strip);
}

}  // namespace orv
