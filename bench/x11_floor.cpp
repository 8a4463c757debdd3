#include "bench/x11_floor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>

#include "tests/xharness/xharness.h"

namespace floorbench {

void Sync(::Display* dpy) { XSync(dpy, False); }

Floor::Floor(const std::string& display, int x, int y, int s, int z) : s_(s), z_(z) {
    dpy_ = XOpenDisplay(display.c_str());
    if (!dpy_) {
        error_ = "cannot connect to " + display;
        return;
    }
    const int screen = DefaultScreen(dpy_);
    window_ = XCreateSimpleWindow(dpy_, RootWindow(dpy_, screen), x, y, static_cast<unsigned>(s),
                                  static_cast<unsigned>(s), 0, 0, 0);
    XMapWindow(dpy_, window_);
    XSync(dpy_, False);
    const bool shown = xh::WaitUntil([&] {
        XWindowAttributes a{};
        return XGetWindowAttributes(dpy_, window_, &a) && a.map_state == IsViewable;
    });
    gc_ = XCreateGC(dpy_, window_, 0, nullptr);
    const std::size_t bytes = static_cast<std::size_t>(s) * static_cast<std::size_t>(s) * 4;
    XImage* out = XCreateImage(dpy_, DefaultVisual(dpy_, screen), static_cast<unsigned>(DefaultDepth(dpy_, screen)),
                               ZPixmap, 0, static_cast<char*>(std::calloc(bytes, 1)), static_cast<unsigned>(s),
                               static_cast<unsigned>(s), 32, 0);
    out_ = out;
    if (!shown) error_ = "the window did not show";
    else if (!out || out->bits_per_pixel != 32 || out->bytes_per_line != s * 4)
        error_ = "the screen has no 32-bit pixels";
}

Floor::~Floor() {
    if (!dpy_) return;
    if (out_) XDestroyImage(static_cast<XImage*>(out_));   // frees the pixels too
    if (gc_) XFreeGC(dpy_, static_cast<GC>(gc_));
    XDestroyWindow(dpy_, window_);
    XCloseDisplay(dpy_);
}

bool Floor::Frame(int squareX, int squareY) {
    const int q = s_ / z_;
    XImage* in = XGetImage(dpy_, DefaultRootWindow(dpy_), squareX, squareY, static_cast<unsigned>(q),
                           static_cast<unsigned>(q), AllPlanes, ZPixmap);
    if (!in) return false;
    if (in->bits_per_pixel != 32) {
        XDestroyImage(in);
        return false;
    }
    auto* out = static_cast<XImage*>(out_);
    for (int y = 0; y < s_; ++y) {
        const auto* src =
            reinterpret_cast<const std::uint32_t*>(in->data + static_cast<std::ptrdiff_t>(y / z_) * in->bytes_per_line);
        auto* dst = reinterpret_cast<std::uint32_t*>(out->data + static_cast<std::ptrdiff_t>(y) * out->bytes_per_line);
        for (int x = 0; x < s_; ++x) dst[x] = src[x / z_];
    }
    XPutImage(dpy_, window_, static_cast<GC>(gc_), out, 0, 0, 0, 0, static_cast<unsigned>(s_),
              static_cast<unsigned>(s_));
    XSync(dpy_, False);
    XDestroyImage(in);
    return true;
}

}  // namespace floorbench
