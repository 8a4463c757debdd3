// The lens's context menu, the About box and its link, used as a person uses them: the built
// program under a private Xvfb with openbox, real keys and clicks through XTest, judged by
// screenshots and by what a recording xdg-open on PATH was asked to open.
#include "lens/lens_geometry.h"
#include "tests/program/program_support.h"
#include "tests/xharness/xharness.h"

// gtest before Xlib: Xlib's macros (None, Bool, Status) break gtest's headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef LENTI_PATH
#error "LENTI_PATH must name the built lenti"
#endif

using namespace program_support;

namespace {

constexpr const char* kLensTitle = "Lenticor";
constexpr const char* kBoxTitle = "LENTICOR";
constexpr const char* kSupportPage = "https://lenticor.example.org/";
// Long enough for a sanitizer build of a Qt program on a busy machine.
constexpr int kStartMs = 20000;
constexpr int kSettleMs = 10000;
// How long something that must not happen is given to happen anyway.
constexpr int kQuietMs = 600;

// The link's place in the About box's client area, and the OK button's.
constexpr int kLinkLeft = 43, kLinkTop = 97, kLinkWidth = 179, kLinkHeight = 18;
constexpr int kOkCentreX = 96 + 75 / 2, kOkCentreY = 123 + 25 / 2;
// The hand cursor's hot spot, the tip of the pointing finger.
constexpr int kHandHotX = 7, kHandHotY = 1;

// Screen colours, 0xRRGGBB as the screenshots give them.
constexpr std::uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0xFF0000, kPaleRed = 0xFF8080,
                        kGreen = 0x008000, kLime = 0x00FF00, kBlue = 0x0000FF, kAqua = 0x00FFFF;

const char* Name(LensCorner c) {
    static const char* const names[] = {"TopLeft", "BottomLeft", "BottomRight", "TopRight"};
    return names[static_cast<int>(c) & 3];
}

std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The corner whose tip belongs to the window's shape, when exactly one does. The pixel looked
// at lies 2 pixels in from the very corner along the diagonal: the shape leaves out the
// triangle's right and bottom edges, and so the corner pixel itself on the far sides.
std::optional<LensCorner> TipCorner(const std::vector<std::array<int, 4>>& rects, int s) {
    const struct { LensCorner c; int x, y; } corners[] = {{LensCorner::TopLeft, 2, 2},
                                                          {LensCorner::BottomLeft, 2, s - 3},
                                                          {LensCorner::BottomRight, s - 3, s - 3},
                                                          {LensCorner::TopRight, s - 3, 2}};
    std::optional<LensCorner> found;
    for (const auto& k : corners) {
        if (!InShape(rects, k.x, k.y)) continue;
        if (found) return std::nullopt;
        found = k.c;
    }
    return found;
}

std::string DescribeTip(const std::vector<std::array<int, 4>>& rects, int s) {
    if (rects.empty()) return "no shape";
    const std::optional<LensCorner> c = TipCorner(rects, s);
    return c ? Name(*c) : "no single corner in the shape";
}

// What the lens's settings should show.
struct LensState {
    int size;
    int zoom;
    LensCorner corner;
};

std::string Describe(const LensState& s) {
    return std::to_string(s.size) + " pixels, x" + std::to_string(s.zoom) + ", tip " + Name(s.corner);
}

// Walking inward from the middle of each side: the dark rim, then its light halo, then neither.
::testing::AssertionResult RimIs(const xh::Image& img, std::uint32_t dark, std::uint32_t light) {
    const int s = img.width, mid = s / 2;
    const struct { const char* side; int x, y, dx, dy; } sides[] = {
        {"top", mid, 0, 0, 1}, {"left", 0, mid, 1, 0}, {"bottom", mid, s - 2, 0, -1}, {"right", s - 2, mid, -1, 0}};
    std::string wrong;
    for (const auto& side : sides) {
        const std::vector<std::uint32_t> runs = Runs(img, side.x, side.y, side.dx, side.dy, 16);
        const bool ok = runs.size() >= 3 && runs[0] == dark && runs[1] == light && runs[2] != dark && runs[2] != light;
        if (ok) continue;
        wrong += std::string(" ") + side.side + ":";
        for (std::uint32_t r : runs) wrong += " " + Hex(r);
        wrong += ";";
    }
    if (wrong.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "want rim " << Hex(dark) << " with halo " << Hex(light)
                                         << ", colours walking inward:" << wrong;
}

// Pixels that differ between two pictures of the lens at g, leaving out those where the lens
// sees itself.
int Differences(const xh::Image& a, const xh::Image& b, const xh::Client::Geometry& g, LensCorner c, int zoom,
                std::string* first) {
    const TPoint src = CaptureSquare(g.x, g.y, g.width, g.width / zoom, c);
    int n = 0;
    for (int j = 0; j < a.height; ++j)
        for (int i = 0; i < a.width; ++i) {
            if (SeesItself(g, src, zoom, i, j) || a.At(i, j) == b.At(i, j)) continue;
            if (n++ == 0 && first)
                *first = "(" + std::to_string(i) + ", " + std::to_string(j) + ") was " + Hex(a.At(i, j)) + ", is " +
                         Hex(b.At(i, j));
        }
    return n;
}

// The pixels of the central disc, well away from the rim, where the lens does not see itself.
std::vector<std::uint32_t> PictureDisc(const xh::Image& img, const xh::Client::Geometry& g, LensCorner c, int zoom) {
    const int s = g.width;
    const TPoint src = CaptureSquare(g.x, g.y, s, s / zoom, c);
    const double centre = (s - 1) / 2.0, radius = s / 2.0 - 14;
    std::vector<std::uint32_t> disc;
    for (int j = 0; j < s; ++j)
        for (int i = 0; i < s; ++i)
            if ((i - centre) * (i - centre) + (j - centre) * (j - centre) <= radius * radius &&
                !SeesItself(g, src, zoom, i, j))
                disc.push_back(img.At(i, j));
    return disc;
}

int CountColour(const xh::Image& img, std::uint32_t colour) {
    return static_cast<int>(std::count(img.pixels.begin(), img.pixels.end(), colour));
}

// A directory of the test's own, with a recording xdg-open in bin/ and nothing in empty/.
class Scratch {
public:
    Scratch() {
        char tmpl[] = "/tmp/test_menu_about.XXXXXX";
        if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
        root_ = tmpl;
        std::filesystem::create_directory(root_ + "/bin");
        std::filesystem::create_directory(root_ + "/empty");
        const std::string opener = root_ + "/bin/xdg-open";
        {
            std::ofstream out(opener);
            out << "#!/bin/sh\n"
                   "# Records each argument on a line of its own.\n"
                   "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '"
                << Record() << "'; done\n";
        }
        ::chmod(opener.c_str(), 0755);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Record() const { return root_ + "/opened.txt"; }
    std::string WithOpener() const { return root_ + "/bin"; }
    std::string WithoutOpener() const { return root_ + "/empty"; }

private:
    std::string root_;
};

class MenuAbout : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<xh::Xvfb>(kScreenW, kScreenH);
        wm_ = std::make_unique<xh::WindowManager>(server_->Display());
        x_ = std::make_unique<xh::Client>(server_->Display());
        x_->SetRootPicture();
        scratch_ = std::make_unique<Scratch>();
    }

    void TearDown() override {
        if (HasFailure()) SaveScreenshot();
        if (lenti_) {
            const std::vector<std::string> lines = UnexpectedLines(lenti_->Stderr());
            EXPECT_TRUE(lines.empty()) << "lenti's standard error:" << Joined(lines);
        }
        lenti_.reset();
        for (unsigned long w : own_windows_) XDestroyWindow(x_->Dpy(), w);
        XSync(x_->Dpy(), False);
        x_.reset();
        wm_.reset();
        server_.reset();
        scratch_.reset();
    }

    void SaveScreenshot() {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::string path = "/tmp/test_menu_about_" + name + ".png";
        if (x_->Grab(0, 0, kScreenW, kScreenH).SavePng(path)) std::fprintf(stderr, "screenshot: %s\n", path.c_str());
    }

    // Starts lenti with the recording xdg-open first on PATH, or with no xdg-open at all, and
    // waits for the lens; returns its window.
    unsigned long StartLens(bool withOpener = true) {
        const char* path = std::getenv("PATH");
        const std::string search = withOpener ? scratch_->WithOpener() + ":" + (path ? path : "/usr/bin:/bin")
                                              : scratch_->WithoutOpener();
        lenti_ = std::make_unique<xh::Process>(
            std::vector<std::string>{LENTI_PATH},
            std::vector<std::string>{"DISPLAY=" + server_->Display(), "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=",
                                     "PATH=" + search});
        unsigned long lens = 0;
        const bool shown = xh::WaitUntil(
            [&] {
                lens = Viewable(kLensTitle);
                return lens != 0 || !lenti_->Running();
            },
            kStartMs);
        if (!shown || lens == 0)
            ADD_FAILURE() << "the lens did not appear; lenti " << (lenti_->Running() ? "is still running" : "has ended")
                          << ", standard error:" << Joined(UnexpectedLines(lenti_->Stderr()));
        return lens;
    }

    // The viewable window with this title, or 0.
    unsigned long Viewable(const std::string& title) {
        for (unsigned long w : x_->FindWindowsByTitle(title)) {
            try {
                if (x_->WindowGeometry(w).mapped) return w;
            } catch (const std::runtime_error&) {   // gone while we looked
            }
        }
        return 0;
    }

    bool Shown(unsigned long w) {
        try {
            return x_->WindowGeometry(w).mapped;
        } catch (const std::runtime_error&) {
            return false;
        }
    }

    // The mapped override-redirect windows on the root: the menus.
    int OpenMenus() {
        ::Display* d = x_->Dpy();
        int found = 0;
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n) && kids) {
            for (unsigned k = 0; k < n; ++k) {
                XWindowAttributes a{};
                // openbox keeps a mapped 1 x 1 window of its own off the screen.
                if (XGetWindowAttributes(d, kids[k], &a) && a.override_redirect && a.map_state == IsViewable &&
                    a.width > 1 && a.height > 1)
                    ++found;
            }
            XFree(kids);
        }
        xh::TakeXErrors();   // a window that vanished between the two requests
        return found;
    }

    // The windows a window manager manages or a program shows on the root, for spotting a new one.
    std::set<unsigned long> ViewableTopLevels() {
        ::Display* d = x_->Dpy();
        std::set<unsigned long> found;
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n) && kids) {
            for (unsigned k = 0; k < n; ++k) {
                XWindowAttributes a{};
                if (XGetWindowAttributes(d, kids[k], &a) && a.map_state == IsViewable && a.width > 1 && a.height > 1)
                    found.insert(kids[k]);
            }
            XFree(kids);
        }
        xh::TakeXErrors();
        return found;
    }

    // Right-click at (px, py), then the keys in turn. A key in opening opens a submenu, and the
    // next key waits for it.
    ::testing::AssertionResult Menu(int px, int py, const std::vector<std::string>& keys,
                                    const std::set<std::string>& opening = {"r", "c"}) {
        if (OpenMenus() != 0) return ::testing::AssertionFailure() << "a menu is open already";
        x_->MovePointer(px, py);
        x_->Click(3);
        if (!xh::WaitUntil([&] { return OpenMenus() == 1; }, kSettleMs))
            return ::testing::AssertionFailure() << "no menu after a right-click at (" << px << ", " << py << ")";
        int open = 1;
        for (const std::string& key : keys) {
            x_->KeyTap(key);
            if (!opening.count(key)) continue;
            if (!xh::WaitUntil([&] { return OpenMenus() == open + 1; }, kSettleMs))
                return ::testing::AssertionFailure() << "key \"" << key << "\" opened no submenu";
            ++open;
        }
        return ::testing::AssertionSuccess();
    }

    // Chooses an item by keys and waits until every menu has gone.
    ::testing::AssertionResult Choose(unsigned long lens, const std::vector<std::string>& keys) {
        const xh::Client::Geometry g = x_->WindowGeometry(lens);
        ::testing::AssertionResult opened = Menu(g.x + g.width / 2, g.y + g.height / 2, keys);
        if (!opened) return opened;
        if (!xh::WaitUntil([&] { return OpenMenus() == 0; }, kSettleMs))
            return ::testing::AssertionFailure() << "the menu stayed open after the keys";
        return ::testing::AssertionSuccess();
    }

    // Waits until the lens at its place shows state, then reports what differs.
    ::testing::AssertionResult LensShows(unsigned long lens, const LensState& want, int left, int top) {
        xh::Client::Geometry g{};
        const auto matches = [&] {
            g = x_->WindowGeometry(lens);
            return g.mapped && g.width == want.size && g.height == want.size && g.x == left && g.y == top &&
                   TipCorner(x_->ShapeRects(lens), g.width) == want.corner &&
                   ShowsMagnified(*x_, g, want.corner, want.zoom);
        };
        if (xh::WaitUntil(matches, kSettleMs)) return ::testing::AssertionSuccess();
        ::testing::AssertionResult r = ::testing::AssertionFailure();
        r << "want " << Describe(want) << " at (" << left << ", " << top << "); the window is " << g.width << "x"
          << g.height << " at (" << g.x << ", " << g.y << ")" << (g.mapped ? "" : ", not viewable")
          << ", outline tip: " << DescribeTip(x_->ShapeRects(lens), g.width);
        if (g.width == want.size && g.height == want.size) r << "; picture: " << ShowsMagnified(*x_, g, want.corner, want.zoom).message();
        return r;
    }

    xh::Image GrabWindow(unsigned long w) {
        const xh::Client::Geometry g = x_->WindowGeometry(w);
        return x_->Grab(g.x, g.y, g.width, g.height);
    }

    // ICCCM WM_STATE of a client window: 1 normal, 3 iconic, 0 when it has none.
    long WmState(unsigned long w) {
        ::Display* d = x_->Dpy();
        const Atom wmState = XInternAtom(d, "WM_STATE", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        long state = 0;
        if (XGetWindowProperty(d, w, wmState, 0, 2, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
                Success &&
            data && format == 32 && count >= 1)
            state = reinterpret_cast<long*>(data)[0];
        if (data) XFree(data);
        xh::TakeXErrors();
        return state;
    }

    // Asks the window manager to activate a window, as a taskbar does.
    void Activate(unsigned long w) {
        ::Display* d = x_->Dpy();
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2;   // from a pager or taskbar
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(d, False);
    }

    // What the caption's close box does: WM_DELETE_WINDOW to the client.
    void RequestClose(unsigned long w) {
        ::Display* d = x_->Dpy();
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &e);
        XSync(d, False);
    }

    // The outer top-left corner of the frame the window manager put round w (w itself when it
    // has none).
    TPoint FrameOrigin(unsigned long w) {
        ::Display* d = x_->Dpy();
        Window top = w;
        for (;;) {
            Window root = 0, parent = 0, *kids = nullptr;
            unsigned n = 0;
            if (!XQueryTree(d, top, &root, &parent, &kids, &n)) break;
            if (kids) XFree(kids);
            if (parent == root || parent == 0) break;
            top = parent;
        }
        XWindowAttributes a{};
        XGetWindowAttributes(d, top, &a);
        return {a.x, a.y};
    }

    // Drags the lens by its centre so that its top-left corner ends at (left, top).
    ::testing::AssertionResult DragLensTo(unsigned long lens, int left, int top) {
        const xh::Client::Geometry g = x_->WindowGeometry(lens);
        const int grabX = g.width / 2, grabY = g.height / 2;
        int px = g.x + grabX, py = g.y + grabY;
        x_->MovePointer(px, py);
        x_->Press(1);
        while (px != left + grabX || py != top + grabY) {
            px += std::clamp(left + grabX - px, -10, 10);
            py += std::clamp(top + grabY - py, -10, 10);
            x_->MovePointer(px, py);
        }
        x_->Release(1);
        xh::Client::Geometry now{};
        if (xh::WaitUntil([&] {
                now = x_->WindowGeometry(lens);
                return now.x == left && now.y == top;
            }, kSettleMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "dragged lens at (" << now.x << ", " << now.y << "), want (" << left
                                             << ", " << top << ")";
    }

    // Opens the About box from the lens's menu; returns the box's window.
    unsigned long OpenAbout(unsigned long lens) {
        EXPECT_TRUE(Choose(lens, {"a"}));
        unsigned long box = 0;
        const bool shown = xh::WaitUntil([&] { return (box = Viewable(kBoxTitle)) != 0 && !Shown(lens); }, kSettleMs);
        EXPECT_TRUE(shown) << "after About: box " << (box ? "viewable" : "not viewable") << ", lens "
                           << (Shown(lens) ? "still viewable" : "hidden");
        return box;
    }

    // The current pointer image: its size, hot spot and serial.
    struct PointerImage {
        int width = 0, height = 0, xhot = -1, yhot = -1;
        unsigned long serial = 0;
    };
    std::optional<PointerImage> Pointer() {
        int eventBase = 0, errorBase = 0;
        if (!XFixesQueryExtension(x_->Dpy(), &eventBase, &errorBase)) return std::nullopt;
        XFixesCursorImage* img = XFixesGetCursorImage(x_->Dpy());
        if (!img) return std::nullopt;
        PointerImage p{img->width, img->height, img->xhot, img->yhot, img->cursor_serial};
        XFree(img);
        return p;
    }

    std::unique_ptr<xh::Xvfb> server_;
    std::unique_ptr<xh::WindowManager> wm_;
    std::unique_ptr<xh::Client> x_;
    std::unique_ptr<Scratch> scratch_;
    std::unique_ptr<xh::Process> lenti_;
    std::vector<unsigned long> own_windows_;
};

constexpr int kStartLeft = (kScreenW - 180) / 2, kStartTop = (kScreenH - 180) / 2;

TEST_F(MenuAbout, AccessKeysSetSizeZoomAndCorner) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    ASSERT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));

    // Each step starts from where the one before left the lens. The window keeps its top-left
    // corner through every change of size and corner.
    const struct {
        const char* item;
        std::vector<std::string> keys;
        LensState want;
    } steps[] = {
        {"Large (&L)", {"l"}, {270, 3, LensCorner::TopLeft}},
        {"Small (&S)", {"s"}, {120, 3, LensCorner::TopLeft}},
        {"Medium (&M)", {"m"}, {180, 3, LensCorner::TopLeft}},
        {"x 5 Zoom (&5)", {"5"}, {180, 5, LensCorner::TopLeft}},
        {"x 2 Zoom (&2)", {"2"}, {180, 2, LensCorner::TopLeft}},
        {"Rotate, TopRight (&4)", {"r", "4"}, {180, 2, LensCorner::TopRight}},
        {"Large (&L) with the tip top-right", {"l"}, {270, 2, LensCorner::TopRight}},
        {"x 5 Zoom (&5) at 270", {"5"}, {270, 5, LensCorner::TopRight}},
        {"Rotate, BottomLeft (&2)", {"r", "2"}, {270, 5, LensCorner::BottomLeft}},
        // BottomRight has no access key, but the arrow keys reach it: the submenu opens with
        // its first item active.
        {"Rotate, BottomRight (3) by the arrow keys", {"r", "Down", "Down", "Return"}, {270, 5, LensCorner::BottomRight}},
        {"Rotate, TopLeft (&1)", {"r", "1"}, {270, 5, LensCorner::TopLeft}},
        {"x 3 Zoom (&3)", {"3"}, {270, 3, LensCorner::TopLeft}},
        {"Medium (&M) again", {"m"}, {180, 3, LensCorner::TopLeft}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.item);
        ASSERT_TRUE(Choose(lens, step.keys));
        EXPECT_TRUE(LensShows(lens, step.want, kStartLeft, kStartTop));
    }
}

TEST_F(MenuAbout, BottomRightHasNoAccessKey) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    ASSERT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    const xh::Image before = GrabWindow(lens);

    // "3" matches no item of the Rotate submenu, and the "3" of the main menu's x 3 Zoom is not
    // reached through it: Qt keeps both menus open and chooses nothing.
    ASSERT_TRUE(Menu(kStartLeft + 90, kStartTop + 90, {"r", "3"}));
    EXPECT_FALSE(xh::WaitUntil([&] { return OpenMenus() != 2; }, kQuietMs))
        << "after \"3\" in the Rotate submenu " << OpenMenus() << " menus are open, want both still open";
    x_->KeyTap("Escape");
    x_->KeyTap("Escape");
    ASSERT_TRUE(xh::WaitUntil([&] { return OpenMenus() == 0; }, kSettleMs)) << "two Escapes left a menu open";

    EXPECT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    const xh::Client::Geometry g = x_->WindowGeometry(lens);
    std::string first;
    EXPECT_TRUE(xh::WaitUntil([&] { return Differences(before, GrabWindow(lens), g, LensCorner::TopLeft, 3, &first) == 0; },
                              kSettleMs))
        << Differences(before, GrabWindow(lens), g, LensCorner::TopLeft, 3, &first) << " pixels changed; first "
        << first;
}

TEST_F(MenuAbout, ColourItemsChangeTheRimAndNothingElse) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    ASSERT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    const xh::Client::Geometry g = x_->WindowGeometry(lens);
    EXPECT_TRUE(RimIs(GrabWindow(lens), kBlack, kWhite)) << "at start";
    const std::vector<std::uint32_t> picture = PictureDisc(GrabWindow(lens), g, LensCorner::TopLeft, 3);

    // The Color submenu opens with Black active; its items have no access keys.
    const struct {
        const char* item;
        std::vector<std::string> keys;
        std::uint32_t dark, light;
    } colours[] = {
        {"Red", {"c", "Down", "Return"}, kRed, kPaleRed},
        {"Green", {"c", "Down", "Down", "Return"}, kGreen, kLime},
        {"Red again", {"c", "Down", "Return"}, kRed, kPaleRed},
        {"Black", {"c", "Return"}, kBlack, kWhite},
    };
    for (const auto& c : colours) {
        SCOPED_TRACE(c.item);
        ASSERT_TRUE(Choose(lens, c.keys));
        EXPECT_TRUE(xh::WaitUntil([&] { return static_cast<bool>(RimIs(GrabWindow(lens), c.dark, c.light)); }, kSettleMs));
        const xh::Image img = GrabWindow(lens);
        EXPECT_TRUE(RimIs(img, c.dark, c.light));
        const std::vector<std::uint32_t> now = PictureDisc(img, g, LensCorner::TopLeft, 3);
        ASSERT_EQ(now.size(), picture.size());
        const auto changed = std::mismatch(picture.begin(), picture.end(), now.begin());
        EXPECT_TRUE(changed.first == picture.end())
            << "the picture inside the rim changed: pixel " << (changed.first - picture.begin()) << " of the disc was "
            << Hex(*changed.first) << ", is " << Hex(*changed.second);
        EXPECT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    }
}

TEST_F(MenuAbout, EscapeClosesTheMenuAndChangesNothing) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    ASSERT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    const xh::Image before = GrabWindow(lens);

    ASSERT_TRUE(Menu(kStartLeft + 90, kStartTop + 90, {}));
    x_->KeyTap("Escape");
    ASSERT_TRUE(xh::WaitUntil([&] { return OpenMenus() == 0; }, kSettleMs)) << "Escape left the menu open";

    // Where the menu lay the lens paints again; then it is what it was, pixel for pixel.
    int changed = 0;
    std::string first;
    const xh::Client::Geometry g = x_->WindowGeometry(lens);
    const bool same = xh::WaitUntil(
        [&] {
            const xh::Image now = GrabWindow(lens);
            changed = 0;
            for (std::size_t k = 0; k < now.pixels.size(); ++k)
                if (now.pixels[k] != before.pixels[k] && changed++ == 0)
                    first = "(" + std::to_string(k % now.width) + ", " + std::to_string(k / now.width) + ") was " +
                            Hex(before.pixels[k]) + ", is " + Hex(now.pixels[k]);
            return changed == 0;
        },
        kSettleMs);
    EXPECT_TRUE(same) << changed << " pixels of the lens changed; first " << first;
    EXPECT_EQ(g.x, kStartLeft);
    EXPECT_EQ(g.y, kStartTop);
    EXPECT_EQ(g.width, 180);
}

TEST_F(MenuAbout, MinimizeHidesTheLensAndRestoringBringsItBackUnchanged) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    const LensState state{270, 5, LensCorner::TopRight};
    for (const std::vector<std::string>& keys : {std::vector<std::string>{"l"}, {"5"}, {"r", "4"}, {"c", "Down", "Down", "Return"}})
        ASSERT_TRUE(Choose(lens, keys)) << keys.front();
    ASSERT_TRUE(LensShows(lens, state, kStartLeft, kStartTop));
    ASSERT_TRUE(xh::WaitUntil([&] { return static_cast<bool>(RimIs(GrabWindow(lens), kGreen, kLime)); }, kSettleMs))
        << RimIs(GrabWindow(lens), kGreen, kLime).message();
    const xh::Client::Geometry g = x_->WindowGeometry(lens);
    const xh::Image before = GrabWindow(lens);

    ASSERT_TRUE(Choose(lens, {"n"}));
    EXPECT_TRUE(xh::WaitUntil([&] { return WmState(lens) == IconicState || !Shown(lens); }, kSettleMs))
        << "after Minimize the lens has WM_STATE " << WmState(lens) << " and is "
        << (Shown(lens) ? "viewable" : "not viewable");
    // Where the lens was, the root shows.
    const int cx = g.x + g.width / 2, cy = g.y + g.height / 2;
    EXPECT_TRUE(xh::WaitUntil([&] { return x_->Grab(cx, cy, 1, 1).At(0, 0) == xh::PatternPixel(cx, cy); }, kSettleMs))
        << "the screen at the lens's centre shows " << Hex(x_->Grab(cx, cy, 1, 1).At(0, 0)) << ", want the root's "
        << Hex(xh::PatternPixel(cx, cy));

    Activate(lens);
    ASSERT_TRUE(xh::WaitUntil([&] { return Shown(lens) && WmState(lens) == NormalState; }, kSettleMs))
        << "after activation the lens has WM_STATE " << WmState(lens) << " and is "
        << (Shown(lens) ? "viewable" : "not viewable");
    EXPECT_TRUE(LensShows(lens, state, g.x, g.y));
    int changed = 0;
    std::string first;
    EXPECT_TRUE(xh::WaitUntil(
        [&] { return (changed = Differences(before, GrabWindow(lens), g, state.corner, state.zoom, &first)) == 0; },
        kSettleMs))
        << changed << " pixels differ from the lens before Minimize; first " << first;
}

TEST_F(MenuAbout, StaysAboveAnOrdinaryWindow) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    ASSERT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));
    const xh::Image lensBefore = GrabWindow(lens);

    // A plain window over the lens's lower right half, placed where asked and raised.
    constexpr std::uint32_t kCover = 0x3366CC;
    ::Display* d = x_->Dpy();
    const int wx = kStartLeft + 60, wy = kStartTop + 60;
    const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), wx, wy, 300, 300, 0, 0, kCover);
    own_windows_.push_back(cover);
    XStoreName(d, cover, "cover");
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = wx;
    hints.y = wy;
    hints.width = hints.height = 300;
    XSetWMNormalHints(d, cover, &hints);
    XMapRaised(d, cover);
    XSync(d, False);
    ASSERT_TRUE(xh::WaitUntil([&] { return Shown(cover); }, kSettleMs)) << "the cover window was not mapped";
    XRaiseWindow(d, cover);
    XSync(d, False);

    // The cover is there, beside the lens ...
    const int px = kStartLeft + 220, py = kStartTop + 220;
    ASSERT_TRUE(xh::WaitUntil([&] { return x_->Grab(px, py, 1, 1).At(0, 0) == kCover; }, kSettleMs))
        << "at (" << px << ", " << py << ") the screen shows " << Hex(x_->Grab(px, py, 1, 1).At(0, 0))
        << ", not the cover window";
    // ... and under it: where both lie, the lens's own pixels show.
    const xh::Image now = GrabWindow(lens);
    int covered = 0, checked = 0;
    std::string first;
    for (int j = 70; j < 150; ++j)
        for (int i = 70; i < 150; ++i) {
            ++checked;
            if (now.At(i, j) != lensBefore.At(i, j) && covered++ == 0)
                first = "(" + std::to_string(i) + ", " + std::to_string(j) + ") shows " + Hex(now.At(i, j)) +
                        ", was " + Hex(lensBefore.At(i, j));
        }
    EXPECT_EQ(covered, 0) << covered << " of " << checked << " lens pixels under the cover changed; first " << first;
    EXPECT_TRUE(Shown(lens));
}

TEST_F(MenuAbout, AboutBoxOpensWhereTheLensWasAndGivesItBack) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    // The picture is not judged after the drag: the window manager carries out the moves a
    // little later, so the last copy of the screen may show the lens where it was a moment ago.
    ASSERT_TRUE(DragLensTo(lens, 500, 400));

    const struct {
        const char* how;
        bool byReturn;
    } closings[] = {{"OK by Return", true}, {"the caption's close box", false}};
    for (const auto& closing : closings) {
        SCOPED_TRACE(closing.how);
        const unsigned long box = OpenAbout(lens);
        ASSERT_NE(box, 0u);
        EXPECT_EQ(x_->WindowTitle(box), kBoxTitle);
        const xh::Client::Geometry bg = x_->WindowGeometry(box);
        EXPECT_EQ(bg.width, 263);
        EXPECT_EQ(bg.height, 159);
        // The box's Left and Top are the lens's. They name the frame's corner; Qt may place the
        // client there while it does not know the frame yet, so (500, 400) is only required to
        // lie between the frame's outer corner and the client's.
        const TPoint frame = FrameOrigin(box);
        EXPECT_TRUE(frame.X <= 500 && 500 <= bg.x && frame.Y <= 400 && 400 <= bg.y)
            << "frame at (" << frame.X << ", " << frame.Y << "), client at (" << bg.x << ", " << bg.y
            << "); want (500, 400) between them";
        EXPECT_FALSE(Shown(lens)) << "the lens shows together with the About box";

        if (closing.byReturn) x_->KeyTap("Return");
        else RequestClose(box);
        EXPECT_TRUE(xh::WaitUntil([&] { return !Shown(box) && Shown(lens); }, kSettleMs))
            << "box " << (Shown(box) ? "still viewable" : "closed") << ", lens "
            << (Shown(lens) ? "viewable" : "not viewable");
        EXPECT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, 500, 400));
        ASSERT_TRUE(lenti_->Running());
    }
    EXPECT_TRUE(LinesOf(scratch_->Record()).empty()) << "something was opened without the link being pressed";
}

TEST_F(MenuAbout, LinkChangesColourWithThePointerAndOpensThePageOnThePress) {
    const unsigned long lens = StartLens();
    ASSERT_NE(lens, 0u);
    const unsigned long box = OpenAbout(lens);
    ASSERT_NE(box, 0u);
    const xh::Client::Geometry bg = x_->WindowGeometry(box);
    // The label sizes itself to its text; the area is a little larger than the stored size.
    const int lx = bg.x + kLinkLeft, ly = bg.y + kLinkTop;
    const auto link = [&] { return x_->Grab(lx, ly, kLinkWidth + 20, kLinkHeight + 4); };
    ASSERT_TRUE(xh::WaitUntil([&] { return CountColour(link(), kBlue) > 0; }, kSettleMs)) << "no blue link text";
    const int text = CountColour(link(), kBlue);
    EXPECT_GT(text, 100) << "too few blue pixels for the link's text";

    // The text's fully covered pixels take each colour in turn; no pixel keeps the old one.
    const auto showsOnly = [&](std::uint32_t colour) {
        return xh::WaitUntil(
            [&] {
                const xh::Image img = link();
                int others = 0;
                for (std::uint32_t c : {kBlue, kAqua, kRed})
                    if (c != colour) others += CountColour(img, c);
                return CountColour(img, colour) == text && others == 0;
            },
            kSettleMs);
    };
    const auto counts = [&] {
        const xh::Image img = link();
        return "blue " + std::to_string(CountColour(img, kBlue)) + ", aqua " + std::to_string(CountColour(img, kAqua)) +
               ", red " + std::to_string(CountColour(img, kRed)) + " (text " + std::to_string(text) + ")";
    };

    // The pointer's image comes through XFixes: over the link it is the hand.
    const std::optional<PointerImage> outside = Pointer();
    ASSERT_TRUE(outside) << "the X server has no XFIXES extension";
    x_->MovePointer(lx + 60, ly + 9);
    EXPECT_TRUE(showsOnly(kAqua)) << "hovering: " << counts();
    std::optional<PointerImage> hand;
    EXPECT_TRUE(xh::WaitUntil([&] { return (hand = Pointer()) && hand->serial != outside->serial; }, kSettleMs))
        << "the pointer's image did not change over the link";
    ASSERT_TRUE(hand);
    EXPECT_EQ(hand->width, 32);
    EXPECT_EQ(hand->height, 32);
    EXPECT_EQ(hand->xhot, kHandHotX);
    EXPECT_EQ(hand->yhot, kHandHotY);

    // The page opens while the button is still down.
    x_->Press(1);
    EXPECT_TRUE(showsOnly(kRed)) << "pressed: " << counts();
    EXPECT_TRUE(xh::WaitUntil([&] { return !LinesOf(scratch_->Record()).empty(); }, kSettleMs))
        << "xdg-open was not run on the press";
    x_->Release(1);
    EXPECT_TRUE(showsOnly(kAqua)) << "released over the link: " << counts();

    x_->MovePointer(bg.x + 20, bg.y + 140);
    EXPECT_TRUE(showsOnly(kBlue)) << "moved away: " << counts();
    EXPECT_TRUE(xh::WaitUntil([&] { const auto p = Pointer(); return p && p->serial != hand->serial; }, kSettleMs))
        << "the hand stayed after the pointer left the link";

    // One run with one argument: the page, exactly. The release and click opened nothing more.
    EXPECT_FALSE(xh::WaitUntil([&] { return LinesOf(scratch_->Record()).size() > 1; }, kQuietMs));
    const std::vector<std::string> opened = LinesOf(scratch_->Record());
    EXPECT_EQ(opened, std::vector<std::string>{kSupportPage}) << "xdg-open's arguments:" << Joined(opened);

    x_->MovePointer(bg.x + kOkCentreX, bg.y + kOkCentreY);
    x_->Click(1);
    EXPECT_TRUE(xh::WaitUntil([&] { return !Shown(box) && Shown(lens); }, kSettleMs))
        << "OK did not bring the lens back";
}

TEST_F(MenuAbout, LinkWithoutAnOpenerShowsNothingAndTheProgramGoesOn) {
    const unsigned long lens = StartLens(false);
    ASSERT_NE(lens, 0u);
    const unsigned long box = OpenAbout(lens);
    ASSERT_NE(box, 0u);
    const xh::Client::Geometry bg = x_->WindowGeometry(box);
    const int lx = bg.x + kLinkLeft, ly = bg.y + kLinkTop;
    ASSERT_TRUE(xh::WaitUntil([&] { return CountColour(x_->Grab(lx, ly, kLinkWidth + 20, kLinkHeight + 4), kBlue) > 0; },
                              kSettleMs));
    const std::set<unsigned long> windows = ViewableTopLevels();

    x_->MovePointer(lx + 60, ly + 9);
    x_->Press(1);
    // The press has been handled once the text is red.
    EXPECT_TRUE(xh::WaitUntil([&] { return CountColour(x_->Grab(lx, ly, kLinkWidth + 20, kLinkHeight + 4), kRed) > 0; },
                              kSettleMs));
    x_->Release(1);
    std::set<unsigned long> now;
    EXPECT_FALSE(xh::WaitUntil([&] { return (now = ViewableTopLevels()) != windows; }, kQuietMs))
        << "the windows on the screen changed after a failed open: " << windows.size() << " before, " << now.size()
        << " after";
    EXPECT_TRUE(lenti_->Running());

    x_->MovePointer(bg.x + kOkCentreX, bg.y + kOkCentreY);
    x_->Click(1);
    EXPECT_TRUE(xh::WaitUntil([&] { return !Shown(box) && Shown(lens); }, kSettleMs))
        << "OK did not close the box after the failed open";
    EXPECT_TRUE(LensShows(lens, {180, 3, LensCorner::TopLeft}, kStartLeft, kStartTop));

    // And the program still ends as it should.
    ASSERT_TRUE(Choose(lens, {"x"}));
    int status = -1;
    ASSERT_NO_THROW(status = lenti_->Wait(kSettleMs)) << "lenti did not end after Close";
    EXPECT_EQ(status, 0);
}

}  // namespace
