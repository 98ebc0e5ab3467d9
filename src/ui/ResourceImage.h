// The image store of the main window: every skin picture the panes paint with, loaded
// once, the drawing contexts to blit them from, and the drawing routines of the info
// panel's placeholders and drive-support display, the logo pane, the zoom hint and the
// gauges.
//
// Pictures are named by resource id (the ids of res/skin/skin.manifest). A picture that
// could not be loaded is null, and every routine leaves out what it would have drawn of
// it. Lengths given to the routines are pixels on the target; the pictures' own sizes
// are design pixels, multiplied by g_fScale and truncated toward zero where drawn.
// UI thread only.
#pragma once

#include <QBrush>
#include <QIcon>
#include <QImage>
#include <QString>

#include <future>
#include <map>

#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"

class QWidget;

namespace orv {

// Set when the card comes from the limited recorder model: the drive-support display
// then shows no data.
extern BOOL g_bLimitedModel;

class CResourceImage {
public:
    // Picture ids the routines choose between.
    static constexpr int kWheelLeft = 338;     // mark turned to the left (angle >= 10)
    static constexpr int kWheelCentre = 339;
    static constexpr int kWheelRight = 340;    // mark turned to the right (angle <= -10)
    static constexpr int kWheelNoData = 341;
    static constexpr int kBrakeOn = 342;
    static constexpr int kBrakeOff = 343;
    static constexpr int kBrakeNoData = 344;
    static constexpr int kValueBox = 345;      // white box under a valid angle
    static constexpr int kNoValueBox = 349;    // dark box without one

    // The steering reading with no data (all bits of the 16-bit field set).
    static constexpr unsigned short kNoSteering = 0xFFFF;

    CResourceImage();
    virtual ~CResourceImage();
    CResourceImage(const CResourceImage&) = delete;
    CResourceImage& operator=(const CResourceImage&) = delete;

    // (Re)makes the two drawing contexts for `window`: context 1, the blit source
    // (background mode transparent, background colour black), and context 2 with a
    // bitmap of the window's full size (the gauges' work area). Nothing for a null
    // window.
    void CreateDrawDCs(const QWidget* window);

    // CreateDrawDCs, and the store made ready: each picture is decoded the first time it
    // is asked for.
    void LoadImages(const QWidget* mainWindow);

    // The picture `id` as the store holds it (BMP pictures laid on their background,
    // the needle mask 1-bit, PNG pictures with alpha), decoded on first use; null when it
    // is not one of the store's, cannot be loaded, or LoadImages has not run.
    const QImage* Picture(int id) const;

    DeviceContext& GetDrawDC2() { return m_dc2; }
    const QIcon& GetIcon() const { return m_hIcon; }
    // The two white brushes lent to the panes (the logo pane frames with them).
    const QBrush& GetWhiteBrush1() const { return m_brWhite1; }
    const QBrush& GetWhiteBrush2() const { return m_brWhite2; }

    // --- the drive-support display's decisions -------------------------------------
    // Tenths of a degree around 8192, truncated toward zero: raw 8091 gives -10.
    static int SteeringAngle(unsigned short raw);
    static bool IsValidAngle(int angle) { return angle >= -820 && angle <= 820; }
    static int WheelPicture(int angle);
    static int BrakePicture(int brake);

    // --- drawing routines ------------------------------------------------------------
    // The first character of `text` (none when it is 'G') and every '0' or '-' that
    // directly follows it.
    static QString CellPrefix(const QString& text);

    // Draws the characters of the fixed-format template `text` that are not '0' or '-'
    // at the places they would have if the whole template were drawn in the context's
    // font, each in a cell of its own width. With format DT_RIGHT | DT_SINGLELINE the
    // template ends at rect.right; else it starts at rect.left.
    void DrawFixedCellText(DeviceContext& dc, const RECT& rect, const QString& text, unsigned format);

    // The G-value placeholder of `axis` (0 X, 1 Y, 2 Z), `size` 0 small or 1 large, at
    // the rectangle's top-left, with the '.' and 'G' of "-0.00G" right-aligned in it.
    void DrawAxisLabel(DeviceContext& dc, const RECT& rect, int size, int axis);

    // The date placeholder of `size` 0, 1 or 2, stretched to the width of
    // "0000/00/00 00:00:00" in the context's font, with its separators drawn in.
    void DrawDateBox(DeviceContext& dc, const RECT& rect, int size);

    // The missing-value picture of `kind` 0 or 1 at the rectangle's top-left, or of kind
    // 2 with its right edge on the rectangle's right edge.
    void DrawStatusImage(DeviceContext& dc, const RECT& rect, int kind);

    // "%+4d°" of `value`, right-aligned at x, in black. Leaves the text alignment left
    // and the text colour as it was.
    void DrawSignedDegrees(DeviceContext& dc, int x, int y, int value);

    // " °" right-aligned at (x, y - dy) and "±" at (x - dx, y), in black. Leaves the
    // text alignment left and the text colour as it was.
    void DrawDegreeMarks(DeviceContext& dc, int x, int y, int dx, int dy);

    // The two turn-signal arrows of `kind` (1 right lit, 2 left lit, 3 both, else none)
    // with their top-left corners at (xLeft, y) and (xRight, y), scaled by zoom x g_fScale.
    void DrawTurnSignals(DeviceContext& dc, int kind, int xLeft, int xRight, int y, double zoom);

    // `bitmap`'s rows from sourceY, sourceWidth x sourceHeight, stretched to
    // (x, y, width, height), leaving out white.
    void DrawKeyed(DeviceContext& dc, int x, int y, int width, int height, int sourceY, int sourceWidth,
                   int sourceHeight, const QImage* bitmap);

    // The drive-support display: turn signals, steering wheel, brake and the steering
    // angle in its box, placed from `origin` by `layout` (0 small, 1 large). With
    // g_bLimitedModel set every value shows as missing.
    void DrawGauge(DeviceContext& dc, POINT origin, int layout, int turnSignal, unsigned short steering,
                   int brake);

    // Recording-quality badge `index` (0..11) stretched to the reference badge's size
    // times zoom times g_fScale, at the rectangle's top-left.
    void DrawQualityBadge(DeviceContext& dc, const RECT& rect, int index, double zoom);

    // The audio mark of `mark` ('R' sound recorded, 'r' microphone on, else off) and the
    // GPS icon, centred by their scaled width in a cell trunc(60 x g_fScale) wide that
    // starts at cell.left, top at cell.top, scaled by zoom.
    void DrawAudioMark(DeviceContext& dc, const RECT& cell, int mark, double zoom);
    void DrawGpsIcon(DeviceContext& dc, const RECT& cell, double zoom);

    // The main window's skin along the rectangle's edges: the picture cut into 3 x 3
    // cells, tiles of a third of its scaled size on the border rows and columns only,
    // the last ones aligned to the right and bottom edges, each one pixel larger than
    // its step, leaving out black.
    void DrawFrameTiles(DeviceContext& dc, const RECT& rect);

    // The browser pane's large-video hint: the side-by-side or stacked ground stretched
    // over `rect` (the pane's client rectangle), and the hint text in white, centred in
    // a 180 x 100 (scaled) box about (width / 2, height / 2) of the rectangle.
    void DrawZoomHint(DeviceContext& dc, const RECT& rect, BOOL sideBySide);

    // One gauge: on context 2 as a work area, the face `faceId` scaled by g_fScale
    // (leaving out white) and the needle turned `angle` degrees clockwise from upright
    // about the dial's pivot, drawn through its mask; then the work area's top-left part
    // of the rectangle's size copied to the rectangle on `dc`.
    void DrawMeter(DeviceContext& dc, const RECT& rect, int faceId, double angle);

private:
    // Picture `bitmap` from (0, sourceY, sourceWidth, sourceHeight) to (x, y, width,
    // height) leaving out `key`, in nearest-pixel stretch and transparent background
    // mode, both restored afterwards. Nothing for a null picture.
    void BlitKeyed(DeviceContext& dc, const QImage* bitmap, int x, int y, int width, int height, int sourceY,
                   int sourceWidth, int sourceHeight, COLORREF key);
    // A picture at its scaled size, leaving out black.
    void BlitKeyedScaled(DeviceContext& dc, const QImage* bitmap, int x, int y);
    void DrawPng(DeviceContext& dc, int id, int x, int y, double zoom);
    void DrawInCell(DeviceContext& dc, int id, const RECT& cell, double zoom);

    mutable std::map<int, QImage> m_pictures;  // decoded so far (null: could not be loaded)
    mutable std::map<int, std::future<QImage>> m_decoding;  // being decoded on a thread of their own
    bool m_bLoaded = false;                    // LoadImages has run: pictures may be decoded
    QImage m_dc2Bitmap;
    DeviceContext m_dc1;  // blit source
    DeviceContext m_dc2;  // the gauges' work area
    QIcon m_hIcon;
    QBrush m_brWhite1;
    QBrush m_brWhite2;
};

}  // namespace orv
