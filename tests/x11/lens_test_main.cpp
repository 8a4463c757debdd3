// Runs the lens window tests in this process against one private Xvfb of 1024 x 768 whose root
// shows the standard test picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/forms.h"
#include "platform/qt/qt_driver.h"
#include "tests/x11/lens_checks.h"
#include "tests/x11/x11_tools.h"
#include "tests/xharness/xharness.h"

namespace {

std::string g_display;

// The server outlives the window system's connection (Qt ends the process when its server goes
// away under it): main shuts the driver down before it returns, and the server goes with the
// static objects after that.
xh::Xvfb& Server() {
    static xh::Xvfb server(1024, 768);
    return server;
}

}  // namespace

namespace lenstest {
const std::string& TestDisplay() { return g_display; }
}  // namespace lenstest

int main(int argc, char** argv) {
    // The tests drive the display from a second thread too, each thread on its own connection.
    lenstest::UseXlibFromThreads();
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    try {
        g_display = Server().Display();
        setenv("DISPLAY", g_display.c_str(), 1);
        {
            xh::Client client(g_display);
            client.SetRootPicture(xh::PatternPixel);
        }
        Application->Initialize();
        Application->SetTitle("Lenticor");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot set up the X server for the lens tests: %s\n", e.what());
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    static_cast<QtDriver&>(backend::TheDriver()).Shutdown();
    return status;
}
