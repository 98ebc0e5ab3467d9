#include "views/GSensorDlg.h"

#include <QMouseEvent>
#include <QPaintEvent>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/gdi/GdiTypes.h"
#include "platform/gdi/SkinResources.h"
#include "ui/OffScreenDC.h"
#include "ui/ScaleFonts.h"
#include "views/ViewsDraw.h"

namespace orv {

namespace {

// Moves `count` columns left by `by` (right for a negative `by`); the columns that come
// free keep what they had.
template <typename T>
void MoveColumns(T* line, int count, int by) {
    if (by > 0 && by < count) std::memmove(line, line + by, std::size_t(count - by) * sizeof(T));
    else if (by < 0 && -by < count) std::memmove(line - by, line, std::size_t(count + by) * sizeof(T));
}

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSpeedingColour = RGB(170, 0, 0);
constexpr COLORREF kIconGround = RGB(20, 20, 40);  // left out of the steering icon
constexpr std::uint8_t kSpeedingAlpha = 127;
constexpr double kLargestDrawnG = 2.0;
// A flat curve is still drawn every seventh sample, so that it keeps up with the plot.
constexpr int kFlatSamples = 7;
constexpr int kMarkerRows = 7;
// Sample i of the curves shows frame int(i + first frame + kFrameSlack).
constexpr double kFrameSlack = 1e-9;

// trunc(k x g_fScale)
int T(double k) { return int(k * double(g_fScale)); }

struct MarkerStyle {
    COLORREF pen;
    const char* text;  // UTF-8; null: the steering icon
    int row;
};
const MarkerStyle kMarkerStyle[EVENT_KIND_COUNT] = {
    {RGB(0, 255, 0), "G", 1},       {RGB(0, 255, 0), "G", 1},       {RGB(255, 0, 0), "G", 0},
    {RGB(128, 128, 255), "G", 2},   {RGB(128, 128, 255), "G", 2},   {kWhite, "M", 3},
    {kWhite, "\xE2\x80\xBB", 3},    {kWhite, "P", 3},               {kWhite, "#", 3},
    {kWhite, "O", 3},               {kWhite, "R", 3},               {RGB(255, 255, 0), nullptr, 4},
    {RGB(255, 0, 255), "\xE2\x96\xB2", 5}, {RGB(0, 255, 255), "\xE2\x96\xBC", 6},
};

QPen SolidPen(COLORREF colour) { return QPen(ToQColor(colour), 1); }

// What of the first frame the curves' picture depends on: the frames its samples show are
// the same for every first frame of one key.
double FirstFrameKey(double first) {
    // Sample i shows frame int(i + first + slack), which is i plus the whole part of
    // first + slack unless that sum lies so close to a whole number that the rounding of
    // the addition could tip it over; there the exact value is kept.
    const double whole = std::floor(first + kFrameSlack);
    const double part = first + kFrameSlack - whole;
    return part > 1e-6 && part < 1.0 - 1e-6 ? whole : first;
}

}  // namespace

// --- rules --------------------------------------------------------------------------------

int AmplitudeModeForLargestG(double g) {
    if (g >= 1.5) return 3;
    if (g >= 1.0) return 2;
    if (g >= 0.5) return 1;
    return 0;
}

double AmplitudeFullScale(int mode) {
    if (mode < 0 || mode > 3) mode = 1;
    return 0.5 * (mode + 1);
}

GraphScaleLabels ScaleLabelsOf(int mode) {
    switch (mode) {
    case 0: return {" 0.5G", "   0G", "-0.5G"};
    case 2: return {" 1.5G", "   0G", "-1.5G"};
    case 3: return {"   2G", "   0G", "  -2G"};
    default: return {"   1G", "   0G", "  -1G"};
    }
}

int AmplitudePixels(int plotHeight, int mode) {
    const int a = plotHeight - 6;
    return mode >= 0 && mode <= 3 ? a / (mode + 1) : a;
}

double GraphFirstFrame(double stepWidth, double step, int currentFrame, std::int64_t frameCount) {
    if (!(step > 0.0) || frameCount <= 1) return 0.0;
    // (1 - stepWidth / step) x frameCount frames lie outside the window. They are passed
    // over in step with the current frame, all of them by the last frame: scrolled by
    // (1 - stepWidth / step) x currentFrame alone, the last frame would stay one short of
    // the right edge.
    const double hidden = (1.0 - stepWidth / step) * double(frameCount);
    return hidden * double(currentFrame) / double(frameCount - 1);
}

int EventMarkerRow(int kind) { return kind >= 0 && kind < EVENT_KIND_COUNT ? kMarkerStyle[kind].row : 0; }

QString EventMarkerText(int kind) {
    if (kind < 0 || kind >= EVENT_KIND_COUNT || !kMarkerStyle[kind].text) return {};
    return QString::fromUtf8(kMarkerStyle[kind].text);
}

COLORREF EventPenColour(int kind) { return kind >= 0 && kind < EVENT_KIND_COUNT ? kMarkerStyle[kind].pen : kWhite; }

// --- the pane -----------------------------------------------------------------------------

CGSensorDlg::CGSensorDlg(QWidget* parent) : QWidget(parent), m_penWhite(SolidPen(kWhite)) {
    for (int k = 0; k < EVENT_KIND_COUNT; ++k) m_aEventPen[std::size_t(k)] = SolidPen(kMarkerStyle[k].pen);
    for (int axis = 0; axis < 3; ++axis) m_aCurvePen[std::size_t(axis)] = SolidPen(*m_aDetector[std::size_t(axis)].pen);
    m_speedingBlend.SourceConstantAlpha = kSpeedingAlpha;
    m_speedingBlend.AlphaFormat = 0;
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CGSensorDlg::~CGSensorDlg() = default;

BOOL CGSensorDlg::OnInitDialog() {
    m_bmpBackground = LoadSkinBitmap(kBackgroundBitmap);
    m_nBackgroundHeight = m_bmpBackground.isNull() ? kDesignHeight : m_bmpBackground.height();
    m_bmpSteering = LoadSkinBitmap(kSteeringBitmap);

    m_speedingOverlay = QImage(std::max(1, T(1000)), std::max(1, T(300)), QImage::Format_RGB32);
    m_speedingOverlay.fill(ToQColor(kSpeedingColour));
    m_bandBlends.clear();

    // The icon at its drawn size, and its mask: 1 wherever it is not the ground colour.
    const int side = std::max(1, T(11));
    m_bmpSteeringMask = QImage();
    if (!m_bmpSteering.isNull()) {
        m_bmpSteering = m_bmpSteering.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                            .convertToFormat(QImage::Format_RGB32);
        m_bmpSteeringMask = QImage(side, side, QImage::Format_Mono);
        m_bmpSteeringMask.setColor(0, qRgb(0, 0, 0));
        m_bmpSteeringMask.setColor(1, qRgb(255, 255, 255));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                m_bmpSteeringMask.setPixel(x, y, ToColorRef(QColor(m_bmpSteering.pixel(x, y))) == kIconGround ? 0 : 1);
    }
    m_bInitialised = true;
    m_fBuiltScale = g_fScale;
    return TRUE;
}

std::vector<int> GraphTileLefts(int width, int tileWidth, int pitch) {
    std::vector<int> lefts;
    if (width <= 0 || tileWidth <= 0) return lefts;
    pitch = std::max(pitch, 1);
    // A tile narrower than the pitch cannot keep to it without gaps: it goes edge to edge.
    const bool onPitch = tileWidth >= pitch;
    const int step = onPitch ? tileWidth - tileWidth % pitch : tileWidth;
    int x = onPitch ? (width - 1) - (width - 1) % pitch : width - tileWidth;
    lefts.push_back(x);
    while (x > 0) {
        x -= step;
        lefts.push_back(x);
    }
    return lefts;
}

void CGSensorDlg::ApplyScale() {
    if (m_nTileStep > 0) {
        m_nLeftMargin = T(kLabelColumn);
        m_nTileStep = T(kDesignWidth) - m_nLeftMargin;
    }
    if (m_bInitialised && m_fBuiltScale != g_fScale) OnInitDialog();
}

void CGSensorDlg::SetOwner(HWND parent) { m_hParent = parent; }
void CGSensorDlg::LendOffScreen(COffScreenDC* offScreen) { m_pOffScreen = offScreen; }
void CGSensorDlg::SetAmplitudeMode(int mode) { m_nAmplitudeMode = mode; }

void CGSensorDlg::SetLargestG(double largestG, std::span<const double, 3> largestAxisG) {
    m_nAmplitudeMode = AmplitudeModeForLargestG(largestG);
    for (std::size_t axis = 0; axis < m_dAxisScale.size(); ++axis)
        if (largestAxisG[axis] > 0.0) m_dAxisScale[axis] = largestAxisG[axis];
}

void CGSensorDlg::SetFrameCount(int frames) { m_nFrameCount = frames; }

void CGSensorDlg::ResetAxis() {
    m_nLeftMargin = T(kLabelColumn);
    m_nTileStep = T(kDesignWidth) - m_nLeftMargin;
    m_nCurrentFrame = 0;
}

void CGSensorDlg::ShowData(BOOL shown) { m_bDataShown = shown; }

void CGSensorDlg::SetDetectorFlags(int detector, BOOL on) { orv::SetDetectorFlags(m_aDetector, detector, on); }

void CGSensorDlg::ShowFrame(const GraphFrameValues& values) {
    m_nCurrentFrame = values.nCurrentFrame;
    // A frame that neither moves the cursor to another column nor scrolls the plot (a
    // frame shown again, a long movie's frame between two columns) asks for no painting.
    if (m_shownKey && m_pOffScreen && m_nTileStep > 0 && width() > 0) {
        const ChannelsLock lock;
        CurveMapping map;
        if (*m_shownKey == CurrentPaintKey(ChannelFrameRecords(lock), width(), height(), &map)) return;
    }
    update();
}

void CGSensorDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyScale();
}

double CGSensorDlg::GetStepWidth() const {
    const ChannelsLock lock;
    const std::int64_t frames = ChannelFrameRecords(lock).FrameCount();
    if (frames <= 0) return 0.0;
    return double(width() - m_nLeftMargin - int(g_fScale)) / double(frames);
}

void CGSensorDlg::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    if (OnEraseBkgnd(&dc)) {
        m_shownKey = m_paintedKey;
        return;
    }
    RECT all{0, 0, width(), height()};
    dc.FillRect(all, kBlack);
    m_shownKey.reset();
}

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnLButtonUp();
    else if (event->button() == Qt::RightButton) OnRButtonUp();
    QWidget::mouseReleaseEvent(event);
}

void CGSensorDlg::OnLButtonUp() { PostAppMessage(m_hParent, WM_APP_GSENSOR_PREV_EVENT, 0, 0); }
void CGSensorDlg::OnRButtonUp() { PostAppMessage(m_hParent, WM_APP_GSENSOR_NEXT_EVENT, 0, 0); }

BOOL CGSensorDlg::FindEventStart(int frame, EventClassifier classifier, int* kind) const {
    const ChannelsLock lock;
    return orv::FindEventStart(ChannelFrameRecords(lock), frame, classifier, kind);
}

BOOL CGSensorDlg::DetectEvent(std::vector<sCRASHPOS>& list, int frame, int detector) const {
    const ChannelsLock lock;
    return orv::DetectEvent(ChannelFrameRecords(lock), m_aDetector, list, frame, detector);
}

void CGSensorDlg::BuildEventList(std::vector<sCRASHPOS>& list) const { orv::BuildEventList(m_aDetector, list); }

BOOL CGSensorDlg::OnEraseBkgnd(DeviceContext* target) {
    const int w = width();
    const int h = height();
    if (m_nTileStep <= 0 || !target || !m_pOffScreen || w <= 0) return FALSE;
    if (!m_bInitialised) OnInitDialog();
    ApplyScale();

    // The picture without the cursor is kept, and made again only when what it shows
    // changes: the ground with the size, the scale or the mode, the curves and markers
    // with the movie's data, the plot's first frame or the detectors shown. A movie that
    // fits the plot thus draws only its cursor while it plays.
    const ChannelsLock lock;
    const FrameRecords records = ChannelFrameRecords(lock);
    CurveMapping map;
    const PaintKey key = CurrentPaintKey(records, w, h, &map);
    const PlotKey& plotKey = key.plot;
    if (!(plotKey.ground == m_groundKey) || m_ground.isNull()) {
        BuildGround(w, h);
        m_groundKey = plotKey.ground;
    }
    const bool curves = plotKey.curves;
    if (!(plotKey == m_plotKey) || m_plot.isNull()) {
        // Into the kept buffer: the plot is composed anew on every step of a scrolling plot.
        CopyInto(m_plot, m_ground);
        if (curves) {
            if (!ScrollCurves(records, map, plotKey, h)) DrawCurves(records, map, h);
            ComposePlot(h);
        }
        m_plotKey = plotKey;
    }
    m_paintedKey = key;

    // Straight from the kept picture, with the cursor over it, within the pane and the
    // target's own clip rectangle.
    const RECT oldClip = target->GetClipBox();
    const RECT clip{std::max(oldClip.left, 0), std::max(oldClip.top, 0), std::min(oldClip.right, w),
                    std::min(oldClip.bottom, h)};
    target->SelectClipRect(&clip);
    CopyImage(*target, 0, 0, m_plot);
    const QPen oldPen = target->SelectPen(m_penWhite);
    target->MoveTo(key.cursor, h);
    target->LineTo(key.cursor, -1);
    target->SelectPen(oldPen);
    target->SelectClipRect(nullptr);
    const SIZE surface = target->GetSurfaceSize();
    if (oldClip.left != 0 || oldClip.top != 0 || oldClip.right != surface.cx || oldClip.bottom != surface.cy)
        target->SelectClipRect(&oldClip);
    return TRUE;
}

CGSensorDlg::PaintKey CGSensorDlg::CurrentPaintKey(const FrameRecords& records, int w, int h,
                                                   CurveMapping* map) const {
    PaintKey key;
    const GroundKey ground{w, h, m_nAmplitudeMode, g_fScale, m_nTileStep, g_hFont10, m_bmpBackground.cacheKey()};
    const bool curves = m_bDataShown && MapCurves(records, w, map);
    key.plot = PlotKey{ground, curves, records.sensor.data(), records.sensor.size(), records.frameTable.data(),
                       map->frames, FirstFrameKey(map->first), map->step, m_nLeftMargin, 0,
                       curves ? Fingerprint(records) : 0};
    for (int d = 0; d < DETECTOR_COUNT; ++d)
        if (m_aDetector[std::size_t(d)].bShow) key.plot.shown |= 1u << d;
    // The frame's share of the width right of the label column, over the seek range (the
    // curves' own step leaves out a pixel, so the two may stand a column apart).
    key.cursor = m_nLeftMargin + (m_nFrameCount > 0
                                      ? int(double(m_nCurrentFrame) * (float(w - m_nLeftMargin) / float(m_nFrameCount)))
                                      : 0);
    return key;
}

std::uint64_t CGSensorDlg::Fingerprint(const FrameRecords& records) {
    // The next movie's records may lie where the last one's did, with the same count, so
    // what the plot shows is also told apart by a sample of the records themselves and of
    // the frame table (FNV-1a over up to 256 of each, evenly spread).
    // It runs on every painting, so it takes eight bytes a step.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::uint64_t word) { hash = (hash ^ word) * 1099511628211ull; };
    const auto pair = [](std::int32_t a, std::int32_t b) {
        return std::uint64_t(std::uint32_t(a)) << 32 | std::uint32_t(b);
    };
    constexpr std::size_t kSamples = 256;
    const std::size_t n = records.sensor.size();
    for (std::size_t i = 0; i < std::min(n, kSamples); ++i) {
        const sSENSORRECORD& r = records.sensor[i * n / std::min(n, kSamples)];
        mix(std::bit_cast<std::uint64_t>(r.gX));
        mix(std::bit_cast<std::uint64_t>(r.gY));
        mix(std::bit_cast<std::uint64_t>(r.gZ));
        mix(pair(r.index, r.event));
        mix(pair(r.speeding, r.axis));
        mix(pair(r.alert1, r.alert2));
    }
    const std::size_t frames = records.frameTable.size();
    for (std::size_t i = 0; i < std::min(frames, kSamples); ++i)
        mix(std::uint64_t(records.frameTable[i * frames / std::min(frames, kSamples)] - records.sensor.data()));
    return hash;
}

void CGSensorDlg::BuildGround(int w, int h) {
    m_ground = QImage(w, h, QImage::Format_RGB32);
    m_ground.fill(Qt::black);
    DeviceContext dc(&m_ground);
    if (!m_bmpBackground.isNull()) {
        // Grid tiles from the right edge leftward, on a 5-pixel pitch; then the whole
        // picture with its label column at the left.
        const int oldStretch = dc.SetStretchBltMode(COLORONCOLOR);
        const int gridWidth = m_bmpBackground.width() - kLabelColumn;
        for (const int x : GraphTileLefts(w, T(gridWidth), T(5)))
            dc.StretchBlt(x, 0, T(gridWidth), T(kDesignHeight), m_bmpBackground, kLabelColumn, 0, gridWidth,
                          m_bmpBackground.height());
        dc.StretchBlt(0, 0, T(kDesignWidth), T(kDesignHeight), m_bmpBackground, 0, 0, m_bmpBackground.width(),
                      m_bmpBackground.height());
        dc.SetStretchBltMode(oldStretch);
    }
    DrawScaleLabels(dc);
}

bool CGSensorDlg::MapCurves(const FrameRecords& records, int clientWidth, CurveMapping* map) const {
    const std::int64_t frames = records.FrameCount();
    if (records.sensor.empty() || frames <= m_nCurrentFrame || !records.At(0)) return false;
    map->frames = int(std::min<std::int64_t>(frames, INT32_MAX));
    map->plotWidth = clientWidth - int(g_fScale) - m_nLeftMargin;
    map->stepWidth = double(clientWidth - m_nLeftMargin - int(g_fScale)) / double(frames);
    const double minStep = std::max(1.0, std::floor(double(g_fScale)));
    map->step = std::max(map->stepWidth, minStep);
    map->first = GraphFirstFrame(map->stepWidth, map->step, m_nCurrentFrame, frames);
    return true;
}

void CGSensorDlg::DrawScaleLabels(DeviceContext& dc) {
    const GraphScaleLabels labels = ScaleLabelsOf(m_nAmplitudeMode);
    QFont* oldFont = dc.SelectFont(g_hFont10);
    const COLORREF oldColour = dc.SetTextColor(kWhite);
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    RECT top{0, 0, T(38), T(50)};
    RECT middle{0, T(50), T(38), T(100)};
    RECT bottom{0, T(100), T(38), T(150)};
    dc.DrawText(QString::fromLatin1(labels.top), &top, DT_RIGHT);
    dc.DrawText(QString::fromLatin1(labels.middle), &middle, DT_RIGHT);
    dc.DrawText(QString::fromLatin1(labels.bottom), &bottom, DT_RIGHT);
    dc.SetBkMode(oldMode);
    dc.SetTextColor(oldColour);
    dc.SelectFont(oldFont);
}

// The curves are drawn in a layer of their own over a clear ground: the curves and the
// band where it lies over them, with the columns the band covers kept aside and the markers
// listed. ComposePlot lays them over the grid as drawing them straight onto it would.
void CGSensorDlg::DrawCurves(const FrameRecords& records, const CurveMapping& map, int clientHeight) {
    const int w = m_ground.width();
    const int h = m_ground.height();
    if (m_curves.width() != w || m_curves.height() != h) m_curves = QImage(w, h, QImage::Format_ARGB32);
    m_curves.fill(0);
    m_bandColumns.assign(std::size_t(w), 0);
    const int samples = CurveSamples(records, map);
    m_states.assign(std::size_t(samples), CurveState{});
    DeviceContext dc(&m_curves);
    BeginCurves(records, map);
    RunSamples(dc, records, map, 0, samples, clientHeight);
    FinishCurves(dc, records, map, samples, clientHeight);
}

bool CGSensorDlg::ScrollCurves(const FrameRecords& records, const CurveMapping& map, const PlotKey& key,
                               int clientHeight) {
    // Only a plot of whole pixels a sample whose first frame moved by whole samples: sample
    // i then shows frame first + i at column i x step, before and after the move.
    PlotKey moved = m_plotKey;
    moved.first = key.first;
    const double step = map.step;
    if (!m_plotKey.curves || !(moved == key) || step != std::floor(step) || key.first != std::floor(key.first) ||
        m_plotKey.first != std::floor(m_plotKey.first) || m_curves.size() != m_ground.size() ||
        int(m_bandColumns.size()) != m_ground.width())
        return false;
    const int pitch = int(step);
    const double shift = key.first - m_plotKey.first;
    const int oldSamples = int(m_states.size());
    const int samples = CurveSamples(records, map);
    if (shift == 0.0 || std::fabs(shift) >= double(std::min(samples, oldSamples))) return false;
    const int s = int(shift);  // new sample i is old sample i + s
    const int dx = s * pitch;  // columns the picture moves left
    const std::vector<CurveState> old = std::move(m_states);
    m_states.assign(std::size_t(samples), CurveState{});
    const auto oldState = [&](int i) { return Moved(old[std::size_t(i)], -dx); };
    const int w = m_ground.width();
    DeviceContext dc(&m_curves);

    // From the left edge the new run starts afresh; once its state is the old run's at the
    // same frame, it repeats the old run's drawing. Found without drawing.
    const RECT nothing{0, 0, 0, 0};
    dc.SelectClipRect(&nothing);
    BeginCurves(records, map);
    constexpr int kSearch = 128;  // a plot that stays flat longer is drawn afresh
    int agree = -1;
    for (int i = 0; i < std::min({samples, oldSamples - s, kSearch}) && agree < 0; ++i) {
        RunSamples(dc, records, map, i, i + 1, clientHeight);
        if (i + s >= 0 && SameFuture(m_states[std::size_t(i)], oldState(i + s))) agree = i;
    }
    if (agree < 0) return false;
    // Columns left of `left` take drawing that the old run did not do; so do those from
    // `right` on, where the old run ended (its last segments reached the plot's end) or the
    // new one ends. Between them the old picture, moved, is the new one.
    const int left = m_nLeftMargin + (agree + 1) * pitch + 1;
    const int common = std::min(oldSamples - 1, samples - 1 + s);  // the last sample both runs draw
    int right = m_nLeftMargin + (common - s) * pitch + 1;
    for (int axis = 0; axis < 3; ++axis)
        if (m_aDetector[std::size_t(axis)].bShow)
            right = std::min(right, m_nLeftMargin + old[std::size_t(common)].trace[std::size_t(axis)].drawnX - dx);
    int resume = 0;  // the first sample whose drawing reaches `right`
    while (resume < samples && m_nLeftMargin + (resume + 1) * pitch < right) ++resume;
    if (left > right || resume - 1 < agree || resume - 1 + s >= oldSamples) return false;

    // The old picture moved, with both edges cleared.
    for (int y = 0; y < m_curves.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_curves.scanLine(y));
        MoveColumns(line, w, dx);
        std::fill(line, line + std::min(left, w), QRgb(0));
        std::fill(line + std::max(0, std::min(right, w)), line + w, QRgb(0));
    }
    MoveColumns(m_bandColumns.data(), w, dx);
    std::fill(m_bandColumns.begin(), m_bandColumns.begin() + std::min(left, w), 0);
    std::fill(m_bandColumns.begin() + std::max(0, std::min(right, w)), m_bandColumns.end(), 0);

    // The left edge: the new run from its first sample until its drawing lies right of it.
    const RECT leftEdge{0, 0, left, m_curves.height()};
    dc.SelectClipRect(&leftEdge);
    BeginCurves(records, map);
    int until = agree + 1;
    for (int i = 0; i < samples; ++i) {
        if (i > agree) {
            int reach = m_nLeftMargin + (i - 1) * pitch + 1;  // the first column sample i draws on
            for (int axis = 0; axis < 3; ++axis)
                if (m_aDetector[std::size_t(axis)].bShow)
                    reach = std::min(reach, m_nLeftMargin + m_trace[std::size_t(axis)].drawnX);
            if (reach >= left) break;
        }
        RunSamples(dc, records, map, i, i + 1, clientHeight);
        until = i + 1;
    }
    if (until > resume) return false;
    // The middle: the old run's states and markers, moved.
    for (int i = until; i < resume; ++i) m_states[std::size_t(i)] = oldState(i + s);
    const int from = m_nLeftMargin + (until + s) * pitch;
    const int to = m_nLeftMargin + (resume + s) * pitch;
    for (int d = 0; d < DETECTOR_COUNT; ++d)
        for (const SPrepos::Point& point : m_aLastMarkers[std::size_t(d)].points)
            if (point.x >= from && point.x < to)
                m_aPrepos[std::size_t(d)].points.push_back(SPrepos::Point{point.x - dx, point.kind});
    // The right edge: from the state before the first sample that reaches it.
    const RECT rightEdge{right, 0, w, m_curves.height()};
    dc.SelectClipRect(&rightEdge);
    if (resume > 0) RestoreState(m_states[std::size_t(resume - 1)]);
    RunSamples(dc, records, map, resume, samples, clientHeight);
    FinishCurves(dc, records, map, samples, clientHeight);
    return true;
}

int CGSensorDlg::CurveSamples(const FrameRecords& records, const CurveMapping& map) const {
    int samples = 0;
    for (int i = 0; double(i) < double(map.plotWidth) / map.step; ++i) {
        // The slack keeps a frame that the sum reaches exactly from rounding down.
        const std::int64_t frame = std::int64_t(double(i) + map.first + kFrameSlack);
        if (i >= map.frames || frame >= map.frames || !records.At(frame)) break;
        samples = i + 1;
    }
    return samples;
}

void CGSensorDlg::BeginCurves(const FrameRecords& records, const CurveMapping& map) {
    for (SPrepos& p : m_aPrepos) p.points.clear();
    const int plotHeight = T(kDesignHeight);
    m_nCentre = plotHeight / 2;
    m_nClip = m_nCentre - T(5);
    m_nAmplitude = AmplitudePixels(plotHeight, m_nAmplitudeMode);
    m_nPlotWidth = map.plotWidth;
    m_nBandEnd = INT32_MIN;
    m_nSampleCount = {};
    const sSENSORRECORD* start = records.At(std::int64_t(map.first));
    if (!start) start = records.At(0);
    for (int axis = 0; axis < 3; ++axis) {
        const int y = SampleY(*start, axis);
        m_trace[std::size_t(axis)] = AxisTrace{0, y, 0, y};
    }
}

void CGSensorDlg::RunSamples(DeviceContext& dc, const FrameRecords& records, const CurveMapping& map, int from,
                             int to, int clientHeight) {
    const QPen oldPen = dc.GetPen();
    for (int i = from; i < to; ++i) {
        const std::int64_t frame = std::int64_t(double(i) + map.first + kFrameSlack);
        const sSENSORRECORD* record = records.At(frame);
        const int x = int(double(i) * map.step);
        const int lastX = i > 0 ? int(double(i - 1) * map.step) : 0;
        if (i > 0 && x - lastX >= 2)
            for (int col = lastX + 1; col < x; ++col)
                FillSpeedingGap(dc, records, int(frame), m_nLeftMargin + col, clientHeight);
        DrawSample(dc, *record, x, FALSE);
        MarkEventsAt(dc, records, int(frame), m_nLeftMargin + x, map.step, clientHeight);
        // The state after the sample; axes not drawn and a band that ended before the next
        // column are told apart from nothing.
        CurveState& state = m_states[std::size_t(i)];
        for (int axis = 0; axis < 3; ++axis)
            if (m_aDetector[std::size_t(axis)].bShow) {
                state.trace[std::size_t(axis)] = m_trace[std::size_t(axis)];
                state.count[std::size_t(axis)] = m_nSampleCount[std::size_t(axis)];
            }
        state.bandEnd = std::max(m_nBandEnd, m_nLeftMargin + x + 1);
    }
    dc.SelectPen(oldPen);
}

void CGSensorDlg::FinishCurves(DeviceContext& dc, const FrameRecords& records, const CurveMapping& map, int samples,
                               int clientHeight) {
    if (samples > 0) {
        const QPen oldPen = dc.GetPen();
        const std::int64_t lastFrame = std::int64_t(double(samples - 1) + map.first + kFrameSlack);
        const int lastX = int(double(samples - 1) * map.step);
        DrawSample(dc, *records.At(lastFrame), lastX, TRUE);
        // The last sample's band reaches one step further; its marker is already listed.
        if (map.step > 1.0)
            for (int col = lastX + 1; col <= lastX + int(map.step); ++col)
                FillSpeedingGap(dc, records, int(lastFrame), m_nLeftMargin + col, clientHeight);
        dc.SelectPen(oldPen);
    }
    for (int d = 0; d < DETECTOR_COUNT; ++d) {
        m_aLastMarkers[std::size_t(d)].points = std::move(m_aPrepos[std::size_t(d)].points);
        m_aPrepos[std::size_t(d)].points.clear();
    }
}

CGSensorDlg::CurveState CGSensorDlg::Moved(CurveState state, int columns) const {
    for (int axis = 0; axis < 3; ++axis)
        if (m_aDetector[std::size_t(axis)].bShow) {
            state.trace[std::size_t(axis)].drawnX += columns;
            state.trace[std::size_t(axis)].prevX += columns;
        }
    state.bandEnd += columns;
    return state;
}

bool CGSensorDlg::SameFuture(const CurveState& a, const CurveState& b) const {
    if (a.bandEnd != b.bandEnd) return false;
    for (int axis = 0; axis < 3; ++axis) {
        if (!m_aDetector[std::size_t(axis)].bShow) continue;
        const AxisTrace& p = a.trace[std::size_t(axis)];
        const AxisTrace& q = b.trace[std::size_t(axis)];
        if (p != q) return false;
        // The counter of a flat stretch matters only for whether it passed kFlatSamples and
        // where the next multiple of it falls: two runs that came to one stretch from
        // different first frames draw alike from the sample their counters agree on that.
        const int n = a.count[std::size_t(axis)], m = b.count[std::size_t(axis)];
        if (n != m && !(n >= kFlatSamples && m >= kFlatSamples && n % kFlatSamples == m % kFlatSamples))
            return false;
    }
    return true;
}

void CGSensorDlg::RestoreState(const CurveState& state) {
    for (int axis = 0; axis < 3; ++axis)
        if (m_aDetector[std::size_t(axis)].bShow) {
            m_trace[std::size_t(axis)] = state.trace[std::size_t(axis)];
            m_nSampleCount[std::size_t(axis)] = state.count[std::size_t(axis)];
        }
    m_nBandEnd = state.bandEnd;
}

void CGSensorDlg::ComposePlot(int clientHeight) {
    // The band over the grid, the curves over both, the markers over everything.
    const int w = std::min(m_plot.width(), int(m_bandColumns.size()));
    const int bandHeight = int(32.5 * double(g_fScale));
    for (int y = std::max(0, clientHeight - bandHeight); y < std::min(clientHeight, m_plot.height()); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_plot.scanLine(y));
        for (int x = 0; x < w; ++x)
            if (m_bandColumns[std::size_t(x)]) line[x] = SpeedingBandOver(line[x]);
    }
    const int h = std::min(m_plot.height(), m_curves.height());
    const int cw = std::min(m_plot.width(), m_curves.width());
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_plot.scanLine(y));
        const QRgb* curve = reinterpret_cast<const QRgb*>(m_curves.constScanLine(y));
        for (int x = 0; x < cw; ++x)
            if (curve[x]) line[x] = curve[x];
    }
    DeviceContext dc(&m_plot);
    for (int d = 0; d < DETECTOR_COUNT; ++d)
        for (const SPrepos::Point& point : m_aLastMarkers[std::size_t(d)].points)
            DrawEventMarker(dc, point.x, point.kind, clientHeight);
}

int CGSensorDlg::SampleY(const sSENSORRECORD& record, int axis) const {
    double g = axis == 0 ? record.gX : axis == 1 ? record.gY : record.gZ;
    if (!std::isfinite(g)) g = 0.0;
    g = std::clamp(g, -kLargestDrawnG, kLargestDrawnG);
    return int(double(m_nAmplitude) * g);
}

void CGSensorDlg::DrawSample(DeviceContext& dc, const sSENSORRECORD& record, int x, BOOL flush) {
    for (int axis = 0; axis < 3; ++axis) {
        if (!m_aDetector[std::size_t(axis)].bShow) continue;
        AxisTrace& trace = m_trace[std::size_t(axis)];
        int& count = m_nSampleCount[std::size_t(axis)];
        ++count;
        const int y = SampleY(record, axis);
        const int endX = flush ? m_nPlotWidth : x;
        if (y != trace.drawnY) {
            // After a flat stretch the line first follows it to its last sample, so that
            // the change does not slope across the whole stretch.
            if (count > kFlatSamples) DrawSegment(dc, axis, trace.prevX, trace.prevY);
            count = 0;
            DrawSegment(dc, axis, endX, y);
        } else if (flush || count % kFlatSamples == 0) {
            DrawSegment(dc, axis, endX, y);
        }
        trace.prevX = x;
        trace.prevY = y;
    }
}

void CGSensorDlg::DrawSegment(DeviceContext& dc, int axis, int x, int y) {
    AxisTrace& trace = m_trace[std::size_t(axis)];
    const int y0 = std::clamp(trace.drawnY, -m_nClip, m_nClip);
    const int y1 = std::clamp(y, -m_nClip, m_nClip);
    dc.SelectPen(m_aCurvePen[std::size_t(axis)]);
    dc.MoveTo(m_nLeftMargin + trace.drawnX, m_nCentre - y0);
    dc.LineTo(m_nLeftMargin + x, m_nCentre - y1);
    trace.drawnX = x;
    trace.drawnY = y;
}

void CGSensorDlg::MarkEventsAt(DeviceContext& dc, const FrameRecords& records, int frame, int column, double step,
                               int clientHeight) {
    if (m_aDetector[DETECTOR_SPEEDING].bShow)
        MarkEvent(dc, records, frame, DETECTOR_SPEEDING, column, step, clientHeight);
    constexpr int kOrder[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};
    for (const int d : kOrder) {
        if (!m_aDetector[std::size_t(d)].bShow) continue;
        if (!MarkEvent(dc, records, frame, d, column, step, clientHeight)) break;
    }
}

BOOL CGSensorDlg::MarkEvent(DeviceContext& dc, const FrameRecords& records, int frame, int detector, int column,
                            double step, int clientHeight) {
    int kind = EVENT_NONE;
    const BOOL start = orv::FindEventStart(records, frame, m_aDetector[std::size_t(detector)].classifier, &kind);
    if (kind < 0) return TRUE;
    if (start && m_aDetector[std::size_t(DetectorOfKind(kind))].bShow)
        m_aPrepos[std::size_t(detector)].points.push_back(SPrepos::Point{column, kind});
    if (kind == EVENT_SPEEDING) BlendSpeedingBand(dc, column, int(step) + 1, clientHeight);
    return FALSE;
}

void CGSensorDlg::FillSpeedingGap(DeviceContext& dc, const FrameRecords& records, int frame, int column,
                                  int clientHeight) {
    if (!m_aDetector[DETECTOR_SPEEDING].bShow) return;
    int kind = EVENT_NONE;
    const BOOL start = orv::FindEventStart(records, frame, ClassifySpeeding, &kind);
    if (kind == EVENT_SPEEDING && !start) BlendSpeedingBand(dc, column, 2, clientHeight);
}

void CGSensorDlg::BlendSpeedingBand(DeviceContext& dc, int column, int bandWidth, int clientHeight) {
    // Each column is blended once, so that overlapping pieces leave an even band.
    const int from = std::max(column, m_nBandEnd);
    const int to = column + bandWidth;
    if (to <= from) return;
    m_nBandEnd = to;
    const int bandHeight = int(32.5 * double(g_fScale));
    QImage* picture = dc.GetBitmap();
    if (!picture || picture->format() != QImage::Format_ARGB32 || m_speedingOverlay.isNull()) {
        dc.AlphaBlend(from, clientHeight - bandHeight, to - from, bandHeight, m_speedingOverlay, 0, 0,
                      std::min(to - from, m_speedingOverlay.width()),
                      std::min(bandHeight, m_speedingOverlay.height()), m_speedingBlend);
        return;
    }
    // The band is one colour at one alpha, so what it makes of a pixel depends on that
    // pixel alone: each colour met is blended once the way a blit of the band blends it,
    // and the band is set pixel by pixel from those results (a painter opened for every
    // column of a speeding stretch cost more than the curves). In the curves' layer it
    // darkens the curves drawn so far; its columns are kept for the grid under it.
    const RECT clip = dc.GetClipBox();
    const QRect area = QRect(from, clientHeight - bandHeight, to - from, bandHeight) &
                       QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(picture->scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            if (line[x]) line[x] = SpeedingBandOver(line[x]);
    }
    for (int x = std::max(area.left(), 0); x <= area.right() && x < int(m_bandColumns.size()); ++x)
        m_bandColumns[std::size_t(x)] = 1;
}

QRgb CGSensorDlg::SpeedingBandOver(QRgb under) {
    const auto known = m_bandBlends.find(under);
    if (known != m_bandBlends.end()) return known->second;
    if (m_bandBlends.size() >= 4096) m_bandBlends.clear();  // a picture of many colours
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.setPixel(0, 0, under);
    DeviceContext dc(&pixel);
    dc.AlphaBlend(0, 0, 1, 1, m_speedingOverlay, 0, 0, 1, 1, m_speedingBlend);
    return m_bandBlends[under] = pixel.pixel(0, 0);
}

void CGSensorDlg::DrawEventMarker(DeviceContext& dc, int x, int kind, int clientHeight) {
    if (x < m_nLeftMargin || kind < 0 || kind >= EVENT_KIND_COUNT) return;
    const QPen oldPen = dc.SelectPen(m_aEventPen[std::size_t(kind)]);
    QFont* oldFont = dc.SelectFont(g_hFont10);
    dc.MoveTo(x, clientHeight);
    dc.LineTo(x, -1);
    // Rows stack upward from the base line, a text line apart, closer when the seven rows
    // would not fit in the plot.
    const int lineHeight = std::max(1, dc.GetTextExtent(QStringLiteral("G")).cy);
    const int base = T(kDesignHeight) - T(5);
    const int rowStep = std::max(1, std::min(lineHeight, base / kMarkerRows));
    const int y = base - lineHeight - EventMarkerRow(kind) * rowStep;
    if (kind == EVENT_DRIVE_SUPPORT_STEERING) {
        DrawSteeringIcon(dc, x + 1, y + (lineHeight - T(11)) / 2);
    } else {
        const COLORREF oldColour = dc.SetTextColor(kWhite);
        const int oldMode = dc.SetBkMode(TRANSPARENT);
        const unsigned oldAlign = dc.SetTextAlign(TA_LEFT | TA_TOP);
        dc.TextOut(x + 1, y, EventMarkerText(kind));
        dc.SetTextAlign(oldAlign);
        dc.SetBkMode(oldMode);
        dc.SetTextColor(oldColour);
    }
    dc.SelectFont(oldFont);
    dc.SelectPen(oldPen);
}

void CGSensorDlg::DrawSteeringIcon(DeviceContext& dc, int x, int y) {
    if (m_bmpSteering.isNull()) return;
    const int side = m_bmpSteering.width();
    const POINT corners[3] = {{x, y}, {x + side, y}, {x, y + side}};
    dc.PlgBlt(corners, m_bmpSteering, 0, 0, side, side, &m_bmpSteeringMask, 0, 0);
}

}  // namespace orv
