#include "ui/ResourceImage.h"

#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/gdi/SkinResources.h"
#include "ui/GdiDrawer.h"
#include "ui/ScaleFonts.h"
#include "ui/text/UiText.h"

namespace orv {

BOOL g_bLimitedModel = FALSE;

namespace {

// The store's pictures: the bitmaps, then the PNG pictures.
constexpr int kLoadOrder[] = {
    129, 164, 324, 320, 307, 309, 321, 325, 312, 313,
    198, 199, 196, 197, 192, 195, 358, 359, 360, 361, 368, 369,  // quality badges
    201, 207, 206, 218, 202, 209, 210, 208, 203, 204, 205, 213, 211, 350, 219, 351, 212,
    171, 190, 214, 215, 364,
    348, 331, 332, 333, 334, 335, 336, 337, 338, 339, 340, 341, 342, 343, 344, 345, 349,
};

constexpr int kMainBackground = 129;
constexpr int kIcon = 171;
constexpr int kQualityBadges[12] = {198, 199, 196, 197, 192, 195, 358, 359, 360, 361, 368, 369};
constexpr int kAxisSmall[3] = {209, 210, 208};  // X green, Y red, Z blue
constexpr int kAxisLarge[3] = {203, 204, 205};
constexpr int kDateBoxes[3] = {206, 202, 218};
constexpr int kStatusImages[3] = {211, 212, 219};
constexpr int kAngleDashesSmall = 350;
constexpr int kAngleDashesLarge = 351;
constexpr int kArrowLeftLit = 334;
constexpr int kArrowLeftDark = 335;
constexpr int kArrowRightLit = 336;
constexpr int kArrowRightDark = 337;
constexpr int kMicrophoneSound = 331;
constexpr int kMicrophoneOn = 332;
constexpr int kMicrophoneOff = 333;
constexpr int kGps = 348;
constexpr int kZoomHintSideBySide = 214;
constexpr int kZoomHintStacked = 215;
constexpr int kNeedle = 312;
constexpr int kNeedleMask = 313;
constexpr int kZoomHintText = 173;

const QString kDateTemplate = QStringLiteral("0000/00/00 00:00:00");
const QString kGTemplate = QStringLiteral("-0.00G");

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// trunc(k x g_fScale)
int T(double k) { return int(k * double(g_fScale)); }

}  // namespace

CResourceImage::CResourceImage() = default;

CResourceImage::~CResourceImage() = default;

void CResourceImage::CreateDrawDCs(const QWidget* window) {
    if (!window) return;
    m_dc1.SetBkMode(TRANSPARENT);
    m_dc1.SetBkColor(kBlack);
    const QSize size = window->frameGeometry().size();
    m_dc2.SelectBitmap(nullptr);
    m_dc2Bitmap = QImage(size, QImage::Format_RGB32);
    m_dc2Bitmap.fill(Qt::black);
    m_dc2.SelectBitmap(&m_dc2Bitmap);
}

void CResourceImage::LoadImages(const QWidget* mainWindow) {
    CreateDrawDCs(mainWindow);
    // Each picture is decoded when it is first drawn: most panes with pictures (the gauges,
    // the zoom hints) are not on the screen at start.
    m_pictures.clear();
    m_bLoaded = true;
    // The window's frame is the one large picture the first painting needs: it is decoded
    // while the panes are being made.
    if (!m_decoding.count(kMainBackground))
        m_decoding.emplace(kMainBackground, std::async(std::launch::async, [] { return LoadSkinBitmap(kMainBackground); }));
    m_brWhite1 = QBrush(ToQColor(kWhite));
    m_brWhite2 = QBrush(ToQColor(kWhite));
    if (const QImage* icon = Picture(kIcon)) m_hIcon = QIcon(QPixmap::fromImage(*icon));
}

const QImage* CResourceImage::Picture(int id) const {
    auto it = m_pictures.find(id);
    if (it == m_pictures.end()) {
        if (!m_bLoaded) return nullptr;
        if (std::find(std::begin(kLoadOrder), std::end(kLoadOrder), id) == std::end(kLoadOrder)) return nullptr;
        // A picture that cannot be loaded is remembered as null and not tried again.
        const auto decoding = m_decoding.find(id);
        QImage picture = decoding != m_decoding.end() ? decoding->second.get() : LoadSkinBitmap(id);
        if (decoding != m_decoding.end()) m_decoding.erase(decoding);
        it = m_pictures.emplace(id, std::move(picture)).first;
    }
    return it->second.isNull() ? nullptr : &it->second;
}

// --- decisions of the drive-support display -------------------------------------------

int CResourceImage::SteeringAngle(unsigned short raw) { return (int(raw) - 8192) / 10; }

int CResourceImage::WheelPicture(int angle) {
    if (angle >= -820 && angle <= -10) return kWheelRight;
    if (angle >= 10 && angle <= 820) return kWheelLeft;
    if (angle == SteeringAngle(kNoSteering)) return kWheelNoData;
    return kWheelCentre;
}

int CResourceImage::BrakePicture(int brake) {
    if (brake == 0) return kBrakeOff;
    if (brake == 1) return kBrakeOn;
    return kBrakeNoData;
}

// --- blitting -------------------------------------------------------------------------

void CResourceImage::BlitKeyed(DeviceContext& dc, const QImage* bitmap, int x, int y, int width, int height,
                               int sourceY, int sourceWidth, int sourceHeight, COLORREF key) {
    if (!bitmap) return;
    QImage* previous = m_dc1.SelectBitmap(const_cast<QImage*>(bitmap));
    const int oldStretch = dc.SetStretchBltMode(COLORONCOLOR);
    const int oldBkMode = dc.SetBkMode(TRANSPARENT);
    dc.TransparentBlt(x, y, width, height, m_dc1, 0, sourceY, sourceWidth, sourceHeight, key);
    dc.SetStretchBltMode(oldStretch);
    dc.SetBkMode(oldBkMode);
    m_dc1.SelectBitmap(previous);
}

void CResourceImage::BlitKeyedScaled(DeviceContext& dc, const QImage* bitmap, int x, int y) {
    if (!bitmap) return;
    BlitKeyed(dc, bitmap, x, y, T(bitmap->width()), T(bitmap->height()), 0, bitmap->width(), bitmap->height(),
              kBlack);
}

void CResourceImage::DrawPng(DeviceContext& dc, int id, int x, int y, double zoom) {
    const QImage* picture = Picture(id);
    QPainter painter;
    if (!picture || !dc.OpenPainter(painter)) return;
    CGdiDrawer::DrawImageScaled(*picture, &painter, x, y, zoom);
}

// --- text routines --------------------------------------------------------------------

QString CResourceImage::CellPrefix(const QString& text) {
    if (text.isEmpty() || text.front() == QLatin1Char('G')) return QString();
    int length = 1;
    while (length < text.size() && (text[length] == QLatin1Char('0') || text[length] == QLatin1Char('-')))
        ++length;
    return text.left(length);
}

void CResourceImage::DrawFixedCellText(DeviceContext& dc, const RECT& rect, const QString& text,
                                       unsigned format) {
    RECT r = rect;
    if (format == (DT_RIGHT | DT_SINGLELINE)) r.left = r.right - dc.GetTextExtent(text).cx;
    QString rest = text;
    for (;;) {
        const QString prefix = CellPrefix(rest);
        if (prefix.isEmpty() || rest.size() <= prefix.size()) break;
        const QString cell = rest.mid(prefix.size(), 1);
        r.left += dc.GetTextExtent(prefix).cx;
        r.right = r.left + dc.GetTextExtent(cell).cx;
        dc.DrawText(cell, &r, format);
        rest = rest.mid(prefix.size());
    }
}

void CResourceImage::DrawAxisLabel(DeviceContext& dc, const RECT& rect, int size, int axis) {
    if (size < 0 || size > 1 || axis < 0 || axis > 2) return;
    BlitKeyedScaled(dc, Picture(size == 0 ? kAxisSmall[axis] : kAxisLarge[axis]), rect.left, rect.top);
    DrawFixedCellText(dc, rect, kGTemplate, DT_RIGHT | DT_SINGLELINE);
}

void CResourceImage::DrawDateBox(DeviceContext& dc, const RECT& rect, int size) {
    if (size < 0 || size > 2) return;
    if (const QImage* box = Picture(kDateBoxes[size])) {
        const int width = dc.GetTextExtent(kDateTemplate).cx;
        BlitKeyed(dc, box, rect.left, rect.top, width, T(box->height()), 0, box->width(), box->height(), kBlack);
    }
    const int inset = size == 0 ? T(0.8) : T(1);
    DrawFixedCellText(dc, RECT{rect.left - inset, rect.top, rect.left + T(100), rect.bottom}, kDateTemplate, 0);
}

void CResourceImage::DrawStatusImage(DeviceContext& dc, const RECT& rect, int kind) {
    if (kind < 0 || kind > 2) return;
    const QImage* image = Picture(kStatusImages[kind]);
    if (!image) return;
    const int x = kind == 2 ? rect.right - T(image->width()) : rect.left;
    BlitKeyedScaled(dc, image, x, rect.top);
}

void CResourceImage::DrawSignedDegrees(DeviceContext& dc, int x, int y, int value) {
    const COLORREF oldColour = dc.SetTextColor(kBlack);
    dc.SetTextAlign(TA_RIGHT);
    dc.TextOut(x, y, QString::asprintf("%+4d", value) + QStringLiteral("°"));
    dc.SetTextAlign(TA_LEFT);
    dc.SetTextColor(oldColour);
}

void CResourceImage::DrawDegreeMarks(DeviceContext& dc, int x, int y, int dx, int dy) {
    const COLORREF oldColour = dc.SetTextColor(kBlack);
    dc.SetTextAlign(TA_RIGHT);
    dc.TextOut(x, y - dy, QStringLiteral(" °"));
    dc.TextOut(x - dx, y, QStringLiteral("±"));
    dc.SetTextAlign(TA_LEFT);
    dc.SetTextColor(oldColour);
}

// --- drive-support display --------------------------------------------------------------

void CResourceImage::DrawTurnSignals(DeviceContext& dc, int kind, int xLeft, int xRight, int y, double zoom) {
    int left = kArrowLeftDark;
    int right = kArrowRightDark;
    if (kind == 1) {
        right = kArrowRightLit;
    } else if (kind == 2) {
        left = kArrowLeftLit;
    } else if (kind == 3) {
        left = kArrowLeftLit;
        right = kArrowRightLit;
    }
    DrawPng(dc, left, xLeft, y, zoom);
    DrawPng(dc, right, xRight, y, zoom);
}

void CResourceImage::DrawKeyed(DeviceContext& dc, int x, int y, int width, int height, int sourceY,
                               int sourceWidth, int sourceHeight, const QImage* bitmap) {
    BlitKeyed(dc, bitmap, x, y, width, height, sourceY, sourceWidth, sourceHeight, kWhite);
}

void CResourceImage::DrawGauge(DeviceContext& dc, POINT origin, int layout, int turnSignal,
                               unsigned short steering, int brake) {
    if (layout != 0 && layout != 1) return;
    if (g_bLimitedModel) {
        turnSignal = -1;
        steering = kNoSteering;
        brake = -1;
    }
    const int angle = SteeringAngle(steering);
    const int wheel = WheelPicture(angle);
    const int brakeId = BrakePicture(brake);
    const int X = origin.x;
    const int Y = origin.y;
    const float s = g_fScale;

    if (layout == 0) {
        constexpr double zoom = 1.0;
        DrawTurnSignals(dc, turnSignal, X, X + T(62), Y + T(18), zoom);
        DrawPng(dc, wheel, X + T(26), Y + T(18), zoom);
        DrawPng(dc, brakeId, X + T(3), Y + T(55), zoom);
        const POINT b{X + T(3), Y - T(3)};
        if (IsValidAngle(angle)) {
            DrawPng(dc, kValueBox, b.x, b.y, zoom);
            DrawSignedDegrees(dc, b.x + T(60), b.y, angle);
        } else {
            DrawPng(dc, kNoValueBox, b.x, b.y, zoom);
            if (const QImage* dashes = Picture(kAngleDashesSmall)) {
                const int w = dashes->width();
                const int h = dashes->height();
                DrawKeyed(dc, b.x + T(21), b.y, int(float(w - 10) * s), int(float(h - T(1)) * s), 1, w, h - 1,
                          dashes);
            }
            DrawDegreeMarks(dc, b.x + T(60), b.y + T(1), T(31), T(1));
        }
        return;
    }

    constexpr double zoom = 1.4;
    DrawTurnSignals(dc, turnSignal, X - T(85), X + T(86.8) - T(85), Y + T(35), zoom);
    DrawPng(dc, wheel, X + T(36.4) - T(85), Y + T(35), zoom);
    const int brakeX = X - T(85) + T(4.2);
    DrawPng(dc, brakeId, brakeX, Y + T(89.6), zoom);
    const POINT b{brakeX, Y + T(4.2)};
    if (IsValidAngle(angle)) {
        DrawPng(dc, kValueBox, b.x, b.y, zoom);
        DrawSignedDegrees(dc, X + T(5), b.y - T(2), angle);
    } else {
        DrawPng(dc, kNoValueBox, b.x, b.y, zoom);
        if (const QImage* dashes = Picture(kAngleDashesLarge)) {
            const int w = dashes->width();
            const int h = dashes->height();
            DrawKeyed(dc, X + T(20) - T(70), b.y + T(8), int(double(w) * 1.4 * 0.75 * double(s)),
                      int(float(h - 20) * s), 10, w, h - 20, dashes);
        }
        DrawDegreeMarks(dc, X + T(5), b.y, T(54), T(2));
    }
}

// --- info panel pictures ------------------------------------------------------------------

void CResourceImage::DrawQualityBadge(DeviceContext& dc, const RECT& rect, int index, double zoom) {
    if (index < 0 || index > 11) return;
    const QImage* badge = Picture(kQualityBadges[index]);
    const QImage* reference = Picture(kQualityBadges[0]);
    if (!badge || !reference) return;
    const double scale = zoom * double(g_fScale);
    const int oldStretch = dc.SetStretchBltMode(COLORONCOLOR);
    dc.StretchBlt(rect.left, rect.top, int(reference->width() * scale), int(reference->height() * scale), *badge,
                  0, 0, badge->width(), badge->height());
    dc.SetStretchBltMode(oldStretch);
}

void CResourceImage::DrawInCell(DeviceContext& dc, int id, const RECT& cell, double zoom) {
    const QImage* picture = Picture(id);
    if (!picture) return;
    const int x = cell.left - (T(picture->width()) - T(60)) / 2;
    DrawPng(dc, id, x, cell.top, zoom);
}

void CResourceImage::DrawAudioMark(DeviceContext& dc, const RECT& cell, int mark, double zoom) {
    const int id = mark == 'R' ? kMicrophoneSound : (mark == 'r' ? kMicrophoneOn : kMicrophoneOff);
    DrawInCell(dc, id, cell, zoom);
}

void CResourceImage::DrawGpsIcon(DeviceContext& dc, const RECT& cell, double zoom) {
    DrawInCell(dc, kGps, cell, zoom);
}

void CResourceImage::DrawFrameTiles(DeviceContext& dc, const RECT& rect) {
    const QImage* frame = Picture(kMainBackground);
    if (!frame || rect.right <= rect.left || rect.bottom <= rect.top) return;
    const int cellW = frame->width() / 3;
    const int cellH = frame->height() / 3;
    const int stepX = T(frame->width()) / 3;
    const int stepY = T(frame->height()) / 3;
    if (stepX <= 0 || stepY <= 0) return;

    // Tile positions along one edge and the picture cell (0, 1, 2) each takes.
    struct Tile {
        int at;
        int cell;
    };
    const auto layOut = [](int from, int to, int step) {
        const int last = to - (step + 1);  // the last tile ends on the edge
        std::vector<Tile> tiles{{from, 0}};
        for (int at = from + step; at < last; at += step) tiles.push_back({at, 1});
        if (last > from) tiles.push_back({last, 2});
        return tiles;
    };
    const std::vector<Tile> columns = layOut(rect.left, rect.right, stepX);
    const std::vector<Tile> rows = layOut(rect.top, rect.bottom, stepY);

    QImage* previous = m_dc1.SelectBitmap(const_cast<QImage*>(frame));
    for (size_t r = 0; r < rows.size(); ++r) {
        const bool edgeRow = r == 0 || r + 1 == rows.size();
        for (size_t c = 0; c < columns.size(); ++c) {
            if (!edgeRow && c != 0 && c + 1 != columns.size()) continue;
            dc.TransparentBlt(columns[c].at, rows[r].at, stepX + 1, stepY + 1, m_dc1, columns[c].cell * cellW,
                              rows[r].cell * cellH, cellW, cellH, kBlack);
        }
    }
    m_dc1.SelectBitmap(previous);
}

void CResourceImage::DrawZoomHint(DeviceContext& dc, const RECT& rect, BOOL sideBySide) {
    if (const QImage* ground = Picture(sideBySide ? kZoomHintSideBySide : kZoomHintStacked))
        dc.StretchBlt(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, *ground, 0, 0,
                      ground->width(), ground->height());
    const int oldBkMode = dc.SetBkMode(TRANSPARENT);
    const COLORREF oldColour = dc.SetTextColor(kWhite);
    QFont* oldFont = dc.SelectFont(g_hFont13);
    const int cx = (rect.right - rect.left) / 2;
    const int cy = (rect.bottom - rect.top) / 2;
    RECT text{cx - T(90), cy - T(50), cx + T(90), cy + T(50)};
    dc.DrawText(QString::fromUtf8(UiText(kZoomHintText)), &text, DT_CENTER);
    dc.SelectFont(oldFont);
    dc.SetTextColor(oldColour);
    dc.SetBkMode(oldBkMode);
}

// --- gauges ---------------------------------------------------------------------------------

void CResourceImage::DrawMeter(DeviceContext& dc, const RECT& rect, int faceId, double angle) {
    const QImage* face = Picture(faceId);
    QImage* work = m_dc2.GetBitmap();
    if (!face || !work) return;
    m_dc2.FillRect(RECT{0, 0, T(210), T(170)}, kBlack);
    {
        // The face carries its own alpha: its soft edges blend into the black work area.
        QPainter painter;
        if (m_dc2.OpenPainter(painter)) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(0, 0, T(face->width()), T(face->height())), *face);
        }
    }

    const QImage* needle = Picture(kNeedle);
    if (needle) {
        const int left = T(210) / 2 - T(22) / 2;
        const double px = T(210) / 2;
        const double py = T(108);
        const POINT upright[3] = {{left, T(20)}, {left + T(22), T(20)}, {left, T(20) + T(106)}};
        const double a = angle * std::numbers::pi / 180.0;
        POINT turned[3];
        for (int i = 0; i < 3; ++i) {
            const double x = upright[i].x - px;
            const double y = upright[i].y - py;
            turned[i] = POINT{int(x * std::cos(a) - y * std::sin(a) + px), int(x * std::sin(a) + y * std::cos(a) + py)};
        }
        // Averaged sampling smooths the turned needle's edges.
        const int oldStretch = m_dc2.SetStretchBltMode(HALFTONE);
        m_dc2.PlgBlt(turned, *needle, 0, 0, needle->width(), needle->height(), Picture(kNeedleMask), 0, 0);
        m_dc2.SetStretchBltMode(oldStretch);
    }
    dc.BitBlt(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, m_dc2, 0, 0);
}

}  // namespace orv
