// The lens window on a real X server: shape, picture, rim, dragging, rotating, the screen's
// edges, an unreadable screen and what the lens leaves behind.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lens/lenti_form1.h"
#include "platform/forms.h"
#include "platform/qt/qt_driver.h"
#include "platform/windows.h"
#include "tests/x11/lens_checks.h"
#include "tests/x11/pointer_thief.h"
#include "tests/xharness/xharness.h"

namespace lenstest {
namespace {

constexpr int kLeftButton = 1, kMiddleButton = 2, kRightButton = 3;

// Where a 180-pixel lens opens on the 1024 x 768 screen.
constexpr int kStartLeft = (1024 - 180) / 2;
constexpr int kStartTop = (768 - 180) / 2;

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += "\n  " + l;
    return all;
}

// Creates the lens as the program does and shows it; deletes it at the end.
class LensWindow : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = std::make_unique<xh::Client>(TestDisplay());
        client_->MovePointer(1010, 760);  // away from where the lens opens
        Application->CreateForm(Form1);
        Form1->Show();
        window_ = Form1->Window().NativeId();
        ASSERT_TRUE(xh::WaitUntil([&] { return client_->WindowGeometry(window_).mapped; }, 5000, Pump))
            << "the lens window was never mapped";
    }

    void TearDown() override {
        for (int button : std::set<int>(held_)) Release(button);
        delete Form1;
        Pump();
        const std::vector<std::string> errors = xh::TakeXErrors();
        EXPECT_TRUE(errors.empty()) << "X errors:" << Join(errors);
        client_.reset();
    }

    void Press(int button) {
        client_->Press(button);
        held_.insert(button);
    }
    void Release(int button) {
        client_->Release(button);
        held_.erase(button);
    }
    void MoveTo(TPoint p) { client_->MovePointer(p.X, p.Y); }
    // The screen point of a point of the lens's client area, where the lens is now.
    TPoint OnLens(TPoint client) const { return Point(Form1->Left() + client.X, Form1->Top() + client.Y); }

    void DoubleClickAt(TPoint client) {
        MoveTo(OnLens(client));
        for (int k = 0; k < 2; ++k) {
            Press(kLeftButton);
            Release(kLeftButton);
        }
    }

    // Presses the left button at a client point of the lens, moves the pointer to `to` and
    // releases it; returns whether the lens ended up where the pointer less the grab point is.
    ::testing::AssertionResult DragTo(TPoint grab, TPoint to) {
        MoveTo(OnLens(grab));
        Press(kLeftButton);
        if (!xh::WaitUntil([] { return Form1->IsDragging(); }, 5000, Pump))
            return ::testing::AssertionFailure() << "a left press at lens point (" << grab.X << ", " << grab.Y
                                                 << ") did not start a drag";
        MoveTo(to);
        const TPoint want = Point(to.X - grab.X, to.Y - grab.Y);
        const bool moved = xh::WaitUntil([&] { return Form1->Left() == want.X && Form1->Top() == want.Y; }, 5000, Pump);
        Release(kLeftButton);
        xh::WaitUntil([] { return !Form1->IsDragging(); }, 5000, Pump);
        if (moved) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the lens is at (" << Form1->Left() << ", " << Form1->Top()
                                             << "), want (" << want.X << ", " << want.Y << ")";
    }

    // Moves the pointer through the points, giving the lens a chance to see each.
    void MoveThrough(std::initializer_list<TPoint> points) {
        for (const TPoint p : points) {
            MoveTo(p);
            Pump();
        }
    }

    // Events arrive in order: once a left press on the lens where it should still be has started
    // a drag, every earlier move has been handled. Then the lens must be at `where`. A lens that
    // wrongly follows the pointer goes to where the pointer is when it reads it, less its grab
    // point; the press here is at a point that no test grabs the lens by, so that this differs
    // from `where`.
    ::testing::AssertionResult StayedAt(TPoint where) {
        if (!xh::WaitUntil([] { return !Form1->IsDragging(); }, 5000, Pump))
            return ::testing::AssertionFailure() << "the lens is still dragging, at (" << Form1->Left() << ", "
                                                 << Form1->Top() << ")";
        const TPoint grab = Point(70, 110);
        MoveTo(Point(where.X + grab.X, where.Y + grab.Y));
        Press(kLeftButton);
        const bool pressed = xh::WaitUntil([] { return Form1->IsDragging(); }, 5000, Pump);
        Release(kLeftButton);
        xh::WaitUntil([] { return !Form1->IsDragging(); }, 5000, Pump);
        if (pressed && Form1->Left() == where.X && Form1->Top() == where.Y) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the lens moved to (" << Form1->Left() << ", " << Form1->Top()
                                             << "), want it to stay at (" << where.X << ", " << where.Y << ")"
                                             << (pressed ? "" : "; a press where it should be found no lens");
    }

    LensView ViewAt(int left, int top) const {
        LensView v;
        v.left = left;
        v.top = top;
        return v;
    }

    std::unique_ptr<xh::Client> client_;
    unsigned long window_ = 0;
    std::set<int> held_;
};

// --- Start state -------------------------------------------------------------------------------

TEST_F(LensWindow, StartsCentredAt180PixelsWithTipTopLeftZoom3AndBlackRim) {
    EXPECT_EQ(Form1->Width(), 180);
    EXPECT_EQ(Form1->Height(), 180);
    EXPECT_EQ(Form1->Left(), kStartLeft);
    EXPECT_EQ(Form1->Top(), kStartTop);
    EXPECT_EQ(Form1->CurrentLensSize(), 180);
    EXPECT_EQ(Form1->CurrentZoom(), 3);
    EXPECT_EQ(Form1->CurrentCorner(), LensCorner::TopLeft);
    EXPECT_EQ(Form1->CurrentScheme(), RimScheme::Black);
    EXPECT_FALSE(Form1->IsDragging());

    const xh::Client::Geometry g = client_->WindowGeometry(window_);
    EXPECT_EQ(g.x, kStartLeft);
    EXPECT_EQ(g.y, kStartTop);
    EXPECT_EQ(g.width, 180);
    EXPECT_EQ(g.height, 180);

    // The check marks agree with the start values.
    const struct {
        const char* name;
        TMenuItem* item;
    } checked[] = {{"K2", Form1->K2}, {"MediumM1", Form1->MediumM1}, {"TopLeft", Form1->TopLeft}, {"Black1", Form1->Black1}};
    for (const auto& c : checked) {
        ASSERT_NE(c.item, nullptr) << c.name;
        EXPECT_TRUE(c.item->Checked()) << c.name << " is not checked at start";
    }
}

TEST_F(LensWindow, ShapeIsTheTriangleJoinedWithTheEllipse) {
    EXPECT_TRUE(ShapeBecomes(*client_, window_, 180, LensCorner::TopLeft));
}

TEST_F(LensWindow, ShowsTheScreenBeyondTheTipThreeTimesInsideABlackAndWhiteRim) {
    EXPECT_TRUE(ScreenShowsLens(*client_, ViewAt(kStartLeft, kStartTop)));
}

// --- Dragging ----------------------------------------------------------------------------------

TEST_F(LensWindow, LeftDragMovesTheLensWithThePointerUntilTheRelease) {
    const TPoint grab = Point(100, 80);
    TPoint pointer = OnLens(grab);
    MoveTo(pointer);
    Press(kLeftButton);
    ASSERT_TRUE(xh::WaitUntil([] { return Form1->IsDragging(); }, 5000, Pump)) << "a left press did not start a drag";

    const struct {
        int dx, dy;
    } steps[] = {{25, 10}, {60, -45}, {-140, 30}, {3, 2}, {200, 150}, {-1, -1}};
    for (const auto& step : steps) {
        pointer = Point(pointer.X + step.dx, pointer.Y + step.dy);
        MoveTo(pointer);
        const TPoint want = Point(pointer.X - grab.X, pointer.Y - grab.Y);
        ASSERT_TRUE(xh::WaitUntil([&] { return Form1->Left() == want.X && Form1->Top() == want.Y; }, 5000, Pump))
            << "pointer at (" << pointer.X << ", " << pointer.Y << "): lens at (" << Form1->Left() << ", "
            << Form1->Top() << "), want (" << want.X << ", " << want.Y << ")";
        const xh::Client::Geometry g = client_->WindowGeometry(window_);
        EXPECT_EQ(g.x, want.X);
        EXPECT_EQ(g.y, want.Y);
        EXPECT_TRUE(ScreenShowsLens(*client_, ViewAt(want.X, want.Y)));
    }

    Release(kLeftButton);
    ASSERT_TRUE(xh::WaitUntil([] { return !Form1->IsDragging(); }, 5000, Pump)) << "the release did not end the drag";
    const TPoint rest = Point(Form1->Left(), Form1->Top());
    MoveThrough({OnLens(Point(120, 100)), OnLens(Point(60, 150)), Point(5, 5), OnLens(Point(90, 90))});
    EXPECT_TRUE(StayedAt(rest));
}

TEST_F(LensWindow, RightOrMiddleButtonDoesNotDrag) {
    // The right button's release opens the context menu; that is not what is looked at here.
    TPopupMenu* menu = Form1->PopupMenu;
    Form1->PopupMenu = nullptr;
    const struct {
        const char* name;
        int button;
    } buttons[] = {{"right", kRightButton}, {"middle", kMiddleButton}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        const TPoint rest = Point(Form1->Left(), Form1->Top());
        MoveTo(OnLens(Point(90, 90)));
        Press(b.button);
        MoveThrough({OnLens(Point(130, 100)), OnLens(Point(190, 140)), OnLens(Point(300, 200))});
        Release(b.button);
        EXPECT_TRUE(StayedAt(rest));
        EXPECT_FALSE(Form1->IsDragging());
    }
    Form1->PopupMenu = menu;
}

TEST_F(LensWindow, AReleaseThatAnotherWindowTookEndsTheDragAtTheNextMove) {
    PointerThief thief;
    ASSERT_TRUE(xh::WaitUntil([&] { return thief.Shown(); }, 5000, Pump));
    const TPoint grab = Point(90, 100);
    MoveTo(OnLens(grab));
    Press(kLeftButton);
    ASSERT_TRUE(xh::WaitUntil([] { return Form1->IsDragging(); }, 5000, Pump));
    const TPoint pointer = Point(kStartLeft + grab.X + 40, kStartTop + grab.Y + 30);
    MoveTo(pointer);
    ASSERT_TRUE(xh::WaitUntil([&] { return Form1->Left() == pointer.X - grab.X; }, 5000, Pump));
    const TPoint rest = Point(Form1->Left(), Form1->Top());

    // The release goes to the other window, and the lens never hears of it.
    ASSERT_TRUE(thief.Take());
    Release(kLeftButton);
    ASSERT_TRUE(xh::WaitUntil([&] { return thief.Releases() == 1; }, 5000, Pump))
        << "the release did not go to the window that took the pointer";
    thief.GiveBack();
    EXPECT_TRUE(Form1->IsDragging()) << "the lens heard of the release";

    MoveThrough({OnLens(Point(100, 100)), OnLens(Point(120, 110)), OnLens(Point(60, 140))});
    EXPECT_TRUE(StayedAt(rest));
}

// --- Double-click ------------------------------------------------------------------------------

TEST_F(LensWindow, DoubleClickMovesTheTipToTheNextCornerAndLeavesTheRotateChecks) {
    const LensCorner order[] = {LensCorner::BottomLeft, LensCorner::BottomRight, LensCorner::TopRight,
                                LensCorner::TopLeft};
    int k = 0;
    for (LensCorner want : order) {
        SCOPED_TRACE("double-click " + std::to_string(++k));
        // Each double-click at another spot, so that it is not taken for a third click.
        DoubleClickAt(Point(80 + 8 * k, 90 - 6 * k));
        ASSERT_TRUE(xh::WaitUntil([&] { return Form1->CurrentCorner() == want && !Form1->IsDragging(); }, 5000, Pump))
            << "corner is " << static_cast<int>(Form1->CurrentCorner()) << ", want " << static_cast<int>(want);
        EXPECT_EQ(Form1->Left(), kStartLeft);
        EXPECT_EQ(Form1->Top(), kStartTop);
        EXPECT_TRUE(ShapeBecomes(*client_, window_, 180, want));
        LensView view = ViewAt(kStartLeft, kStartTop);
        view.corner = want;
        EXPECT_TRUE(ScreenShowsLens(*client_, view));
        EXPECT_TRUE(Form1->TopLeft->Checked());
        EXPECT_FALSE(Form1->BottomLeft->Checked());
        EXPECT_FALSE(Form1->BottomRight31->Checked());
        EXPECT_FALSE(Form1->TopRight->Checked());
    }
}

// --- The screen's edges ------------------------------------------------------------------------

TEST_F(LensWindow, WhatLiesOffTheScreenShowsBlack) {
    const struct {
        const char* name;
        int left, top;
    } places[] = {
        {"square partly beyond the left edge", 20, 200},
        {"square partly above the top edge", 300, 15},
        {"lens in the top-left corner", 0, 0},
        {"lens partly off the screen, square wholly off", -60, -60},
        {"lens further off", -85, -70},
    };
    const TPoint grab = Point(90, 90);
    for (const auto& p : places) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(DragTo(grab, Point(p.left + grab.X, p.top + grab.Y)));
        EXPECT_TRUE(ScreenShowsLens(*client_, ViewAt(p.left, p.top)));
        const std::vector<std::string> errors = xh::TakeXErrors();
        EXPECT_TRUE(errors.empty()) << "X errors:" << Join(errors);
    }
}

// --- A screen that cannot be read -----------------------------------------------------------------

// Makes every read of the screen fail while it exists.
class UnreadableScreen {
public:
    UnreadableScreen() { Driver().SetFailScreenReads(true); }
    ~UnreadableScreen() { Driver().SetFailScreenReads(false); }
    UnreadableScreen(const UnreadableScreen&) = delete;
    UnreadableScreen& operator=(const UnreadableScreen&) = delete;

private:
    static QtDriver& Driver() { return static_cast<QtDriver&>(backend::TheDriver()); }
};

TEST_F(LensWindow, AnUnreadableScreenLeavesTheMaroonBackgroundInsideTheRim) {
    ASSERT_TRUE(ScreenShowsLens(*client_, ViewAt(kStartLeft, kStartTop)));
    {
        UnreadableScreen unreadable;
        Form1->Repaint();
        LensView failed = ViewAt(kStartLeft, kStartTop);
        failed.screenReadFails = true;
        EXPECT_TRUE(ScreenShowsLens(*client_, failed));
    }
    Form1->Repaint();
    EXPECT_TRUE(ScreenShowsLens(*client_, ViewAt(kStartLeft, kStartTop)));
}

// --- What the lens leaves behind ---------------------------------------------------------------

TEST(LensResources, RegionsDeviceContextsAndBitmapsAreReleasedWithTheLens) {
    xh::Client client(TestDisplay());
    client.MovePointer(1010, 760);
    const int regions = LiveRegionCount(), contexts = LiveDeviceContextCount(), bitmaps = TBitmap::LiveCount();

    Application->CreateForm(Form1);
    // The lens goes and the button comes up however the test ends.
    struct Cleanup {
        xh::Client& client;
        bool held = false;
        ~Cleanup() {
            if (held) client.Release(kLeftButton);
            delete Form1;
            Pump();
        }
    } cleanup{client};
    Form1->Show();
    ASSERT_TRUE(xh::WaitUntil([&] { return client.WindowGeometry(Form1->Window().NativeId()).mapped; }, 5000, Pump));

    // Reshape it, move it and redraw it.
    const TPoint at = Point(Form1->Left() + 90, Form1->Top() + 90);
    client.MovePointer(at.X, at.Y);
    for (int k = 0; k < 2; ++k) client.Click(kLeftButton);
    ASSERT_TRUE(xh::WaitUntil([] { return Form1->CurrentCorner() == LensCorner::BottomLeft && !Form1->IsDragging(); },
                              5000, Pump));
    client.Press(kLeftButton);
    cleanup.held = true;
    client.MovePointer(at.X + 30, at.Y + 20);
    client.MovePointer(at.X + 50, at.Y - 10);
    ASSERT_TRUE(xh::WaitUntil([&] { return Form1->Left() == at.X + 50 - 90; }, 5000, Pump));
    client.Release(kLeftButton);
    cleanup.held = false;
    Form1->Repaint();
    Pump();
    EXPECT_GT(LiveRegionCount(), regions) << "the lens holds no outline region";
    EXPECT_GT(TBitmap::LiveCount(), bitmaps) << "the lens holds no bitmap";

    delete Form1;
    Pump();
    EXPECT_EQ(Form1, nullptr) << "the global reference outlived the lens";
    EXPECT_EQ(LiveRegionCount(), regions);
    EXPECT_EQ(LiveDeviceContextCount(), contexts);
    EXPECT_EQ(TBitmap::LiveCount(), bitmaps);
}

}  // namespace
}  // namespace lenstest
