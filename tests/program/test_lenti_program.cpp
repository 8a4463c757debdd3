// The built program, run as a user runs it: under a private Xvfb with openbox, driven by real
// pointer and keyboard input through XTest, and judged by what the screen shows.
#include "lens/lens_geometry.h"
#include "tests/program/program_support.h"
#include "tests/xharness/xharness.h"

// gtest before Xlib: Xlib's macros (None, Bool, Status) break gtest's headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifndef LENTI_PATH
#error "LENTI_PATH must name the built lenti"
#endif
#ifndef LENTI_BROKEN_PATH
#error "LENTI_BROKEN_PATH must name lenti built with program/broken_TForm1.dfm"
#endif
#ifndef BROKEN_DEFINITION
#error "BROKEN_DEFINITION must name program/broken_TForm1.dfm"
#endif

using namespace program_support;

namespace {

constexpr int kStartSize = 180, kStartZoom = 3;
constexpr const char* kTitle = "Lenticor";
// Long enough for a sanitizer build of a Qt program to come up on a busy machine.
constexpr int kStartMs = 20000;
constexpr int kExitMs = 5000;

// A pixel of the pointer triangle near the tip at corner c, 8 pixels in along the diagonal: it
// lies outside the lens circle, so only a tip there puts it into the outline.
TPoint NearTip(LensCorner c, int s) {
    switch (c) {
        case LensCorner::TopLeft: return {8, 8};
        case LensCorner::BottomLeft: return {8, s - 9};
        case LensCorner::BottomRight: return {s - 9, s - 9};
        case LensCorner::TopRight: return {s - 9, 8};
    }
    return {0, 0};
}

const char* Name(LensCorner c) {
    static const char* const names[] = {"TopLeft", "BottomLeft", "BottomRight", "TopRight"};
    return names[static_cast<int>(c) & 3];
}

// The window's outline has its tip at corner c: the centre and the pixel near that tip belong to
// the shape, those near the other three corners do not.
::testing::AssertionResult OutlinedWithTipAt(const std::vector<std::array<int, 4>>& rects, int s, LensCorner c) {
    if (rects.empty()) return ::testing::AssertionFailure() << "the window has no shape";
    std::string wrong;
    for (LensCorner k : {LensCorner::TopLeft, LensCorner::BottomLeft, LensCorner::BottomRight, LensCorner::TopRight}) {
        const TPoint p = NearTip(k, s);
        if (InShape(rects, p.X, p.Y) != (k == c))
            wrong += std::string(" (") + std::to_string(p.X) + ", " + std::to_string(p.Y) + ") is " +
                     (k == c ? "outside" : "inside") + ";";
    }
    if (!InShape(rects, s / 2, s / 2)) wrong += " the centre is outside;";
    if (wrong.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "outline for a tip at " << Name(c) << " wrong:" << wrong << " ("
                                         << rects.size() << " rectangles)";
}

// A child's exit status is not a death by a signal, which would also mean a core dump.
std::string DescribeStatus(int status) {
    if (status >= 128) return std::to_string(status) + " (killed by signal " + std::to_string(status - 128) + ")";
    return std::to_string(status);
}

// Sets an environment variable for its lifetime, and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

class LentiProgram : public ::testing::Test {
protected:
    // openbox's default bindings focus and raise a window on a press in it, through a grab on
    // the client area, and while it replays one press it drops the next if that comes at once:
    // a hand never clicks that fast, XTest does. Our openbox manages windows with no bindings.
    static void SetUpTestSuite() {
        char dir[] = "/tmp/lenti-openbox-XXXXXX";
        if (!::mkdtemp(dir)) return;
        config_home_ = dir;
        ::mkdir((config_home_ + "/openbox").c_str(), 0700);
        std::ofstream(config_home_ + "/openbox/rc.xml")
            << "<?xml version=\"1.0\"?>\n"
               "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
               "  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>\n"
               "  <placement><policy>Smart</policy></placement>\n"
               // Empty, not missing: without the sections openbox takes its built-in bindings.
               "  <keyboard></keyboard>\n"
               "  <mouse></mouse>\n"
               "</openbox_config>\n";
    }
    static void TearDownTestSuite() {
        if (config_home_.empty()) return;
        std::remove((config_home_ + "/openbox/rc.xml").c_str());
        ::rmdir((config_home_ + "/openbox").c_str());
        ::rmdir(config_home_.c_str());
        config_home_.clear();
    }

    void SetUp() override {
        ASSERT_FALSE(config_home_.empty()) << "no directory for the window manager's configuration";
        server_ = std::make_unique<xh::Xvfb>(kScreenW, kScreenH);
        {
            // openbox reads its configuration from XDG_CONFIG_HOME; nothing started later sees ours.
            const ScopedEnv config("XDG_CONFIG_HOME", config_home_);
            wm_ = std::make_unique<xh::WindowManager>(server_->Display());
        }
        x_ = std::make_unique<xh::Client>(server_->Display());
        x_->SetRootPicture();
    }

    void TearDown() override {
        if (HasFailure()) SaveScreenshot();
        programs_.clear();
        x_.reset();
        wm_.reset();
        server_.reset();
    }

    void SaveScreenshot(const std::string& suffix = "") {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::string path = "/tmp/lenti_program_" + name + suffix + ".png";
        if (x_->Grab(0, 0, kScreenW, kScreenH).SavePng(path)) std::fprintf(stderr, "screenshot: %s\n", path.c_str());
    }

    // The lens at g comes to show the magnified picture (a paint may still be on its way).
    ::testing::AssertionResult Magnifies(const xh::Client::Geometry& g, LensCorner c, int zoom = kStartZoom) {
        ::testing::AssertionResult last = ::testing::AssertionFailure();
        if (xh::WaitUntil([&] { return static_cast<bool>(last = ShowsMagnified(*x_, g, c, zoom)); })) return last;
        SaveScreenshot("_picture");
        return last;
    }

    xh::Process& Start(const std::string& program = LENTI_PATH) {
        programs_.push_back(std::make_unique<xh::Process>(
            std::vector<std::string>{program},
            std::vector<std::string>{"DISPLAY=" + server_->Display(), "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY="}));
        return *programs_.back();
    }

    // The mapped top-level windows titled "Lenticor", once there are n of them.
    std::vector<unsigned long> WaitForWindows(std::size_t n, xh::Process* watched = nullptr) {
        std::vector<unsigned long> shown;
        const bool ok = xh::WaitUntil(
            [&] {
                shown.clear();
                for (unsigned long w : x_->FindWindowsByTitle(kTitle)) {
                    try {
                        if (x_->WindowGeometry(w).mapped) shown.push_back(w);
                    } catch (const std::runtime_error&) {   // gone while we looked
                    }
                }
                return shown.size() >= n || (watched && !watched->Running());
            },
            kStartMs);
        EXPECT_TRUE(ok) << "no " << n << " windows titled \"" << kTitle << "\" within " << kStartMs << " ms; "
                        << shown.size() << " shown";
        return shown;
    }

    unsigned long WaitForLens(xh::Process& p) {
        const std::vector<unsigned long> w = WaitForWindows(1, &p);
        if (w.empty()) {
            ADD_FAILURE() << "the lens did not appear; lenti " << (p.Running() ? "is still running" : "has ended")
                          << ", standard error:" << Joined(UnexpectedLines(p.Stderr()));
            return 0;
        }
        return w.front();
    }

    // The mapped override-redirect windows on the root: the popups (menus) of all programs.
    std::vector<xh::Client::Geometry> Popups() {
        ::Display* d = x_->Dpy();
        std::vector<xh::Client::Geometry> found;
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n) && kids) {
            for (unsigned k = 0; k < n; ++k) {
                XWindowAttributes a{};
                // openbox keeps a mapped 1 x 1 window of its own off the screen.
                if (XGetWindowAttributes(d, kids[k], &a) && a.override_redirect && a.map_state == IsViewable &&
                    a.width > 1 && a.height > 1)
                    found.push_back({a.x, a.y, a.width, a.height, true});
            }
            XFree(kids);
        }
        // A window that vanished between the two requests is no concern of ours.
        xh::TakeXErrors();
        return found;
    }

    // Opens the context menu with a right-click at (px, py) and chooses Close by its access key.
    void CloseByMenu(int px, int py) {
        ASSERT_TRUE(Popups().empty()) << "a popup is already open";
        x_->MovePointer(px, py);
        x_->Click(3);
        std::vector<xh::Client::Geometry> menus;
        ASSERT_TRUE(xh::WaitUntil([&] { return !(menus = Popups()).empty(); }))
            << "no menu opened after a right-click at (" << px << ", " << py << ")";
        EXPECT_EQ(menus.front().x, px) << "the menu does not open at the pointer";
        EXPECT_EQ(menus.front().y, py) << "the menu does not open at the pointer";
        x_->KeyTap("x");
    }

    // Closes the lens at g through its menu and checks that its program ends cleanly.
    void CloseAndExpectCleanExit(xh::Process& p, const xh::Client::Geometry& g) {
        CloseByMenu(g.x + g.width / 2, g.y + g.height / 2);
        if (HasFatalFailure()) return;
        int status = -1;
        try {
            status = p.Wait(kExitMs);
        } catch (const std::runtime_error& e) {
            ADD_FAILURE() << e.what();
            return;
        }
        EXPECT_EQ(status, 0) << "exit status " << DescribeStatus(status);
        const std::vector<std::string> lines = UnexpectedLines(p.Stderr());
        EXPECT_TRUE(lines.empty()) << "standard error:" << Joined(lines);
    }

    static std::string config_home_;
    std::unique_ptr<xh::Xvfb> server_;
    std::unique_ptr<xh::WindowManager> wm_;
    std::unique_ptr<xh::Client> x_;
    std::vector<std::unique_ptr<xh::Process>> programs_;
};

std::string LentiProgram::config_home_;

TEST_F(LentiProgram, StartsCentredShapedAndShowingTheScreenMagnified) {
    xh::Process& lenti = Start();
    const unsigned long w = WaitForLens(lenti);
    ASSERT_NE(w, 0u);
    EXPECT_EQ(x_->WindowTitle(w), kTitle);
    const xh::Client::Geometry g = x_->WindowGeometry(w);
    EXPECT_EQ(g.width, kStartSize);
    EXPECT_EQ(g.height, kStartSize);
    EXPECT_EQ(g.x, (kScreenW - kStartSize) / 2);
    EXPECT_EQ(g.y, (kScreenH - kStartSize) / 2);
    EXPECT_TRUE(OutlinedWithTipAt(x_->ShapeRects(w), g.width, LensCorner::TopLeft));

    ASSERT_TRUE(Magnifies(g, LensCorner::TopLeft));

    // Walking inward from the middle of each side: the dark rim, its light halo, then the picture.
    const xh::Image img = x_->Grab(g.x, g.y, g.width, g.height);
    const int s = g.width, mid = s / 2;
    const struct { const char* side; int x, y, dx, dy; } sides[] = {
        {"top", mid, 0, 0, 1}, {"left", 0, mid, 1, 0}, {"bottom", mid, s - 2, 0, -1}, {"right", s - 2, mid, -1, 0}};
    for (const auto& side : sides) {
        const std::vector<std::uint32_t> runs = Runs(img, side.x, side.y, side.dx, side.dy, 16);
        std::string seen;
        for (std::uint32_t r : runs) seen += " " + Hex(r);
        ASSERT_GE(runs.size(), 3u) << side.side << ":" << seen;
        EXPECT_EQ(runs[0], 0x000000u) << side.side << ":" << seen;
        EXPECT_EQ(runs[1], 0xFFFFFFu) << side.side << ":" << seen;
        EXPECT_NE(runs[2], 0x000000u) << side.side << ":" << seen;
        EXPECT_NE(runs[2], 0xFFFFFFu) << side.side << ":" << seen;
    }

    CloseAndExpectCleanExit(lenti, g);
}

TEST_F(LentiProgram, DragMovesTheLensUnderThePointerAndThePictureFollows) {
    xh::Process& lenti = Start();
    const unsigned long w = WaitForLens(lenti);
    ASSERT_NE(w, 0u);
    const xh::Client::Geometry start = x_->WindowGeometry(w);
    const int grabX = 90, grabY = 120;

    x_->MovePointer(start.x + grabX, start.y + grabY);
    x_->Press(1);
    // Waypoints reached in small steps, as a hand moves; the third takes the capture square
    // partly off the top-left of the screen.
    const struct { int x, y; } waypoints[] = {{300, 500}, {800, 200}, {grabX + 20, grabY + 10}, {700, 650}};
    int px = start.x + grabX, py = start.y + grabY;
    for (const auto& to : waypoints) {
        while (px != to.x || py != to.y) {
            px += std::clamp(to.x - px, -15, 15);
            py += std::clamp(to.y - py, -15, 15);
            x_->MovePointer(px, py);
        }
        xh::Client::Geometry g{};
        const bool followed = xh::WaitUntil([&] {
            g = x_->WindowGeometry(w);
            return g.x == px - grabX && g.y == py - grabY;
        });
        EXPECT_TRUE(followed) << "pointer at (" << px << ", " << py << "): lens at (" << g.x << ", " << g.y
                              << "), want (" << px - grabX << ", " << py - grabY << ")";
    }
    x_->Release(1);

    // A second drag with another grab point, up and to the left: the lens reads the screen as
    // displayed, and where it has just been never lies in its capture square then.
    const xh::Client::Geometry mid = x_->WindowGeometry(w);
    EXPECT_EQ(mid.width, kStartSize);
    const int grab2X = 60, grab2Y = 150;
    px = mid.x + grab2X;
    py = mid.y + grab2Y;
    x_->MovePointer(px, py);
    x_->Press(1);
    for (int k = 0; k < 20; ++k) x_->MovePointer(px -= 12, py -= 9);
    x_->Release(1);
    xh::Client::Geometry end{};
    ASSERT_TRUE(xh::WaitUntil([&] {
        end = x_->WindowGeometry(w);
        return end.x == px - grab2X && end.y == py - grab2Y;
    })) << "lens at (" << end.x << ", " << end.y << "), want (" << px - grab2X << ", " << py - grab2Y << ")";
    EXPECT_TRUE(Magnifies(end, LensCorner::TopLeft));

    // With the button up the lens stays where it is.
    x_->MovePointer(px + 100, py + 50);
    EXPECT_FALSE(xh::WaitUntil([&] { return x_->WindowGeometry(w).x != end.x; }, 300))
        << "the lens still follows the pointer after the release";

    CloseAndExpectCleanExit(lenti, x_->WindowGeometry(w));
}

TEST_F(LentiProgram, DoubleClickMovesTheTipToTheNextCorner) {
    xh::Process& lenti = Start();
    const unsigned long w = WaitForLens(lenti);
    ASSERT_NE(w, 0u);
    const xh::Client::Geometry g = x_->WindowGeometry(w);
    ASSERT_TRUE(OutlinedWithTipAt(x_->ShapeRects(w), g.width, LensCorner::TopLeft));

    const LensCorner order[] = {LensCorner::BottomLeft, LensCorner::BottomRight, LensCorner::TopRight,
                                LensCorner::TopLeft};
    x_->MovePointer(g.x + g.width / 2, g.y + g.height / 2);
    for (LensCorner want : order) {
        SCOPED_TRACE(Name(want));
        x_->Click(1);
        x_->Click(1);
        EXPECT_TRUE(xh::WaitUntil([&] { return OutlinedWithTipAt(x_->ShapeRects(w), g.width, want); }));
        EXPECT_TRUE(OutlinedWithTipAt(x_->ShapeRects(w), g.width, want));
        const xh::Client::Geometry now = x_->WindowGeometry(w);
        EXPECT_EQ(now.x, g.x) << "a double-click moved the lens";
        EXPECT_EQ(now.y, g.y) << "a double-click moved the lens";
        EXPECT_EQ(now.width, g.width);
        EXPECT_TRUE(Magnifies(now, want));
    }

    CloseAndExpectCleanExit(lenti, g);
}

TEST_F(LentiProgram, CloseChosenByAccessKeyEndsTheProgram) {
    xh::Process& lenti = Start();
    const unsigned long w = WaitForLens(lenti);
    ASSERT_NE(w, 0u);
    const xh::Client::Geometry g = x_->WindowGeometry(w);
    ASSERT_NO_FATAL_FAILURE(CloseByMenu(g.x + 40, g.y + 100));
    int status = -1;
    ASSERT_NO_THROW(status = lenti.Wait(kExitMs)) << "lenti did not end after Close";
    EXPECT_EQ(status, 0) << "exit status " << DescribeStatus(status);
    const std::vector<std::string> lines = UnexpectedLines(lenti.Stderr());
    EXPECT_TRUE(lines.empty()) << "standard error:" << Joined(lines);
    EXPECT_TRUE(x_->FindWindowsByTitle(kTitle).empty()) << "the lens outlived its program";
    EXPECT_TRUE(Popups().empty()) << "the menu outlived its program";
}

TEST_F(LentiProgram, TwoInstancesRunSideBySideAndCloseOneAtATime) {
    xh::Process& first = Start();
    ASSERT_NE(WaitForLens(first), 0u);
    xh::Process& second = Start();
    std::vector<unsigned long> windows = WaitForWindows(2, &second);
    ASSERT_EQ(windows.size(), 2u) << "second lenti " << (second.Running() ? "running" : "ended")
                                  << ", standard error:" << Joined(UnexpectedLines(second.Stderr()));

    // Both start centred, one over the other; the one on top, whichever that is, is dragged aside.
    const xh::Client::Geometry centred = x_->WindowGeometry(windows.front());
    EXPECT_EQ(x_->WindowGeometry(windows.back()).x, centred.x);
    x_->MovePointer(centred.x + 90, centred.y + 90);
    x_->Press(1);
    for (int k = 1; k <= 20; ++k) x_->MovePointer(centred.x + 90 - 15 * k, centred.y + 90);
    x_->Release(1);
    xh::Client::Geometry a{}, b{};
    ASSERT_TRUE(xh::WaitUntil([&] {
        a = x_->WindowGeometry(windows.front());
        b = x_->WindowGeometry(windows.back());
        return a.x == centred.x - 300 || b.x == centred.x - 300;
    })) << "after a drag by -300 the lenses are at x = " << a.x << " and " << b.x << ", from " << centred.x;
    const bool frontDragged = a.x == centred.x - 300;
    const unsigned long dragged = frontDragged ? windows.front() : windows.back();
    const unsigned long still = frontDragged ? windows.back() : windows.front();
    const xh::Client::Geometry left = frontDragged ? a : b, right = frontDragged ? b : a;
    EXPECT_EQ(right.x, centred.x) << "dragging one lens moved the other";
    EXPECT_EQ(right.y, centred.y) << "dragging one lens moved the other";
    EXPECT_TRUE(Magnifies(left, LensCorner::TopLeft));
    EXPECT_TRUE(Magnifies(right, LensCorner::TopLeft));

    // Closing one leaves the other running and shown.
    ASSERT_NO_FATAL_FAILURE(CloseByMenu(left.x + 90, left.y + 90));
    ASSERT_TRUE(xh::WaitUntil([&] { return !first.Running() || !second.Running(); }, kExitMs))
        << "neither lenti ended after Close";
    xh::Process& closed = first.Running() ? second : first;
    xh::Process& other = first.Running() ? first : second;
    EXPECT_EQ(closed.Wait(0), 0);
    EXPECT_TRUE(UnexpectedLines(closed.Stderr()).empty()) << Joined(UnexpectedLines(closed.Stderr()));
    EXPECT_TRUE(other.Running()) << "closing one lens ended both programs";
    const std::vector<unsigned long> left_over = x_->FindWindowsByTitle(kTitle);
    ASSERT_EQ(left_over.size(), 1u);
    EXPECT_EQ(left_over.front(), still) << "the lens that was closed is still there";
    EXPECT_NE(left_over.front(), dragged);

    CloseAndExpectCleanExit(other, right);
}

// The first line of the broken definition that contains text, counted from 1.
int LineOf(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        ++n;
        if (line.find(text) != std::string::npos) return n;
    }
    return 0;
}

TEST_F(LentiProgram, BrokenDefinitionIsShownInAMessageBoxAndStartFails) {
    const int line = LineOf(BROKEN_DEFINITION, "Shimmer");
    ASSERT_GT(line, 0) << BROKEN_DEFINITION << " has no line with the unknown property Shimmer";
    xh::Process& broken = Start(LENTI_BROKEN_PATH);
    std::vector<unsigned long> boxes = WaitForWindows(1, &broken);
    ASSERT_EQ(boxes.size(), 1u) << "no message box; lenti_broken " << (broken.Running() ? "running" : "ended")
                                << ", standard error:" << Joined(UnexpectedLines(broken.Stderr()));
    // The message is on standard error already, while the box waits for the user.
    const std::string where = "TForm1:" + std::to_string(line) + ": ";
    EXPECT_TRUE(xh::WaitUntil([&] { return broken.Stderr().find(where) != std::string::npos; }))
        << "standard error lacks \"" << where << "\":" << Joined(UnexpectedLines(broken.Stderr()));
    EXPECT_NE(broken.Stderr().find("Shimmer"), std::string::npos) << "the message does not name the property";
    EXPECT_TRUE(broken.Running()) << "the program did not wait for the message box";

    x_->KeyTap("Return");
    int status = -1;
    ASSERT_NO_THROW(status = broken.Wait(kExitMs)) << "Return did not close the message box";
    EXPECT_GT(status, 0) << "a failed start must not report success";
    EXPECT_LT(status, 128) << "exit status " << DescribeStatus(status);
    const std::vector<std::string> lines = UnexpectedLines(broken.Stderr());
    ASSERT_EQ(lines.size(), 1u) << "standard error:" << Joined(lines);
    EXPECT_NE(lines[0].find(where), std::string::npos) << lines[0];
}

bool PathExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(LentiWithoutDisplay, EndsAtOnceWithOneLineOnStandardError) {
    ASSERT_FALSE(PathExists("/tmp/.X11-unix/X999")) << "something serves display :999";
    const struct { const char* name; const char* display; const char* mentions; } cases[] = {
        {"DISPLAY unset", "DISPLAY=", "DISPLAY"},
        {"no server at :999", "DISPLAY=:999", ":999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        xh::Process lenti({LENTI_PATH}, {c.display, "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY="});
        int status = -1;
        ASSERT_NO_THROW(status = lenti.Wait(3000)) << "lenti is still running";
        EXPECT_EQ(status, 1) << "exit status " << DescribeStatus(status);
        const std::vector<std::string> lines = UnexpectedLines(lenti.Stderr());
        ASSERT_EQ(lines.size(), 1u) << "standard error:" << Joined(lines);
        EXPECT_NE(lines[0].find("X11 display"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find(c.mentions), std::string::npos) << lines[0];
    }
}

}  // namespace
