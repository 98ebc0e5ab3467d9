#include "ui/SkinSliderCtrl.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>

#include <chrono>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "ControlTestSupport.h"
#include "fixtures/EventLoopWait.h"
#include "platform/window/AppWindow.h"

namespace orv {
namespace {

constexpr unsigned kVolumeId = 38101;
// The message values the owner's handlers are keyed on.
constexpr unsigned kDrag = 0x8065;
constexpr unsigned kDown = 0x8066;
constexpr unsigned kUp = 0x8067;

struct Posted {
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
    friend bool operator==(const Posted&, const Posted&) = default;
};

void PrintTo(const Posted& p, std::ostream* os) { *os << std::hex << p.msg << std::dec << "(" << p.wParam << ", " << p.lParam << ")"; }

// The slider's parent: a window that records what is posted to it.
class Owner : public QWidget, public AppWindow {
public:
    // What arrived since the last call.
    std::vector<Posted> Take() {
        QCoreApplication::processEvents();
        std::vector<Posted> got;
        got.swap(m_posted);
        return got;
    }

protected:
    void OnAppMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override { m_posted.push_back({msg, wParam, lParam}); }

private:
    std::vector<Posted> m_posted;
};

// The volume slider of the main window: 0..65535 on a 100 x 20 track at scale 1.
class SkinSliderCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        owner.resize(300, 100);
        ASSERT_TRUE(slider.Create(kVolumeId, &owner));
        slider.SetImages(167, 168, 169, 170);
        slider.setGeometry(0, 0, 100, 20);
        slider.SetRange(0, 65535);
    }
    void Press(int x) { test::SendMouse(&slider, QEvent::MouseButtonPress, QPoint(x, 10)); }
    void Move(int x) { test::SendMove(&slider, QPoint(x, 10), Qt::LeftButton); }
    void Release(int x) { test::SendMouse(&slider, QEvent::MouseButtonRelease, QPoint(x, 10)); }

    test::ScaleScope scale{1.0f};
    Owner owner;
    CSkinSliderCtrl slider;
};

TEST_F(SkinSliderCtrlTest, APressPostsThePositionUnderTheMouse) {
    const struct {
        int x;
        LPARAM pos;
    } cases[] = {{0, 0}, {50, 32768}, {99, 64880}, {105, 65535}, {-9, 0}};
    for (const auto& c : cases) {
        Press(c.x);
        Release(c.x);
        EXPECT_EQ(owner.Take(), (std::vector<Posted>{{kDown, kVolumeId, c.pos}, {kUp, kVolumeId, c.pos}}))
            << "x " << c.x;
    }
    // Ten pixels beyond either edge is outside.
    Press(110);
    Press(-10);
    Release(110);
    EXPECT_TRUE(owner.Take().empty());
    EXPECT_FALSE(slider.IsCaptured());
}

TEST_F(SkinSliderCtrlTest, ADragPostsEachMoveInsideAndTheRelease) {
    Press(10);
    EXPECT_TRUE(slider.IsCaptured());
    Move(50);
    Move(120);  // outside: no message
    Move(99);
    Release(99);
    EXPECT_FALSE(slider.IsCaptured());
    EXPECT_EQ(owner.Take(), (std::vector<Posted>{{kDown, kVolumeId, 6553},
                                                 {kDrag, kVolumeId, 32768},
                                                 {kDrag, kVolumeId, 64880},
                                                 {kUp, kVolumeId, 64880}}));
    Move(30);  // no drag without a press
    EXPECT_TRUE(owner.Take().empty());
}

TEST_F(SkinSliderCtrlTest, DisablingDuringADragReleasesTheOwner) {
    Press(50);
    slider.EnableSlider(FALSE);
    Move(60);
    EXPECT_FALSE(slider.IsCaptured());
    Release(60);
    EXPECT_EQ(owner.Take(), (std::vector<Posted>{{kDown, kVolumeId, 32768}, {kUp, kVolumeId, 32768}}));

    // Disabled, presses do nothing.
    Press(50);
    Release(50);
    EXPECT_TRUE(owner.Take().empty());

    // Disabled between press and release: the release still lets go.
    slider.EnableSlider(TRUE);
    Press(25);
    slider.EnableSlider(FALSE);
    Release(25);
    EXPECT_EQ(owner.Take(), (std::vector<Posted>{{kDown, kVolumeId, 16384}, {kUp, kVolumeId, 16384}}));
}

// A drag whose release will not come lets go as a release at the thumb's place, so that the
// owner leaves the paused and muted state it entered on the press: the slider hidden, its
// window blocked by a modal dialog, or a move with the button up (the release went
// elsewhere). The release that comes after all is nobody's. Another window activated
// mid-drag keeps the drag: the pointer's grab outlives the focus, and the release ends it.
TEST_F(SkinSliderCtrlTest, ADragWhoseReleaseWillNotComeLetsGo) {
    QWidget other;
    other.resize(50, 50);
    QDialog modal(&owner);
    modal.setWindowModality(Qt::ApplicationModal);
    const auto activate = [](QWidget& window) {
        window.show();
        window.activateWindow();
        return fixtures::RunUntil([&] { return QApplication::activeWindow() == &window; }, std::chrono::seconds(20));
    };
    const struct {
        const char* name;
        std::function<bool()> cut;  // false when it could not be done
        std::function<void()> undo;
        bool keeps;                 // the drag goes on to the release
    } cases[] = {
        {"the slider hidden", [&] { slider.hide(); return true; }, [&] { slider.show(); }, false},
        {"a modal dialog opened", [&] { modal.show(); return true; }, [&] { modal.hide(); }, false},
        {"another window activated", [&] { return activate(other); }, [&] { other.hide(); }, true},
        {"a move with the button up", [&] { test::SendMove(&slider, QPoint(30, 10), Qt::NoButton); return true; }, [] {},
         false},
    };
    const Posted down{kDown, kVolumeId, 32768}, drag{kDrag, kVolumeId, 16384}, up{kUp, kVolumeId, 16384};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(activate(owner));
        Press(50);
        Move(25);
        ASSERT_TRUE(c.cut());
        EXPECT_EQ(slider.IsCaptured(), c.keeps);
        EXPECT_EQ(owner.Take(), c.keeps ? (std::vector<Posted>{down, drag}) : (std::vector<Posted>{down, drag, up}));
        c.undo();
        Release(25);
        EXPECT_EQ(owner.Take(), c.keeps ? std::vector<Posted>{up} : std::vector<Posted>{});
        EXPECT_FALSE(slider.IsCaptured());
    }
}

TEST_F(SkinSliderCtrlTest, AnEmptyRangeGivesTheMinimumAndNoDrags) {
    Press(50);  // a drag position from the full range first
    Release(50);
    owner.Take();
    slider.SetRange(10, 5);
    Press(50);
    Move(70);
    Release(70);
    EXPECT_EQ(owner.Take(), (std::vector<Posted>{{kDown, kVolumeId, 10}, {kUp, kVolumeId, 10}}));
}

TEST_F(SkinSliderCtrlTest, ClicksBesideTheThumbAreTold) {
    slider.SetPos(0);  // thumb over 0..9
    Press(15);
    Release(15);
    EXPECT_FALSE(slider.IsClickOutsideThumb());
    Press(20);
    Release(20);
    EXPECT_TRUE(slider.IsClickOutsideThumb());
}

TEST_F(SkinSliderCtrlTest, TheThumbIsDrawnAtThePosition) {
    const QImage left = test::StoredPicture(167);
    const QImage right = test::StoredPicture(168);
    const QImage thumb = test::StoredPicture(169);
    const QImage dragThumb = test::StoredPicture(170);
    constexpr QRgb kGround = qRgb(255, 0, 255);

    // 32768 of 65536 on the 90 pixels the thumb can travel: x = 45, drawn 12 wide.
    slider.SetPos(32768);
    QImage image = test::Render(slider, kGround);
    EXPECT_EQ(image.pixel(44, 10), left.pixel(0, 10));
    EXPECT_EQ(image.pixel(45, 10), thumb.pixel(0, 10));
    EXPECT_EQ(image.pixel(56, 10), thumb.pixel(9, 10));
    EXPECT_EQ(image.pixel(57, 10), right.pixel(0, 10));
    EXPECT_EQ(image.pixel(47, 2), thumb.pixel(2, 2));

    // While dragging the dragging thumb is drawn.
    Press(50);
    slider.SetPos(32768);
    image = test::Render(slider, kGround);
    EXPECT_EQ(image.pixel(47, 2), dragThumb.pixel(2, 2));
    EXPECT_NE(thumb.pixel(2, 2), dragThumb.pixel(2, 2));
    Release(50);

    // At the ends.
    slider.SetPos(0);
    image = test::Render(slider, kGround);
    EXPECT_EQ(image.pixel(0, 10), thumb.pixel(0, 10));
    EXPECT_EQ(image.pixel(12, 10), right.pixel(0, 10));
    slider.SetPos(65535);
    image = test::Render(slider, kGround);
    EXPECT_EQ(image.pixel(88, 10), left.pixel(0, 10));
    EXPECT_EQ(image.pixel(89, 10), thumb.pixel(0, 10));
}

TEST(SkinSliderCtrlCreate, NeedsAParentWithAClientArea) {
    QWidget empty;
    empty.resize(0, 0);
    QWidget parent;
    parent.resize(100, 40);
    CSkinSliderCtrl slider;  // after its parent: a child goes before its parent does
    EXPECT_FALSE(slider.Create(38100, &empty));
    EXPECT_FALSE(slider.Create(38100, nullptr));
    // Without pictures or width nothing is painted, and nothing breaks.
    ASSERT_TRUE(slider.Create(38100, &parent));
    EXPECT_EQ(slider.GetDlgCtrlID(), 38100u);
    slider.SetPos(5);
    EXPECT_EQ(slider.width(), 0);
}

}  // namespace
}  // namespace orv
