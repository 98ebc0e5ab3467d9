// The info panel beside the video: the recording time of the frame on screen, the speed
// (or the battery voltage of a parking recording on a card with a trace file), the three
// G values, the resolution-and-quality badge, the audio mark, the GPS icon, the
// drive-support display, the recording's title and three buttons that switch the G axes
// on the graph and the map.
//
// The main window lends it its context and chooses its draw mode; as playback goes, it sets
// the panel up for each recording and hands it each frame's values (copies), then asks for a
// repaint; the panel reads no data and takes no lock itself. Draw modes: 0 and 1 are two
// layouts inside the panel, 2 a compact strip drawn into the main window. UI thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "views/InfoTexts.h"
#include "views/PaneValues.h"

class QFont;

namespace orv {

class COffScreenDC;
class CResourceImage;
class CSkinButton;

class CInfoDlg : public QWidget {
public:
    static constexpr int kAxisButtonFirst = 38600;  // X, Y, Z: 38600..38602
    static constexpr int kAxisButtonStrip = 217;

    // Pictures of the image store the panel uses beside its routines.
    static constexpr int kPanelBackground = 201;
    static constexpr int kNoVoltagePicture = 364;
    static constexpr int kCornerPicture = 190;

    explicit CInfoDlg(QWidget* parent = nullptr);
    ~CInfoDlg() override;

    // Makes the three axis buttons (shown and pressed). Run once the pane exists.
    BOOL OnInitDialog();

    // Paints the panel by m_nDrawMode into `dc` (modes 0 and 1: the panel; mode 2: the
    // main window's context). FALSE without an off-screen context or with an empty panel.
    BOOL DrawInfoPanel(DeviceContext* dc);

    // Every value to none (speed, G, vehicle values, position, mark, GPS, voltage,
    // quality, title), then a repaint.
    void ResetInfoValues();

    // Takes a record's drive-support readings by m_nDataFormat (see ApplyVehicleValues).
    void SetVehicleValues(int turnSignal, int steering, int brake, int flag);

    // The main window's frame tiles around its client area, and the corner picture,
    // copied into `dc`.
    void DrawParentFrame(DeviceContext* dc);
    // Mode 2: the compact strip along the bottom of the main window, drawn into `dc`.
    void DrawCompactInfo(DeviceContext* dc);
    // Where the compact strip stands in the main window's client area.
    RECT CompactStripRect() const;

    // Axis button `id` (38600..38602) flips its pressed state and posts
    // WM_APP_INFO_AXIS_TOGGLE (axis, new state) to m_hParent.
    void OnAxisButton(int id);

    // The pressed state of axis button 0..2.
    BOOL IsAxisPressed(int axis) const;

    // --- set-up and the frame's values, by the main window ----------------------------------
    // Where the axis buttons post, and the image store.
    void SetOwner(HWND parent, CResourceImage* images);
    // The main window's off-screen context, lent for drawing; `oldFont` (when given) is
    // selected back into it when the panel goes.
    void LendOffScreen(COffScreenDC* offScreen, QFont* oldFont = nullptr);
    void SetDrawMode(int mode);
    void SetExtraScale(float scale);  // layout 0's extra horizontal scale
    // Main-window x where the compact strip's title may begin at the earliest.
    void SetCompactTitleLeft(int left);
    // The recording opened: its quality code, start time and title; the panel has data.
    void SetRecording(int qualityCode, const SYSTEMTIME& start, const QString& title);
    void SetStartTime(const SYSTEMTIME& start);
    void SetTitle(const QString& title);
    // From the recording's data: a time-lapse recording, and the data format letter.
    void SetDataFormat(BOOL timeLapse, int dataFormat);
    void SetFrameInterval(float ms);
    void SetFrameCount(int frames);
    // The card holds a trace file; the voltage shows instead of the speed when, in
    // addition, the recording is a parked car's.
    void SetTraceFile(BOOL traceFile);
    void SetShowVoltage(BOOL showVoltage);
    // The recording closed: no time is shown.
    void ClearRecording();
    // The audio mark shown until a frame tells another.
    void SetRecMark(int mark);

    // Shows a frame's values (what a frame does not give stays as it was shown); the
    // vehicle readings are taken by the data format. The caller repaints.
    void ShowFrame(const InfoFrameValues& values);

    // --- what the panel shows ---------------------------------------------------------------
    BOOL DataLoaded() const { return m_bDataLoaded; }
    int Position() const { return m_nPosition; }
    double AccelX() const { return m_dAccelX; }
    double Speed() const { return m_dSpeed; }
    BOOL GpsValid() const { return m_bGpsValid; }
    int Voltage10() const { return m_nVoltage10; }
    int RecMark() const { return m_nRecMark; }
    int DataFormat() const { return m_nDataFormat; }
    int CompactTitleLeft() const { return m_nCompactTitleLeft; }
    float ExtraScale() const { return m_fScale; }
    int FrameCount() const { return m_nFrameCount; }
    const SYSTEMTIME& StartTime() const { return m_stStart; }
    float FrameInterval() const { return m_fFrameInterval; }
    BOOL TimeLapse() const { return m_bTimeLapse; }
    const QString& Title() const { return m_strTitle; }
    VehicleValues Vehicle() const { return {m_nVehicleState, m_nAngleRaw, m_nVehicleValue3}; }

    // Asks for a repaint only when the panel would now show something else than it shows:
    // the main window asks on every frame shown, and most frames show the same texts. Qt's own
    // repaints (a new size, an exposure) and update() come as before. In draw mode 2 it
    // asks the main window for the compact strip when the strip's texts changed.
    void UpdateIfChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    // A new size is the main window laying the panes out, maybe at another scale: the
    // axis buttons follow at once, not only at the next painting.
    void resizeEvent(QResizeEvent* event) override;

private:
    // The panel's values (what the set-up calls and ShowFrame wrote).
    COffScreenDC* m_pOffScreen = nullptr;
    QFont* m_pOldFont = nullptr;  // selected back into m_pOffScreen on destruction
    HWND m_hParent = 0;
    BOOL m_bDataLoaded = FALSE;
    double m_dAccelX = kNoGValue;
    double m_dAccelY = kNoGValue;
    double m_dAccelZ = kNoGValue;
    BOOL m_bGpsValid = FALSE;
    double m_dSpeed = kNoSpeedValue;
    int m_nDrawMode = -1;
    QString m_strTitle;  // the recording's name; one line, cut to its box
    // Main-window x where the compact strip's title may begin at the earliest (what the
    // main window shows left of the strip may reach into it).
    int m_nCompactTitleLeft = 0;
    SYSTEMTIME m_stStart{};
    int m_nQualityCode = 0;  // 1..12, 0 none
    int m_nRecMark = 'M';
    BOOL m_bTimeLapse = FALSE;
    int m_nDataFormat = 0;  // '2', '3' or 'N'
    int m_nVoltage10 = kNoVoltage10;
    int m_nPosition = 0;
    float m_fFrameInterval = 0.0f;  // ms per frame
    int m_nFrameCount = 0;          // frames of the movie open
    BOOL m_bTraceFile = FALSE;
    BOOL m_bShowVoltage = FALSE;
    float m_fScale = 1.0f;  // extra horizontal scale of layout 0
    CResourceImage* m_pImages = nullptr;
    int m_nVehicleState = kNoVehicleValue;
    int m_nAngleRaw = kNoSteeringRaw;
    int m_nVehicleValue3 = kNoVehicleValue;


    struct Layout;
    // What a kept picture of the panel or the strip was composed from.
    struct FaceKey {
        int width = 0, height = 0, mode = -1;
        float scale = 0.0f, extraScale = 0.0f;
        std::array<const void*, 4> fonts{};
        const void* images = nullptr;
        std::array<std::string, 6> texts;  // G x, y, z, date and time, speed, voltage
        QString title;
        int titleLeft = 0;
        BOOL voltage = FALSE;
        int quality = 0, mark = 0;
        BOOL gps = FALSE;
        std::array<int, 4> vehicle{};  // turn signal, steering, brake, limited model
        bool operator==(const FaceKey&) const = default;
    };
    FaceKey CurrentFaceKey(int width, int height) const;
    // What the compact strip shows of the values: the title, the time and the speed.
    FaceKey CurrentStripKey() const;
    std::string DateTimeText() const;
    Layout LayoutOf(int mode) const;
    RECT MainClientRect() const;
    void DrawLayout(DeviceContext& dc, const Layout& layout);
    void DrawGValues(DeviceContext& dc, const Layout& layout);
    void DrawTitle(DeviceContext& dc, const RECT& rect, QFont* font);
    // How the title is drawn in a box `width` wide whose font is `font`.
    // (Value-initialised: no member initialisers, so that a pair of them is a member.)
    struct TitleFit {
        QFont* chosen;
        QString text;  // whole or cut with an ellipsis
        int drop;      // down from the box's top, to keep the box font's baseline
    };
    struct TitleFitKey {
        QString title;
        int width;
        QFont* font;
        float scale;
        std::array<const void*, 4> fonts;
        bool operator==(const TitleFitKey&) const = default;
    };
    const TitleFit& FitTitle(int width, QFont* font);
    BOOL DrawDateTime(DeviceContext& dc, const RECT& rect, int placeholderSize);
    void DrawSpeed(DeviceContext& dc, RECT box, int unitInset, int unitDrop, QFont* unitFont, int statusKind,
                   int statusDx, int statusDy);
    void DrawVoltage(DeviceContext& dc, const RECT& box);
    void DrawQualityBadge(DeviceContext& dc, const RECT& rect, double zoom);
    void PlaceAxisButtons(bool shown);
    // Puts axis button `axis` where layout 0 has it at the current scales, with its
    // picture at its size and the shared font.
    void FitAxisButton(int axis);

    std::array<CSkinButton*, 3> m_aAxisButton{};
    std::array<BOOL, 3> m_bAxisPressed{TRUE, TRUE, TRUE};
    // The lent context's lifetime: the font goes back only to a context that still exists.
    std::weak_ptr<const void> m_offScreenLifetime;
    QImage m_panelGround;  // the ground stretched to the panel
    const QImage* m_panelGroundSource = nullptr;
    QImage m_face;  // the panel as last composed
    FaceKey m_faceKey;
    QImage m_stripGround;  // the compact strip's ground
    QImage m_strip;        // the compact strip as last composed
    FaceKey m_stripKey;
    FaceKey m_askedStripKey;  // of the last time the main window was asked for the strip
    // What the widget shows since its last painting (none: black, or not painted yet).
    std::optional<FaceKey> m_shownKey;
    std::array<std::pair<TitleFitKey, TitleFit>, 2> m_titleFits{};  // the last two
    std::size_t m_nNextTitleFit = 0;
};

}  // namespace orv
