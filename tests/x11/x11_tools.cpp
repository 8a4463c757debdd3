#include "tests/x11/x11_tools.h"

#include <X11/Xlib.h>

namespace lenstest {

void UseXlibFromThreads() { XInitThreads(); }

std::string GrabPointer(xh::Client& client) {
    ::Display* dpy = client.Dpy();
    const int status = XGrabPointer(dpy, DefaultRootWindow(dpy), False,
                                    ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                    GrabModeAsync, None, None, CurrentTime);
    XSync(dpy, False);
    switch (status) {
        case GrabSuccess: return {};
        case AlreadyGrabbed: return "AlreadyGrabbed";
        case GrabInvalidTime: return "GrabInvalidTime";
        case GrabNotViewable: return "GrabNotViewable";
        case GrabFrozen: return "GrabFrozen";
        default: return "status " + std::to_string(status);
    }
}

void UngrabPointer(xh::Client& client) {
    XUngrabPointer(client.Dpy(), CurrentTime);
    XSync(client.Dpy(), False);
}

void FocusWindow(xh::Client& client, unsigned long window) {
    XSetInputFocus(client.Dpy(), window, RevertToPointerRoot, CurrentTime);
    XSync(client.Dpy(), False);
}

}  // namespace lenstest
