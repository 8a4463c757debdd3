// Xlib requests the harness's client does not offer, kept apart so that the Xlib macros stay
// out of the test files.
#pragma once

#include "tests/xharness/xharness.h"

namespace lenstest {

// Makes Xlib safe for connections used from several threads; call before any other Xlib call.
void UseXlibFromThreads();

// Gives the keyboard focus to a window, as a window manager does for a new dialog.
void FocusWindow(xh::Client& client, unsigned long window);

}  // namespace lenstest
