// Renders every skin picture and every skinned control in each of its states into one
// PNG sheet with labels, off screen, so that the look can be reviewed at a glance.
//
//     skin-gallery OUT.png [--scale S]
//
// S is the scale factor the controls are laid out and the pictures drawn at (1.0 when
// not given); the shared fonts follow it as they do on a monitor of that work-area height.
#include <QApplication>
#include <QEnterEvent>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/gdi/DeviceContext.h"
#include "platform/gdi/SkinResources.h"
#include "ui/CommonUtil.h"
#include "ui/ImageList.h"
#include "ui/LogoDlg.h"
#include "ui/MsgBox.h"
#include "ui/ResourceImage.h"
#include "ui/Scaled.h"
#include "ui/ScaleFonts.h"
#include "ui/SkinButton.h"
#include "ui/SkinCheckButton.h"
#include "ui/SkinDialog.h"
#include "ui/SkinListCtrl.h"
#include "ui/SkinProgressBarCtrl.h"
#include "ui/SkinSliderCtrl.h"
#include "ui/text/UiText.h"

namespace {

using namespace orv;

// The work-area height that gives a scale factor of 1.
constexpr int kUnitWorkAreaHeight = 1056;

const QColor kSheet(72, 76, 84);
const QColor kLabel(230, 232, 235);
const QColor kHeading(255, 214, 150);
constexpr COLORREF kPane = RGB(49, 49, 49);  // the dark panes the controls sit on
constexpr int kSheetWidth = 1500;
constexpr int kGap = 14;
constexpr int kLabelPixels = 12;

struct Tile {
    QImage image;
    QString label;
};

struct Section {
    QString title;
    std::vector<Tile> tiles;
};

QString Text(int id) { return QString::fromUtf8(UiText(id)); }

// A child widget drawn over the pane colour, as it appears on a pane.
QImage Render(QWidget& widget, COLORREF ground = kPane) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(ToQColor(ground));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// A top-level window as it is shown.
QImage Grab(QWidget& window) {
    window.show();
    QApplication::processEvents();
    return window.grab().toImage();
}

void Hover(QWidget& widget, QPoint at) {
    QEnterEvent enter(at, at, widget.mapToGlobal(at));
    QApplication::sendEvent(&widget, &enter);
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// --- pictures --------------------------------------------------------------------------

Section Pictures() {
    Section section{QStringLiteral("Skin pictures (as stored, drawn at the scale; BMP keys shown as they are)"), {}};
    for (const SkinPicture& picture : SkinManifest()) {
        const QImage stored = LoadSkinBitmap(picture.id);
        const char* kind = picture.kind == SkinKind::Png ? "PNG" : picture.kind == SkinKind::Mask ? "MASK" : "BMP";
        const char* key = picture.key == SkinKey::Black ? " key black" : picture.key == SkinKey::White ? " key white" : "";
        const QString label = QStringLiteral("%1  %2x%3 %4%5").arg(picture.id).arg(picture.width).arg(picture.height)
                                  .arg(QLatin1String(kind), QLatin1String(key));
        if (stored.isNull()) {
            section.tiles.push_back({QImage(), label + QStringLiteral("  MISSING")});
            continue;
        }
        const int w = std::max(1, Scaled(stored.width()));
        const int h = std::max(1, Scaled(stored.height()));
        // PNG pictures on a checker board, to show their transparency.
        QImage tile(w, h, QImage::Format_RGB32);
        {
            QPainter p(&tile);
            for (int y = 0; y < h; y += 8)
                for (int x = 0; x < w; x += 8)
                    p.fillRect(x, y, 8, 8, ((x + y) / 8) % 2 ? QColor(150, 150, 150) : QColor(110, 110, 110));
        }
        DeviceContext dc(&tile);
        if (picture.kind == SkinKind::Png) {
            QPainter p(&tile);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(0, 0, w, h), stored);
        } else {
            dc.SetStretchBltMode(COLORONCOLOR);
            dc.StretchBlt(0, 0, w, h, stored, 0, 0, stored.width(), stored.height());
        }
        section.tiles.push_back({tile, label});
    }
    return section;
}

// --- buttons ---------------------------------------------------------------------------

// One button of `strip` with frames of `frame` (design pixels) in each of its states.
void ButtonStates(Section& section, const QString& name, int strip, QSize frame, const QString& caption) {
    const int fw = Scaled(frame.width());
    const int fh = Scaled(frame.height());
    const RECT rect{0, 0, fw, fh};
    auto make = [&](CSkinButton& b) {
        b.resize(fw, fh);
        b.SetImage(strip, &rect);
        b.setText(caption);
    };
    struct State {
        const char* label;
        void (*set)(CSkinButton&);
    };
    const State states[] = {
        {"normal", [](CSkinButton&) {}},
        {"hover", [](CSkinButton& b) { Hover(b, QPoint(2, 2)); }},
        {"pressed", [](CSkinButton& b) { b.setDown(true); }},
        {"disabled", [](CSkinButton& b) { b.setEnabled(false); }},
        {"checked", [](CSkinButton& b) { b.setCheckable(true); b.setChecked(true); }},
        {"latched", [](CSkinButton& b) { b.SetLatched(TRUE); }},
        {"latched+hover", [](CSkinButton& b) { b.SetLatched(TRUE); Hover(b, QPoint(2, 2)); }},
    };
    for (const State& state : states) {
        CSkinButton button;
        make(button);
        state.set(button);
        section.tiles.push_back({Render(button), name + QStringLiteral(" ") + QLatin1String(state.label)});
    }
    // Grayed is a state of the drawing request only.
    CSkinButton button;
    make(button);
    QImage image(fw, fh, QImage::Format_RGB32);
    image.fill(ToQColor(kPane));
    DeviceContext dc(&image);
    DRAWITEMSTRUCT dis;
    dis.itemState = ODS_GRAYED;
    dis.rcItem = rect;
    dis.hDC = &dc;
    button.DrawItem(dis);
    section.tiles.push_back({image, name + QStringLiteral(" grayed")});
}

Section Buttons() {
    Section section{QStringLiteral("CSkinButton"), {}};
    ButtonStates(section, QStringLiteral("play 148"), 148, QSize(32, 32), QString());
    ButtonStates(section, QStringLiteral("open 146"), 146, QSize(32, 32), QString());
    ButtonStates(section, QStringLiteral("thumbnails 362"), 362, QSize(150, 18), QStringLiteral("サムネイル"));
    ButtonStates(section, QStringLiteral("close 352"), 352, QSize(13, 12), QString());
    ButtonStates(section, QStringLiteral("filter 217"), 217, QSize(12, 12), QString());
    return section;
}

Section CheckButtons() {
    Section section{QStringLiteral("CSkinCheckButton (strip 217)"), {}};
    const int b = Scaled(12);
    ImageList boxes;
    boxes.Create(LoadScaledBitmap(SkinResourcePath(217)), b, b);
    auto make = [&](CSkinCheckButton& c) {
        c.resize(Scaled(120), Scaled(20));
        c.SetImageList(boxes);
        c.setText(Text(133));
        if (g_hFont10) c.setFont(*g_hFont10);
        QPalette palette = c.palette();
        palette.setColor(QPalette::ButtonText, Qt::white);
        c.setPalette(palette);
    };
    struct State {
        const char* label;
        void (*set)(CSkinCheckButton&);
    };
    const State states[] = {
        {"normal", [](CSkinCheckButton&) {}},
        {"hover (box)", [](CSkinCheckButton& c) { Hover(c, QPoint(c.BoxRect().left + 2, c.BoxRect().top + 2)); }},
        {"pressed", [](CSkinCheckButton& c) { c.setDown(true); }},
        {"disabled", [](CSkinCheckButton& c) { c.setEnabled(false); }},
        {"checked", [](CSkinCheckButton& c) { c.SetCheck(TRUE); }},
        {"checked+hover", [](CSkinCheckButton& c) {
             c.SetCheck(TRUE);
             Hover(c, QPoint(c.BoxRect().left + 2, c.BoxRect().top + 2));
         }},
    };
    for (const State& state : states) {
        CSkinCheckButton check;
        make(check);
        state.set(check);
        section.tiles.push_back({Render(check), QLatin1String(state.label)});
    }
    return section;
}

// --- list, progress bar, sliders ---------------------------------------------------------

Section Lists() {
    Section section{QStringLiteral("CSkinListCtrl (state images from strip 217)"), {}};
    const int b = Scaled(12);
    ImageList boxes;
    boxes.Create(LoadScaledBitmap(SkinResourcePath(217)), b, b);
    CSkinListCtrl list;
    if (g_hFont10) list.setFont(*g_hFont10);
    list.resize(Scaled(400), Scaled(150));
    list.setHeaderLabels({Text(46), Text(47)});
    list.setColumnWidth(0, Scaled(270));
    list.SetStateImageList(boxes);
    const char* names[] = {"FILE0001.MOV  (no box)", "FILE0002.MOV  unticked", "FILE0003.MOV  hot",
                           "FILE0004.MOV  ticked", "FILE0005.MOV  ticked, selected", "FILE0006.MOV  unticked, selected"};
    const unsigned states[] = {0, 1, 1, 3, 3, 1};
    for (int i = 0; i < 6; ++i) {
        auto* row = new QTreeWidgetItem(QStringList{QLatin1String(names[i]), QStringLiteral("%1 MB").arg(120 + i)});
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        list.addTopLevelItem(row);
        list.SetItemState(i, INDEXTOSTATEIMAGEMASK(states[i]), LVIS_STATEIMAGEMASK);
    }
    list.topLevelItem(4)->setSelected(true);
    list.topLevelItem(5)->setSelected(true);
    list.show();
    QApplication::processEvents();
    list.UpdateHotItem(POINT{Scaled(30), list.visualItemRect(list.topLevelItem(2)).center().y()});
    section.tiles.push_back({list.grab().toImage(), QStringLiteral("rows: no box, unticked, hot, ticked; selected")});
    return section;
}

Section ProgressBars() {
    Section section{QStringLiteral("CSkinProgressBarCtrl"), {}};
    for (int pos : {0, 50, 100}) {
        CSkinProgressBarCtrl bar;
        bar.resize(Scaled(300), Scaled(22) - Scaled(2));
        bar.SetRange(0, 100);
        bar.SetPos(pos);
        section.tiles.push_back({Render(bar), QStringLiteral("progress %1 of 0..100").arg(pos)});
    }
    return section;
}

void SliderStates(Section& section, const QString& name, const int ids[4], QSize size, int max) {
    QWidget parent;
    parent.resize(Scaled(size.width()) + 40, 200);
    struct State {
        const char* label;
        int pos;
        bool dragging;
    };
    const State states[] = {
        {"0", 0, false},
        {"1/3", max / 3, false},
        {"2/3", max / 3 * 2, false},
        {"max", max, false},
        {"dragging at 1/2", max / 2, true},
    };
    for (const State& state : states) {
        CSkinSliderCtrl slider;
        slider.Create(38100, &parent);
        slider.SetImages(ids[0], ids[1], ids[2], ids[3]);
        slider.setGeometry(0, 0, Scaled(size.width()), Scaled(size.height()));
        slider.SetRange(0, max);
        slider.SetCaptured(state.dragging ? TRUE : FALSE);
        slider.SetPos(state.pos);
        section.tiles.push_back({Render(slider), name + QStringLiteral(" ") + QLatin1String(state.label)});
    }
}

Section Sliders() {
    Section section{QStringLiteral("CSkinSliderCtrl"), {}};
    const int seek[4] = {174, 159, 160, 161};
    const int volume[4] = {167, 168, 169, 170};
    SliderStates(section, QStringLiteral("seek"), seek, QSize(400, 10), 1799);
    SliderStates(section, QStringLiteral("volume"), volume, QSize(100, 20), 65535);
    return section;
}

// --- message box, logo pane, dialog ------------------------------------------------------

Section MessageBoxes() {
    Section section{QStringLiteral("CMsgDlg"), {}};
    {
        CMsgDlg box(nullptr, Text(96), QStringLiteral("ERROR"), MSGBOX_OK);
        section.tiles.push_back({Grab(box), QStringLiteral("one line, MSGBOX_OK")});
    }
    {
        const QString three = Text(138) + QLatin1Char('\n') + Text(140) + QLatin1Char('\n') + Text(90);
        CMsgDlg box(nullptr, three, Text(104), MSGBOX_OKCANCEL);
        section.tiles.push_back({Grab(box), QStringLiteral("three lines, MSGBOX_OKCANCEL")});
    }
    return section;
}

Section LogoPanes(CResourceImage& store) {
    Section section{QStringLiteral("CLogoDlg"), {}};
    for (BOOL online : {TRUE, FALSE}) {
        CLogoDlg logo(&store);
        logo.resize(Scaled(452) / 2, Scaled(392) / 2);
        logo.SetOnline(online);
        section.tiles.push_back({Render(logo, RGB(255, 0, 255)),
                                 online ? QStringLiteral("online (164), half size") : QStringLiteral("no map (324), half size")});
    }
    return section;
}

Section Dialogs() {
    Section section{QStringLiteral("CSkinDialog: title strip and close button"), {}};
    for (bool hover : {false, true}) {
        CSkinDialog dialog;
        dialog.setWindowTitle(Text(123));
        dialog.resize(Scaled(360), Scaled(120));
        dialog.show();
        dialog.CreateCloseButton(18);
        QApplication::processEvents();
        if (hover) Hover(*dialog.GetCloseButton(), QPoint(2, 2));
        section.tiles.push_back({Grab(dialog), hover ? QStringLiteral("close button hovered") : QStringLiteral("normal")});
    }
    return section;
}

// --- the sheet -------------------------------------------------------------------------

QImage Compose(const std::vector<Section>& sections, float scale) {
    QFont labelFont(QString::fromLatin1(kSubstituteFace));
    labelFont.setPixelSize(kLabelPixels);
    QFont headingFont = labelFont;
    headingFont.setPixelSize(kLabelPixels + 4);
    headingFont.setBold(true);
    const QFontMetrics lm(labelFont);
    const QFontMetrics hm(headingFont);

    int sheetWidth = kSheetWidth;
    for (const Section& s : sections)
        for (const Tile& t : s.tiles) sheetWidth = std::max(sheetWidth, t.image.width() + 2 * kGap);

    // Lay out first to know the height, then draw.
    struct Placed {
        const Tile* tile;
        QPoint at;
    };
    std::vector<Placed> placed;
    std::vector<std::pair<QString, int>> headings;
    int y = kGap + hm.height() + kGap;  // the sheet's title
    for (const Section& s : sections) {
        headings.push_back({s.title, y});
        y += hm.height() + kGap / 2;
        int x = kGap;
        int rowHeight = 0;
        for (const Tile& t : s.tiles) {
            const int w = std::max(t.image.width(), lm.horizontalAdvance(t.label));
            const int h = t.image.height() + lm.height() + 4;
            if (x > kGap && x + w > sheetWidth - kGap) {
                x = kGap;
                y += rowHeight + kGap;
                rowHeight = 0;
            }
            placed.push_back({&t, QPoint(x, y)});
            x += w + kGap;
            rowHeight = std::max(rowHeight, h);
        }
        y += rowHeight + 2 * kGap;
    }

    QImage sheet(sheetWidth, y, QImage::Format_RGB32);
    sheet.fill(kSheet);
    QPainter p(&sheet);
    p.setFont(headingFont);
    p.setPen(kHeading);
    p.drawText(kGap, kGap + hm.ascent(), QStringLiteral("Skin gallery at scale %1").arg(double(scale)));
    for (const auto& [title, top] : headings) p.drawText(kGap, top + hm.ascent(), title);
    p.setFont(labelFont);
    p.setPen(kLabel);
    for (const Placed& item : placed) {
        if (!item.tile->image.isNull()) p.drawImage(item.at, item.tile->image);
        p.drawText(item.at.x(), item.at.y() + item.tile->image.height() + 2 + lm.ascent(), item.tile->label);
    }
    return sheet;
}

bool ParseScale(std::string_view text, float* out) {
    // Digits with an optional fraction, read by hand so that the locale plays no part.
    float value = 0.0f;
    float unit = 0.0f;
    bool digits = false;
    for (char c : text) {
        if (c == '.' && unit == 0.0f) {
            unit = 0.1f;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (unit == 0.0f) {
                value = value * 10.0f + float(c - '0');
            } else {
                value += unit * float(c - '0');
                unit *= 0.1f;
            }
        } else {
            return false;
        }
    }
    if (!digits || value <= 0.0f || value > 4.0f) return false;
    *out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* out = nullptr;
    float scale = 1.0f;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
            if (!ParseScale(argv[++i], &scale)) {
                std::fprintf(stderr, "skin-gallery: bad scale %s (a number above 0, at most 4)\n", argv[i]);
                return 2;
            }
        } else if (!out) {
            out = argv[i];
        } else {
            out = nullptr;
            break;
        }
    }
    if (!out) {
        std::fprintf(stderr, "usage: skin-gallery OUT.png [--scale S]\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 1920, int(float(kUnitWorkAreaHeight) * scale + 0.5f));
    if (!InitScaleAndFonts(monitor)) {
        std::fprintf(stderr, "skin-gallery: no fonts\n");
        return 1;
    }
    if (SkinManifest().empty()) {
        std::fprintf(stderr, "skin-gallery: the skin table is missing\n");
        return 1;
    }

    QWidget mainWindow;
    mainWindow.resize(Scaled(1200), Scaled(750));
    CResourceImage store;
    store.LoadImages(&mainWindow);

    std::vector<Section> sections;
    sections.push_back(Buttons());
    sections.push_back(CheckButtons());
    sections.push_back(Lists());
    sections.push_back(ProgressBars());
    sections.push_back(Sliders());
    sections.push_back(MessageBoxes());
    sections.push_back(Dialogs());
    sections.push_back(LogoPanes(store));
    sections.push_back(Pictures());

    const QImage sheet = Compose(sections, g_fScale);
    DeleteSharedFonts();
    if (!sheet.save(QString::fromLocal8Bit(out), "PNG")) {
        std::fprintf(stderr, "skin-gallery: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
