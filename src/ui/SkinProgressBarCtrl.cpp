#include "ui/SkinProgressBarCtrl.h"

#include <algorithm>

#include "ui/CommonUtil.h"
#include "ui/Scaled.h"

namespace orv {

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kBarHeight = 22;
constexpr int kTextHalfWidth = 50;
constexpr int kBorder = 2;

}  // namespace

CSkinProgressBarCtrl::CSkinProgressBarCtrl(QWidget* parent) : QWidget(parent) {}

float CSkinProgressBarCtrl::Fraction() const {
    const long long span = static_cast<long long>(m_nMax) - m_nMin;
    if (span <= 0) return 0.0f;
    return std::clamp(float(m_nPos) / float(span), 0.0f, 1.0f);
}

BOOL CSkinProgressBarCtrl::OnEraseBkgnd(DeviceContext& dc) {
    const int w = width();
    if (w == 0) return FALSE;
    const int x = int(float(w) * Fraction());
    const int h = Scaled(kBarHeight);

    dc.FillRect(RECT{0, 0, x, h}, kBlue);
    dc.FillRect(RECT{x, 0, w, h}, kWhite);
    QFont* oldFont = dc.SelectFont(g_hFont10);
    dc.SetBkMode(TRANSPARENT);

    const QString text = QStringLiteral("%1 %").arg(m_nPos);
    const int half = Scaled(kTextHalfWidth);
    const RECT box{w / 2 - half, 0, w / 2 + half, h};
    constexpr unsigned format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

    const RECT blue{0, 0, x, h};
    dc.SelectClipRect(&blue);
    dc.SetTextColor(kWhite);
    RECT r = box;
    dc.DrawText(text, &r, format);

    const RECT white{x, 0, w, h};
    dc.SelectClipRect(&white);
    dc.SetTextColor(kBlue);
    r = box;
    dc.DrawText(text, &r, format);

    dc.SelectClipRect(nullptr);
    dc.SelectFont(oldFont);
    return TRUE;
}

void CSkinProgressBarCtrl::PlaceInside(QWidget* parent, QWidget* frame) {
    RECT r;
    GetWindowRectIn(&r, parent, frame);
    const int border = Scaled(kBorder);
    const int left = r.left + border;
    setGeometry(left, r.bottom - Scaled(kBarHeight), (r.right - border) - left, Scaled(kBarHeight) - border);
}

void CSkinProgressBarCtrl::paintEvent(QPaintEvent*) {
    DeviceContext dc(this);
    OnEraseBkgnd(dc);
}

}  // namespace orv
