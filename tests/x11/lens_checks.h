// What the lens window should show, worked out from its geometry alone, and comparisons of
// screenshots and window shapes with it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lens/lens_geometry.h"
#include "platform/gdi_geometry.h"
#include "platform/types.h"
#include "tests/xharness/xharness.h"

namespace lenstest {

// The X display every test of this binary runs on (set up by the test main).
const std::string& TestDisplay();

// Runs the application's messages; the pump for xh::WaitUntil.
void Pump();

// A TColor ($00BBGGRR) as the screen reports it (0xRRGGBB).
constexpr std::uint32_t ScreenRgb(TColor c) {
    return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) |
           static_cast<std::uint32_t>(GetBValue(c));
}

std::string Hex(std::uint32_t rgb);

// The window outline: the pointer triangle (winding rule) joined with the ellipse (0, 0, s-1, s-1).
gdi::PixelRegion Outline(int s, LensCorner c);

// The pixels covered by X shape rectangles {x, y, width, height}.
gdi::PixelRegion RegionOfRects(const std::vector<std::array<int, 4>>& rects);

// Compares two pixel sets over the square (-margin, -margin)-(s + margin, s + margin); names the
// number of pixels that differ and the first few.
::testing::AssertionResult SamePixels(const gdi::PixelRegion& actual, const gdi::PixelRegion& expected, int s,
                                      int margin = 4);

// Waits, running the application's messages, until the window's bounding shape covers exactly
// the outline of a lens of side s with its tip at c; the window system may take the new shape
// only once the application's requests have been flushed.
::testing::AssertionResult ShapeBecomes(xh::Client& client, unsigned long window, int s, LensCorner c,
                                        int timeout_ms = 5000);

// Distances from lens pixels to the rim stroke: the lines A-Tip and Tip-B and the arc of the
// ellipse in RimArcBox counter-clockwise from the ray through B to the ray through A. A point
// (x, y) of the stroke names the centre of pixel (x, y), as the pen of the original platform
// runs through pixel centres; so the arc box (1, 1)-(s-3, s-3), right and bottom excluded, is
// the circle through the centres of columns 1 and s-4.
class RimGeometry {
public:
    RimGeometry(int s, LensCorner c);
    double Distance(int x, int y) const;
    // Where the arc ends meet the lines, the end angles depend on where exactly the centre of
    // the arc box is taken (half a pixel either way); the bands are not checked there.
    bool NearArcEnd(int x, int y) const;

private:
    RimPoints rim_;
    double cx_, cy_, r_;
    double start_, span_;    // degrees, counter-clockwise on the screen
    double ends_[2][2];      // the arc's end points
};

// The state the lens is expected to be in: where it is and what it shows.
struct LensView {
    int left = 0, top = 0;
    int size = 180;
    int zoom = 3;
    LensCorner corner = LensCorner::TopLeft;
    RimScheme scheme = RimScheme::Black;
    bool screenReadFails = false;   // the picture is the maroon background
    int screenWidth = 1024, screenHeight = 768;
};

std::string Describe(const LensView& v);

// Checks a screenshot of the lens's square (grabbed at view.left, view.top, size x size):
// - inside the outline and more than 6 px from the rim path: the pixel that the capture square
//   and the enlargement put there; black where that source lies off the screen; not checked
//   where the source lies inside the lens window itself (the lens reads the screen as shown);
// - within 2 px of the rim path: the dark rim colour; 4 to 4.5 px away: the light colour;
// - outside the outline: the root picture.
// Pixels of the square that lie off the screen are not checked.
::testing::AssertionResult ShowsLens(const xh::Image& shot, const LensView& view);

// Grabs the lens's square until it shows `view` or the time is up, running the application's
// messages meanwhile. On failure the last screenshot is saved and its path named.
::testing::AssertionResult ScreenShowsLens(xh::Client& client, const LensView& view, int timeout_ms = 5000);

}  // namespace lenstest
