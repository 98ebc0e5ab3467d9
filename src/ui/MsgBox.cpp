#include "ui/MsgBox.h"

#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include <algorithm>

#include "ui/CommonUtil.h"
#include "ui/Scaled.h"

namespace orv {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Layout, in design pixels.
constexpr int kTextMarginX = 40;
constexpr int kTextMarginY = 30;
constexpr int kButtonBand = 60;  // below the text, the buttons' band
constexpr int kTitleRoom = 20;   // the title strip
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kButtonMargin = 15;

// The template's places, for a type that places no button.
const QRect kTemplateText(40, 30, 200, 18);
const QRect kTemplateOk(50, 113, 100, 30);
const QRect kTemplateCancel(165, 113, 100, 30);
const QSize kTemplateSize(280, 158);

// The message's static text: it fills itself with the box's brush and draws the lines in
// its font, each line as tall as the box measured it.
class MessageText : public QWidget {
public:
    MessageText(CMsgDlg* box, const QString& text) : QWidget(box), m_box(box), m_text(text) {}

protected:
    void paintEvent(QPaintEvent*) override {
        DeviceContext dc(this);
        QFont font = this->font();
        dc.SelectFont(&font);
        RECT client{0, 0, width(), height()};
        dc.FillRect(client, m_box->OnCtlColor(dc));
        dc.DrawText(m_text, &client, 0);
    }

private:
    CMsgDlg* const m_box;
    const QString m_text;
};

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

}  // namespace

int CMsgBox::Show(const QString& text, const QString& caption, MsgBoxType type) {
    CMsgDlg box(m_pParent, text, caption, type);
    return box.exec();
}

CMsgDlg::CMsgDlg(QWidget* parent, const QString& text, const QString& caption, MsgBoxType type)
    : CSkinDialog(parent),
      m_strText(text),
      m_strCaption(caption),
      m_nType(type),
      m_brWhite(ToQColor(kWhite)),
      m_pParentWnd(parent),
      m_pText(new MessageText(this, text)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    resize(kTemplateSize);
    m_pText->setGeometry(kTemplateText);
    m_pOk->setGeometry(kTemplateOk);
    m_pCancel->setGeometry(kTemplateCancel);
    connect(m_pOk, &QPushButton::clicked, this, [this] { done(IDOK); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { done(IDCANCEL); });
}

BOOL CMsgDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    if (g_hFont10) {
        for (QWidget* w : {static_cast<QWidget*>(this), m_pText, static_cast<QWidget*>(m_pOk),
                           static_cast<QWidget*>(m_pCancel)})
            w->setFont(*g_hFont10);
    }
    setWindowTitle(m_strCaption);

    // Measured in the font the text is drawn in, which already has the current scale.
    DeviceContext dc(this);
    QFont font = m_pText->font();
    dc.SelectFont(&font);
    PlaceControls(MeasureMessageText(dc, m_strText), ParentRect());
    return TRUE;
}

SIZE CMsgDlg::MeasureMessageText(const DeviceContext& dc, const QString& text) {
    SIZE total;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const SIZE size = dc.GetTextExtent(line);
        total.cx = std::max(total.cx, size.cx);
        total.cy += size.cy;
    }
    return total;
}

RECT CMsgDlg::ParentRect() const {
    if (m_pParentWnd) return WindowRectOf(m_pParentWnd);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return RECT{};
    const QRect g = screen->geometry();
    return RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void CMsgDlg::PlaceControls(SIZE text, const RECT& parent) {
    const RECT t{0, 0, text.cx + 2 * Scaled(kTextMarginX), text.cy + 2 * Scaled(kTextMarginY)};
    RECT d{0, 0, t.right, t.bottom + Scaled(kButtonBand) + Scaled(kTitleRoom)};
    const int dx = (parent.left + parent.right - d.right - d.left) / 2;
    const int dy = (parent.top + parent.bottom - d.bottom - d.top) / 2;
    d = RECT{d.left + dx, d.top + dy, d.right + dx, d.bottom + dy};
    setGeometry(ToQRect(d));

    m_pText->setGeometry(ToQRect(RECT{Scaled(kTextMarginX), Scaled(kTextMarginY), t.right, t.bottom}));

    const int bw = Scaled(kButtonWidth);
    const int bh = Scaled(kButtonHeight);
    const int margin = Scaled(kButtonMargin);
    QRect button(d.Width() - margin - bw, d.Height() - margin - bh, bw, bh);
    switch (m_nType) {
    case MSGBOX_OK:
        m_pOk->setGeometry(button);
        m_pOk->show();
        m_pCancel->hide();
        break;
    case MSGBOX_OKCANCEL:
        m_pCancel->setGeometry(button);
        button.translate(-(bw + margin), 0);
        m_pOk->setGeometry(button);
        m_pOk->show();
        m_pCancel->show();
        break;
    default:
        break;
    }
}

const QBrush& CMsgDlg::OnCtlColor(DeviceContext& dc) {
    dc.SetBkMode(TRANSPARENT);
    dc.SetBkColor(kWhite);
    return m_brWhite;
}

BOOL CMsgDlg::OnEraseBkgnd(DeviceContext& dc) {
    dc.FillRect(RECT{0, 0, width(), height() - Scaled(kButtonBand)}, m_brWhite);
    return TRUE;
}

void CMsgDlg::paintEvent(QPaintEvent*) {
    // The dialog's colour is already laid (a window fills its own background).
    DeviceContext dc(this);
    OnEraseBkgnd(dc);
    OnPaint();
}

}  // namespace orv
