#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
#include <vector>

#include "app/settings/SettingDlg.h"
#include "platform/window/AppWindow.h"
#include "ui/SkinCheckButton.h"
#include "ui/ControlTestSupport.h"

namespace orv {
namespace {

class Owner : public QWidget, public AppWindow {
public:
    std::vector<std::pair<WPARAM, LPARAM>> Take() {
        QCoreApplication::processEvents();
        return std::exchange(m_posted, {});
    }

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_APP_EVENT_FILTER) m_posted.emplace_back(wParam, lParam);
    }

private:
    std::vector<std::pair<WPARAM, LPARAM>> m_posted;
};

TEST(SettingDlg, GeometryAtBothScales) {
    for (float scale : {1.0f, 1.5f}) {
        test::ScaleScope scope(scale);
        Owner owner;
        CSettingDlg dlg(&owner, owner.GetSafeHwnd());
        dlg.OnInitDialog();
        auto s = [scale](int v) { return int(float(v) * scale); };
        EXPECT_EQ(dlg.size(), QSize(s(460), s(315)));
        for (int i = 0; i < kEventCheckCount; ++i) {
            const RECT& r = kEventChecks[i].rect;
            EXPECT_EQ(dlg.GetEventButton(i)->geometry(), QRect(s(r.left), s(r.top), s(r.right) - s(r.left), s(r.bottom) - s(r.top)));
            EXPECT_TRUE(dlg.IsEventChecked(i));
        }
        EXPECT_EQ(dlg.GetEventButton(3)->text(), QString::fromUtf8("速度超過"));
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("設定"));
        EXPECT_TRUE(dlg.findChild<QLabel*>(QStringLiteral("VersionText"))->text().endsWith(QLatin1String(" 3.0.0")));
        ASSERT_NE(dlg.GetCloseButton(), nullptr);
    }
}

TEST(SettingDlg, TogglesArePostedAndSurviveARelayout) {
    test::ScaleScope scope(1.0f);
    Owner owner;
    CSettingDlg dlg(&owner, owner.GetSafeHwnd());
    dlg.OnInitDialog();
    dlg.GetEventButton(3)->click();
    dlg.GetEventButton(3)->click();
    dlg.GetEventButton(0)->click();
    dlg.OnEventCheck(32974);  // no such button
    dlg.OnEventCheck(32967);
    using P = std::pair<WPARAM, LPARAM>;
    EXPECT_EQ(owner.Take(), (std::vector<P>{{3, 0}, {3, 1}, {0, 0}}));
    dlg.Relayout();
    EXPECT_FALSE(dlg.IsEventChecked(0));
    EXPECT_TRUE(dlg.IsEventChecked(3));
}

}  // namespace
}  // namespace orv
