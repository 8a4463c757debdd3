// Self-check of the X test harness against a private Xvfb.
#include "tests/xharness/xharness.h"

// gtest before Xlib: Xlib's macros (None, Bool, Status) break gtest's headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", v);
    return buf;
}

// Compares img, grabbed at (x0, y0), with what the screen should show: expected(x, y) inside the
// screen, 0 outside. Reports the number of wrong pixels and the first one.
::testing::AssertionResult ShowsPicture(const xh::Image& img, int x0, int y0, int screen_w, int screen_h,
                                        const std::function<std::uint32_t(int, int)>& expected) {
    int wrong = 0;
    std::string first;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const int sx = x0 + x, sy = y0 + y;
            const bool on_screen = sx >= 0 && sy >= 0 && sx < screen_w && sy < screen_h;
            const std::uint32_t want = on_screen ? expected(sx, sy) : 0;
            if (img.At(x, y) != want && wrong++ == 0)
                first = "at screen (" + std::to_string(sx) + ", " + std::to_string(sy) + ") got " +
                        Hex(img.At(x, y)) + ", want " + Hex(want);
        }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " wrong pixels, first " << first;
}

Window MakeWindow(Display* dpy, int x, int y, int w, int h, unsigned long background, const std::string& wm_name,
                  const std::string& net_wm_name, long event_mask = 0) {
    XSetWindowAttributes attrs{};
    attrs.background_pixel = background;
    attrs.override_redirect = False;
    attrs.event_mask = event_mask;
    const Window win = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                     CWBackPixel | CWEventMask, &attrs);
    XStoreName(dpy, win, wm_name.c_str());
    XChangeProperty(dpy, win, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(net_wm_name.data()),
                    static_cast<int>(net_wm_name.size()));
    // Without a window manager the position asked for is the position shown.
    XSizeHints hints{};
    hints.flags = USPosition;
    hints.x = x;
    hints.y = y;
    XSetWMNormalHints(dpy, win, &hints);
    XMapWindow(dpy, win);
    XSync(dpy, False);
    return win;
}

bool Contains(const std::vector<unsigned long>& v, unsigned long w) { return std::find(v.begin(), v.end(), w) != v.end(); }

class XharnessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<xh::Xvfb>(1024, 768);
        client_ = std::make_unique<xh::Client>(server_->Display());
    }
    static void TearDownTestSuite() {
        client_.reset();   // before the server it talks to
        server_.reset();
    }
    void SetUp() override { xh::TakeXErrors(); }
    void TearDown() override {
        for (const std::string& e : xh::TakeXErrors()) ADD_FAILURE() << "unexpected " << e;
    }

    static std::unique_ptr<xh::Xvfb> server_;
    static std::unique_ptr<xh::Client> client_;
};

std::unique_ptr<xh::Xvfb> XharnessTest::server_;
std::unique_ptr<xh::Client> XharnessTest::client_;

TEST(PatternPixel, IsDistinctForEveryPixelOfA4096Screen) {
    struct Case { int x, y; std::uint32_t want; };
    const Case cases[] = {{0, 0, 0x000000},     {255, 0, 0xFF0000},   {256, 0, 0x000001},
                          {0, 256, 0x000010},   {0x123, 0x456, 0x235641}, {4095, 4095, 0xFFFFFF}};
    for (const Case& c : cases)
        EXPECT_EQ(Hex(xh::PatternPixel(c.x, c.y)), Hex(c.want)) << "at (" << c.x << ", " << c.y << ")";

    std::vector<bool> seen(1u << 24);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const std::uint32_t p = xh::PatternPixel(x, y);
            ASSERT_LT(p, 1u << 24) << "at (" << x << ", " << y << ")";
            ASSERT_FALSE(seen[p]) << Hex(p) << " repeats at (" << x << ", " << y << ")";
            seen[p] = true;
        }
}

TEST_F(XharnessTest, GrabShowsTheRootPictureAndZeroOutsideTheScreen) {
    ASSERT_EQ(client_->ScreenWidth(), server_->Width());
    ASSERT_EQ(client_->ScreenHeight(), server_->Height());
    client_->SetRootPicture();
    struct Region { const char* name; int x, y, w, h; };
    const Region regions[] = {
        {"inside", 300, 200, 40, 30},
        {"across the top left corner", -5, -7, 20, 20},
        {"across the bottom right corner", 1010, 760, 30, 20},
        {"entirely outside", 2000, -100, 10, 10},
        {"the whole screen and a border", -1, -1, 1026, 770},
        {"empty", 10, 10, 0, 5},
    };
    for (const Region& r : regions) {
        SCOPED_TRACE(r.name);
        const xh::Image img = client_->Grab(r.x, r.y, r.w, r.h);
        ASSERT_EQ(img.width, r.w);
        ASSERT_EQ(img.height, r.h);
        ASSERT_EQ(img.pixels.size(), static_cast<std::size_t>(r.w) * r.h);
        EXPECT_TRUE(ShowsPicture(img, r.x, r.y, 1024, 768, xh::PatternPixel));
    }
    EXPECT_THROW(client_->Grab(0, 0, 2, 2).At(2, 0), std::out_of_range);

    // Another picture replaces the first.
    const auto stripes = [](int x, int) -> std::uint32_t { return x % 2 ? 0x00FF00 : 0x0000FF; };
    client_->SetRootPicture(stripes);
    EXPECT_TRUE(ShowsPicture(client_->Grab(500, 300, 8, 2), 500, 300, 1024, 768, stripes));
}

TEST_F(XharnessTest, SavePngWritesWhatADecoderReadsBack) {
    // Flat blocks between pattern blocks, so that the encoder finds repeats near and far.
    const auto blocks = [](int x, int y) -> std::uint32_t {
        return (x / 40 + y / 30) % 3 == 0 ? xh::PatternPixel(x, y) : 0x204060u * static_cast<std::uint32_t>(x / 40 % 4);
    };
    client_->SetRootPicture(blocks);
    const xh::Image img = client_->Grab(250, 100, 300, 200);
    const std::string path = "/tmp/xh-selfcheck-" + std::to_string(::getpid()) + ".png";
    ASSERT_TRUE(img.SavePng(path));
    if (access("/usr/bin/pngtopnm", X_OK) != 0) {
        std::remove(path.c_str());
        GTEST_SKIP() << "pngtopnm (netpbm) is not installed";
    }
    xh::Process decode({"pngtopnm", path});
    ASSERT_EQ(decode.Wait(), 0) << decode.Stderr();
    std::remove(path.c_str());
    std::istringstream ppm(decode.Stdout());
    std::string magic;
    int w = 0, h = 0, max = 0;
    ppm >> magic >> w >> h >> max;
    ppm.get();
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(w, img.width);
    ASSERT_EQ(h, img.height);
    ASSERT_EQ(max, 255);
    xh::Image back{w, h, {}};
    for (int i = 0; i < w * h; ++i) {
        const int r = ppm.get(), g = ppm.get(), b = ppm.get();
        back.pixels.push_back(static_cast<std::uint32_t>((r << 16) | (g << 8) | b));
    }
    ASSERT_TRUE(ppm) << "the decoded picture is short";
    EXPECT_TRUE(ShowsPicture(back, 250, 100, 1024, 768, blocks));
}

TEST_F(XharnessTest, WindowsAreFoundAndInspected) {
    Display* dpy = client_->Dpy();
    client_->SetRootPicture();
    // Colours allocated by the server, so that the channel order of Grab is checked against
    // something other than the harness itself.
    struct Case { const char* colour; unsigned short r, g, b; std::uint32_t want; int x; };
    const Case cases[] = {{"red", 0xFFFF, 0, 0, 0xFF0000, 100},
                          {"green", 0, 0xFFFF, 0, 0x00FF00, 320},
                          {"blue", 0, 0, 0xFFFF, 0x0000FF, 540}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.colour);
        XColor colour{};
        colour.red = c.r;
        colour.green = c.g;
        colour.blue = c.b;
        ASSERT_TRUE(XAllocColor(dpy, DefaultColormap(dpy, DefaultScreen(dpy)), &colour));
        const std::string wm_name = std::string("xh ") + c.colour;
        const std::string net_name = wm_name + " \u00e6\u00f8";
        const Window win = MakeWindow(dpy, c.x, 120, 200, 150, colour.pixel, wm_name, net_name);
        ASSERT_TRUE(xh::WaitUntil([&] { return client_->WindowGeometry(win).mapped; }));

        EXPECT_TRUE(Contains(client_->FindWindowsByTitle(wm_name), win)) << "by WM_NAME";
        EXPECT_TRUE(Contains(client_->FindWindowsByTitle(net_name), win)) << "by _NET_WM_NAME";
        EXPECT_TRUE(client_->FindWindowsByTitle("xh nobody").empty());
        EXPECT_EQ(client_->WindowTitle(win), net_name);
        const xh::Client::Geometry g = client_->WindowGeometry(win);
        EXPECT_EQ((std::array<int, 4>{g.x, g.y, g.width, g.height}), (std::array<int, 4>{c.x, 120, 200, 150}));

        const auto expected = [&](int x, int y) {
            return x >= c.x && x < c.x + 200 && y >= 120 && y < 270 ? c.want : xh::PatternPixel(x, y);
        };
        EXPECT_TRUE(ShowsPicture(client_->Grab(c.x - 2, 118, 204, 154), c.x - 2, 118, 1024, 768, expected));

        EXPECT_TRUE(client_->ShapeRects(win).empty());
        // In separate bands, so that the server keeps them as they are.
        XRectangle parts[] = {{0, 0, 50, 40}, {150, 60, 50, 20}};
        XShapeCombineRectangles(dpy, win, ShapeBounding, 0, 0, parts, 2, ShapeSet, Unsorted);
        XSync(dpy, False);
        std::vector<std::array<int, 4>> rects = client_->ShapeRects(win);
        std::sort(rects.begin(), rects.end());
        EXPECT_EQ(rects, (std::vector<std::array<int, 4>>{{0, 0, 50, 40}, {150, 60, 50, 20}}));
        // The cut-away middle shows the root again.
        EXPECT_EQ(Hex(client_->Grab(c.x + 100, 200, 1, 1).At(0, 0)), Hex(xh::PatternPixel(c.x + 100, 200)));

        XDestroyWindow(dpy, win);
        XSync(dpy, False);
        EXPECT_THROW(client_->WindowGeometry(win), std::runtime_error);
        EXPECT_THROW(client_->WindowTitle(win), std::runtime_error);
        EXPECT_THROW(client_->ShapeRects(win), std::runtime_error);
        EXPECT_FALSE(Contains(client_->FindWindowsByTitle(wm_name), win));
    }
}

TEST_F(XharnessTest, PointerAndKeysReachAWindow) {
    struct Case { int x, y, want_x, want_y; };
    const Case moves[] = {{10, 10, 10, 10}, {1023, 767, 1023, 767}, {5000, -20, 1023, 0}, {0, 0, 0, 0}};
    for (const Case& m : moves) {
        client_->MovePointer(m.x, m.y);
        EXPECT_EQ(client_->PointerPosition(), std::make_pair(m.want_x, m.want_y)) << "moved to " << m.x << ", " << m.y;
    }

    Display* dpy = client_->Dpy();
    const Window win = MakeWindow(dpy, 200, 200, 100, 100, BlackPixel(dpy, DefaultScreen(dpy)), "xh input", "xh input",
                                  ButtonPressMask | ButtonReleaseMask | KeyPressMask);
    ASSERT_TRUE(xh::WaitUntil([&] { return client_->WindowGeometry(win).mapped; }));
    XSetInputFocus(dpy, win, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);
    // XTest input from a fresh device announces a keymap change first.
    const auto next_event = [&](XEvent& ev) {
        do {
            if (!xh::WaitUntil([&] { return XPending(dpy) > 0; })) return false;
            XNextEvent(dpy, &ev);
            if (ev.type == MappingNotify) XRefreshKeyboardMapping(&ev.xmapping);
        } while (ev.type == MappingNotify);
        return true;
    };
    while (XPending(dpy)) {
        XEvent ev;
        XNextEvent(dpy, &ev);
    }

    client_->MovePointer(230, 240);
    client_->Click(3);
    XEvent ev{};
    ASSERT_TRUE(next_event(ev));
    ASSERT_EQ(ev.type, ButtonPress);
    EXPECT_EQ(ev.xbutton.button, 3u);
    EXPECT_EQ(std::make_pair(ev.xbutton.x, ev.xbutton.y), std::make_pair(30, 40));
    ASSERT_TRUE(next_event(ev));
    EXPECT_EQ(ev.type, ButtonRelease);

    struct Key { const char* keysym; const char* text; bool shifted; };
    const Key keys[] = {{"Return", "\r", false}, {"l", "l", false}, {"A", "A", true}};
    for (const Key& k : keys) {
        SCOPED_TRACE(k.keysym);
        client_->KeyTap(k.keysym);
        char text[8] = {};
        KeySym sym = NoSymbol;
        do {   // Shift comes first when it is needed
            ASSERT_TRUE(next_event(ev));
            ASSERT_EQ(ev.type, KeyPress);
            XLookupString(&ev.xkey, text, sizeof text - 1, &sym, nullptr);
        } while (IsModifierKey(sym));
        EXPECT_STREQ(XKeysymToString(sym), k.keysym);
        EXPECT_STREQ(text, k.text);
        EXPECT_EQ((ev.xkey.state & ShiftMask) != 0, k.shifted);
    }
    EXPECT_THROW(client_->KeyTap("NoSuchKey"), std::invalid_argument);
    XDestroyWindow(dpy, win);
    XSync(dpy, False);
}

TEST_F(XharnessTest, XErrorsAreRecordedNotFatal) {
    XMapWindow(client_->Dpy(), 0x3fffff0);   // no such window
    XSync(client_->Dpy(), False);
    const std::vector<std::string> errors = xh::TakeXErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("BadWindow"), std::string::npos) << errors[0];
    EXPECT_TRUE(xh::TakeXErrors().empty());
}

TEST(WindowManager, ComesUpReparentsAndLeavesCleanly) {
    std::string display, lock;
    {
        xh::Xvfb server(640, 480);
        display = server.Display();
        lock = "/tmp/.X" + std::to_string(server.Number()) + "-lock";
        ASSERT_EQ(access(lock.c_str(), F_OK), 0) << lock;
        xh::Client client(display);
        {
            xh::WindowManager wm(display);
            EXPECT_THROW(xh::WindowManager second(display), std::runtime_error) << "two window managers at once";

            Display* dpy = client.Dpy();
            const Window win = MakeWindow(dpy, 50, 50, 120, 80, WhitePixel(dpy, 0), "xh managed", "xh managed");
            ASSERT_TRUE(xh::WaitUntil([&] {
                Window root, parent, *kids = nullptr;
                unsigned n = 0;
                XQueryTree(dpy, win, &root, &parent, &kids, &n);
                if (kids) XFree(kids);
                return parent != root;
            })) << "openbox did not put the window into a frame";
            EXPECT_TRUE(Contains(client.FindWindowsByTitle("xh managed"), win));
            EXPECT_TRUE(xh::WaitUntil([&] { return client.WindowGeometry(win).mapped; }));
        }
        // A second window manager can only start once the first has really gone.
        xh::WindowManager again(display);
    }
    EXPECT_NE(access(lock.c_str(), F_OK), 0) << lock << " left behind";
    Display* gone = XOpenDisplay(display.c_str());
    EXPECT_EQ(gone, nullptr) << "the server on " << display << " still answers";
    if (gone) XCloseDisplay(gone);
    for (const std::string& e : xh::TakeXErrors()) ADD_FAILURE() << "unexpected " << e;
}

TEST(Xvfb, TwoServersGetDifferentDisplays) {
    xh::Xvfb a(320, 240), b(320, 240);
    EXPECT_NE(a.Display(), b.Display());
    xh::Client ca(a.Display()), cb(b.Display());
    EXPECT_EQ(ca.ScreenWidth(), 320);
    EXPECT_EQ(cb.ScreenHeight(), 240);
}

TEST(Process, CapturesOutputAndExitStatus) {
    struct Case { const char* name; std::vector<std::string> argv, env; int status; const char* out; const char* err; };
    const Case cases[] = {
        {"exit status", {"sh", "-c", "echo out; echo err >&2; exit 3"}, {}, 3, "out\n", "err\n"},
        {"killed by a signal", {"sh", "-c", "kill -KILL $$"}, {}, 128 + SIGKILL, "", ""},
        {"environment", {"sh", "-c", "printf %s \"$XH_A,${HOME-unset}\""}, {"XH_A=1 2", "HOME="}, 0, "1 2,unset", ""},
        {"no stdin", {"sh", "-c", "cat; echo done"}, {}, 0, "done\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xh::Process p(c.argv, c.env);
        EXPECT_EQ(p.Wait(), c.status);
        EXPECT_FALSE(p.Running());
        EXPECT_EQ(p.Stdout(), c.out);
        EXPECT_EQ(p.Stderr(), c.err);
    }
    EXPECT_THROW(xh::Process({"xh-no-such-program"}), std::runtime_error);
}

TEST(Process, TimeoutKillAndCleanup) {
    xh::Process sleeper({"sleep", "30"});
    EXPECT_TRUE(sleeper.Running());
    EXPECT_THROW(sleeper.Wait(20), std::runtime_error);
    sleeper.Kill(SIGTERM);
    EXPECT_EQ(sleeper.Wait(), 128 + SIGTERM);

    // The destructor also ends what the child started in the background.
    int grandchild = 0;
    {
        xh::Process parent({"sh", "-c", "sleep 30 & echo $!; wait"});
        ASSERT_TRUE(xh::WaitUntil([&] { return parent.Stdout().find('\n') != std::string::npos; }));
        grandchild = std::stoi(parent.Stdout());
    }
    const auto gone = [&] {
        std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
        std::string pid, comm, state;
        return !(stat >> pid >> comm >> state) || state == "Z";
    };
    EXPECT_TRUE(xh::WaitUntil(gone)) << "sleep (pid " << grandchild << ") still running";
}

TEST(WaitUntil, PumpsBetweenPollsAndGivesUp) {
    int pumps = 0;
    EXPECT_TRUE(xh::WaitUntil([&] { return pumps >= 3; }, 5000, [&] { ++pumps; }));
    EXPECT_EQ(pumps, 3);
    int polls = 0;
    EXPECT_FALSE(xh::WaitUntil([&] { return ++polls < 0; }, 20));
    EXPECT_GE(polls, 2);
}

}  // namespace
