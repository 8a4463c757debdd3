#include "tests/x11/x11_tools.h"

#include <X11/Xlib.h>

namespace lenstest {

void UseXlibFromThreads() { XInitThreads(); }

void FocusWindow(xh::Client& client, unsigned long window) {
    XSetInputFocus(client.Dpy(), window, RevertToPointerRoot, CurrentTime);
    XSync(client.Dpy(), False);
}

}  // namespace lenstest
