// The vehicle-gauge window: a small translucent window titled "車両情報" with three dial
// gauges, each with a chooser of the value it shows. The main window tells it each
// frame's values; each gauge sweeps its needle toward its value on a 50 ms timer
// of its own. Closing the window tells the owner with WM_APP_OBD_CLOSED. UI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "platform/window/AppWindow.h"
#include "ui/SkinDialog.h"
#include "views/ObdGauge.h"
#include "views/PaneValues.h"

class QComboBox;

namespace orv {

class CResourceImage;

// Draws one gauge of a kind: the face and the needle at `value` into `rect` of `dc`.
using ObdPainter = void (*)(CResourceImage& images, DeviceContext& dc, const RECT& rect, int value);
extern const std::array<ObdPainter, OBD_KIND_COUNT> ObdPainterTable;

// One gauge's needle.
struct ObdGaugeState {
    int nShown = 0;    // the value shown while the needle rests
    int nNeedle = 0;   // the needle's value while it moves
    int nTarget = 0;
    int bRising = 0;
    int bAnimating = 0;
    int bStarted = 0;
};

class CObdDlg : public CSkinDialog, public AppWindow {
public:
    static constexpr int kCloseButtonId = 21;
    static constexpr int kFirstComboId = 1003;  // gauges 0, 1, 2: 1003..1005
    static constexpr unsigned kFirstTimerId = 1000;  // gauges 0, 1, 2: 1000..1002
    static constexpr unsigned kTimerPeriodMs = 50;
    static constexpr int kTitleText = 139;
    static constexpr int kLayerAlpha = 229;  // of 255

    explicit CObdDlg(QWidget* parent = nullptr);
    ~CObdDlg() override;

    BOOL OnInitDialog() override;

    // Shows the window at (x, y), cx x cy, and starts the three needles from their start
    // values.
    void OpenAt(int x, int y, int cx, int cy);

    // Lays the window out for its size and the current scale: the drawing contexts, the
    // gauge row, the choosers, the close button and the fonts. Runs on every new size, so
    // the main window sizing the window for a new scale lays it out as well.
    void LayoutWindow();

    // Places the three choosers again for the current scale.
    void LayoutCombos();

    // The current value of `kind`; 5 for a kind outside 0..4.
    int GetValue(int kind) const;

    // The user closes the window: timers stop, the owner is told, the window hides.
    void OnClose();
    void OnCancel();

    // A chooser's selection changed (gauge 0..2).
    void OnSelchangeGauge(int gauge);

    // The state of gauge 0..2 and its chooser, for the tests and the gallery.
    const ObdGaugeState& GaugeState(int gauge) const { return m_aGauge[std::size_t(gauge)]; }
    int SelectedKind(int gauge) const { return m_nSelectedKind[std::size_t(gauge)]; }
    QComboBox* Combo(int gauge) const { return m_pCombo[std::size_t(gauge)]; }
    // Where dial 0..2 is drawn (client coordinates).
    RECT GaugeRect(int gauge) const;

    // The owner told of the closing, and the image store; before opening.
    void SetOwner(HWND owner, CResourceImage* images);

    // Takes a frame's values: each gauge moves toward its reading on its next tick (a
    // gauge without a reading keeps its value). The caller repaints.
    void ShowFrame(const ObdFrameValues& values);

    // The current values by ObdValueSlot, and whether they come from a frame with a fix.
    const ObdValues& Values() const { return m_nValue; }
    BOOL DataValid() const { return m_bDataValid; }

    // One timer tick of gauge 0..2 (public so that a test can step a needle).
    void OnTimer(unsigned id) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The current values by ObdValueSlot (coolant, intake, engine, throttle, speed).
    ObdValues m_nValue{0, ObdStartValueTable[OBD_INTAKE_PRESSURE], 0, 0, 0};
    // The values come from a frame whose record has a GPS fix.
    BOOL m_bDataValid = FALSE;
    HWND m_hOwner = 0;
    CResourceImage* m_pImages = nullptr;

    void CreateCombos();
    void KillGaugeTimers();
    void PaintGauges(DeviceContext& dc, const QRect& area);
    static bool FrontChannelPlaying();

    RECT m_rcWindow{};
    std::array<int, 3> m_nSelectedKind{-1, -1, -1};
    std::array<ObdGaugeState, 3> m_aGauge{};
    std::array<QComboBox*, 3> m_pCombo{};
    BOOL m_bOpenedOnce = FALSE;
    int m_nRowTop = 0;
    ObdDialPlaces m_places{};
    BOOL m_bCombosCreated = FALSE;
    // Each gauge's meter as last drawn.
    struct MeterPicture {
        int kind = -1;
        int value = 0;
        float scale = 0.0f;
        const CResourceImage* images = nullptr;
        QImage image;
    };
    std::array<MeterPicture, 3> m_aMeter;
};

}  // namespace orv
