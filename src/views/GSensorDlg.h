// The G-sensor graph under the video: one curve per axis over the movie's frames, a
// translucent band under speeding stretches, a marker where each shown event starts, the
// scale labels and a white cursor at the current frame. A left click asks the main
// window for the previous event, a right click for the next one. The pane owns the ten
// event detectors; the main window's playback builds the movie's event list by them.
//
// It keeps its picture without the cursor and paints it, with the cursor over it, straight
// onto itself. The main window lends it its context and, as playback goes, sets it up for
// each recording and hands it the frame on screen. UI thread only.
#pragma once

#include <QImage>
#include <QPen>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"
#include "platform/gdi/DeviceContext.h"
#include "views/EventClassification.h"
#include "views/PaneValues.h"

namespace orv {

class COffScreenDC;

// --- the graph's rules ------------------------------------------------------------------

// The amplitude mode of a recording's largest |G|: 3 from 1.5 g, 2 from 1.0, 1 from 0.5,
// else 0.
int AmplitudeModeForLargestG(double largestG);

// Full scale of a mode in g (0.5, 1, 1.5, 2); other modes are drawn as mode 1.
double AmplitudeFullScale(int mode);

struct GraphScaleLabels {
    const char* top;
    const char* middle;
    const char* bottom;
};
// " 0.5G" / "   0G" / "-0.5G" and the like; other modes give the labels of mode 1.
GraphScaleLabels ScaleLabelsOf(int mode);

// Pixels per g for a plot `plotHeight` high: (plotHeight - 6) / (mode + 1), undivided
// for other modes.
int AmplitudePixels(int plotHeight, int mode);

// The frame the plot starts at, for a movie of `frameCount` frames: 0 when the movie fits
// (step == stepWidth); else the window of frames scrolls with the current frame, so that
// it begins with frame 0 at the first frame and ends with the last frame at the last.
double GraphFirstFrame(double stepWidth, double step, int currentFrame, std::int64_t frameCount);

// The left edges, right to left, of the grid tiles that fill a graph `width` pixels wide:
// each on the pitch (so that the grid lines of neighbouring tiles keep their spacing), the
// first reaching the right edge, each reaching the one before it (neighbours overlap by
// less than the pitch, never leave a gap), the last at or left of 0.
std::vector<int> GraphTileLefts(int width, int tileWidth, int pitch);

// The marker row of a kind (counted down from the marker base line) and its text; the
// drive-support steering kind draws an icon and has no text.
int EventMarkerRow(int kind);
QString EventMarkerText(int kind);
COLORREF EventPenColour(int kind);

// Colours of the curves.
constexpr COLORREF kCurveColourX = RGB(0, 255, 0);
constexpr COLORREF kCurveColourY = RGB(255, 0, 0);
constexpr COLORREF kCurveColourZ = RGB(128, 128, 255);

// --- the pane -----------------------------------------------------------------------------

class CGSensorDlg : public QWidget {
public:
    static constexpr int kBackgroundBitmap = 162;  // 640 x 120: label column and grid
    static constexpr int kSteeringBitmap = 176;    // 11 x 11
    static constexpr int kLabelColumn = 41;        // design pixels of the label column
    static constexpr int kDesignWidth = 640;
    static constexpr int kDesignHeight = 120;

    explicit CGSensorDlg(QWidget* parent = nullptr);
    ~CGSensorDlg() override;

    // Makes the drawing contexts, the speeding band and the steering icon's masks at the
    // current scale. Run once the pane exists; running it again after a scale change
    // makes them anew.
    BOOL OnInitDialog();

    // Follows a change of g_fScale: once the main window has set the label column and the
    // tile step, they are set again for the current scale, and the pictures OnInitDialog
    // made are made anew when they were made at another scale. Runs on every new size and
    // before every painting, so a layout at another scale needs no further call.
    void ApplyScale();

    // Pixels per frame when the whole movie is spread over the plot; 0.0 without data.
    double GetStepWidth() const;

    // Paints the pane into `dc`: its kept picture and the cursor over it, within the pane
    // and the context's clip rectangle. FALSE, painting nothing, without a tile step, a
    // context, an off-screen context (lent by the main window's set-up) or width.
    BOOL OnEraseBkgnd(DeviceContext* dc);

    // The mouse: post WM_APP_GSENSOR_PREV_EVENT (left) or WM_APP_GSENSOR_NEXT_EVENT
    // (right) to m_hParent, with or without data.
    void OnLButtonUp();
    void OnRButtonUp();

    // The detectors, on channel 1's records (each takes the channels' locks).
    BOOL FindEventStart(int frame, EventClassifier classifier, int* kind) const;
    BOOL DetectEvent(std::vector<sCRASHPOS>& list, int frame, int detector) const;
    void BuildEventList(std::vector<sCRASHPOS>& list) const;

    // --- set-up and the frame, by the main window -----------------------------------------
    void SetOwner(HWND parent);  // where the clicks are posted
    void LendOffScreen(COffScreenDC* offScreen);
    void SetAmplitudeMode(int mode);
    // A recording's largest |G| chooses the amplitude mode; each axis whose largest |G|
    // is above 0 takes it as its scale.
    void SetLargestG(double largestG, std::span<const double, 3> largestAxisG);
    // The seek range the cursor moves over.
    void SetFrameCount(int frames);
    // The label column and the tile step for the current scale, the cursor at the start.
    void ResetAxis();
    // The curves, the band and the markers are drawn (the movie's data is there).
    void ShowData(BOOL shown);
    // Detector `detector`'s show and list flags (see SetDetectorFlags); the caller repaints.
    void SetDetectorFlags(int detector, BOOL on);

    // Moves the cursor to the frame, and repaints when the pane would then show something
    // else than it shows.
    void ShowFrame(const GraphFrameValues& values);

    // --- what the pane shows ----------------------------------------------------------------
    int AmplitudeMode() const { return m_nAmplitudeMode; }
    const std::array<double, 3>& AxisScale() const { return m_dAxisScale; }
    int LeftMargin() const { return m_nLeftMargin; }
    int TileStep() const { return m_nTileStep; }
    int FrameCount() const { return m_nFrameCount; }
    int CurrentFrame() const { return m_nCurrentFrame; }
    BOOL DataShown() const { return m_bDataShown; }
    const EventDetectors& Detectors() const { return m_aDetector; }

    // A marker collected while the curves are drawn.
    struct SPrepos {
        struct Point {
            std::int32_t x = 0;  // pixels
            std::int32_t kind = EVENT_NONE;
        };
        virtual ~SPrepos() = default;
        std::vector<Point> points;
    };

    // The markers of the last painting, by detector (for the tests and the gallery).
    const std::array<SPrepos, DETECTOR_COUNT>& LastMarkers() const { return m_aLastMarkers; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // What the set-up calls and ShowFrame wrote.
    COffScreenDC* m_pOffScreen = nullptr;
    HWND m_hParent = 0;  // where the clicks are posted
    int m_nAmplitudeMode = 1;
    // Per axis (x, y, z): the largest |G| of the recording, in g; an axis that stays at 0
    // in a recording keeps the value it had. 0 before the first recording.
    std::array<double, 3> m_dAxisScale{};
    int m_nLeftMargin = 0;    // pixels
    int m_nFrameCount = 0;    // the seek range
    int m_nCurrentFrame = 0;
    int m_nTileStep = 0;      // pixels
    BOOL m_bDataShown = FALSE;
    EventDetectors m_aDetector = MakeEventDetectors();

    // Per axis: the last drawn point and the previous sample, plot coordinates.
    struct AxisTrace {
        int drawnX = 0, drawnY = 0;
        int prevX = 0, prevY = 0;
        bool operator==(const AxisTrace&) const = default;
    };
    // The curves' state after a sample: per axis drawn (zero for the others) its trace and
    // sample counter, and the first column the band may still blend (at least the next
    // sample's).
    struct CurveState {
        std::array<AxisTrace, 3> trace{};
        std::array<int, 3> count{};
        int bandEnd = 0;
        bool operator==(const CurveState&) const = default;
    };

    // Where the curves' samples fall: frames of the movie, pixels per frame, first frame.
    struct CurveMapping {
        int frames = 0;
        int plotWidth = 0;
        double stepWidth = 0.0;
        double step = 1.0;
        double first = 0.0;
    };
    // What the kept pictures were made for.
    struct GroundKey {
        int width = 0, height = 0, mode = 0;
        float scale = 0.0f;
        int tileStep = 0;
        const void* font = nullptr;
        qint64 picture = 0;
        bool operator==(const GroundKey&) const = default;
    };
    struct PlotKey {
        GroundKey ground;
        bool curves = false;
        const void* sensor = nullptr;
        std::size_t records = 0;
        const void* frameTable = nullptr;
        int frames = 0;
        double first = 0.0, step = 0.0;  // FirstFrameKey of the first frame
        int leftMargin = 0;
        unsigned shown = 0;  // bit d: detector d shown
        std::uint64_t data = 0;  // Fingerprint of the records
        bool operator==(const PlotKey&) const = default;
    };
    static std::uint64_t Fingerprint(const FrameRecords& records);
    // What a painting shows: the kept picture and the cursor's column.
    struct PaintKey {
        PlotKey plot;
        int cursor = 0;
        bool operator==(const PaintKey&) const = default;
    };
    PaintKey CurrentPaintKey(const FrameRecords& records, int width, int height, CurveMapping* map) const;

    // The parts of the painting.
    void BuildGround(int width, int height);
    bool MapCurves(const FrameRecords& records, int clientWidth, CurveMapping* map) const;
    void DrawScaleLabels(DeviceContext& dc);
    // The curves afresh, or moved with the plot's first frame (false where they cannot be).
    void DrawCurves(const FrameRecords& records, const CurveMapping& map, int clientHeight);
    bool ScrollCurves(const FrameRecords& records, const CurveMapping& map, const PlotKey& key, int clientHeight);
    int CurveSamples(const FrameRecords& records, const CurveMapping& map) const;
    void BeginCurves(const FrameRecords& records, const CurveMapping& map);
    void RunSamples(DeviceContext& dc, const FrameRecords& records, const CurveMapping& map, int from, int to,
                    int clientHeight);
    void FinishCurves(DeviceContext& dc, const FrameRecords& records, const CurveMapping& map, int samples,
                      int clientHeight);
    CurveState Moved(CurveState state, int columns) const;
    // Whether the curves go on to draw the same pixels from either state.
    bool SameFuture(const CurveState& a, const CurveState& b) const;
    void RestoreState(const CurveState& state);
    void ComposePlot(int clientHeight);
    int SampleY(const sSENSORRECORD& record, int axis) const;
    void DrawSample(DeviceContext& dc, const sSENSORRECORD& record, int x, BOOL flush);
    void DrawSegment(DeviceContext& dc, int axis, int x, int y);
    void MarkEventsAt(DeviceContext& dc, const FrameRecords& records, int frame, int column, double step,
                      int clientHeight);
    BOOL MarkEvent(DeviceContext& dc, const FrameRecords& records, int frame, int detector, int column,
                   double step, int clientHeight);
    void FillSpeedingGap(DeviceContext& dc, const FrameRecords& records, int frame, int column, int clientHeight);
    void BlendSpeedingBand(DeviceContext& dc, int column, int width, int clientHeight);
    QRgb SpeedingBandOver(QRgb under);  // the band blended over a pixel of that colour
    void DrawEventMarker(DeviceContext& dc, int x, int kind, int clientHeight);
    void DrawSteeringIcon(DeviceContext& dc, int x, int y);

    QPen m_penWhite;
    QImage m_ground;  // background, grid and labels
    GroundKey m_groundKey;
    QImage m_plot;    // the ground with the curves, the band and the markers
    PlotKey m_plotKey;
    PaintKey m_paintedKey;               // of the last painting, into any context
    std::optional<PaintKey> m_shownKey;  // of the pane's own last painting (none: black)
    QImage m_curves;  // the curves and the band over them; 0 (clear) elsewhere
    std::vector<char> m_bandColumns;  // columns the band covers
    std::vector<CurveState> m_states;  // after each sample of the curves drawn
    QImage m_bmpBackground;
    QImage m_bmpSteering;
    QImage m_bmpSteeringMask;  // scaled icon: 1 where it is drawn
    int m_nBackgroundHeight = kDesignHeight;
    std::array<int, 3> m_nSampleCount{};
    std::array<AxisTrace, 3> m_trace{};
    int m_nCentre = 0;     // centre line, pixels from the top
    int m_nAmplitude = 0;  // pixels per g
    int m_nClip = 0;       // largest |y| drawn
    int m_nPlotWidth = 0;  // pixels right of the left margin
    int m_nBandEnd = 0;    // first column the speeding band has not covered yet
    std::array<QPen, EVENT_KIND_COUNT> m_aEventPen;
    std::array<QPen, 3> m_aCurvePen;
    std::array<SPrepos, DETECTOR_COUNT> m_aPrepos;
    std::array<SPrepos, DETECTOR_COUNT> m_aLastMarkers;
    // The speeding band: a dark red bitmap blended at a constant alpha of 127.
    QImage m_speedingOverlay;
    BLENDFUNCTION m_speedingBlend;
    std::unordered_map<QRgb, QRgb> m_bandBlends;  // SpeedingBandOver's results so far
    bool m_bInitialised = false;
    float m_fBuiltScale = 0.0f;  // the scale OnInitDialog made the pictures at
};

}  // namespace orv
