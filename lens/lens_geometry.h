// The arithmetic of the lens: outline triangle, capture square, rim stroke and rim colours.
// Nothing here talks to a window system.
#pragma once

#include <array>

#include "platform/types.h"

enum class LensCorner : int { TopLeft = 0, BottomLeft = 1, BottomRight = 2, TopRight = 3 };
enum class RimScheme : int { Black, Red, Green };

struct RimPoints {
    TPoint A;    // where the stroke starts and the arc ends
    TPoint Tip;
    TPoint B;    // where the straight part ends and the arc starts
};

struct RimColorPair {
    TColor dark;
    TColor light;
};

// A corner value outside 0..3 is taken modulo 4 (-1 is TopRight, 4 is TopLeft), because the
// window keeps its corner as a plain integer and steps it round with a modulo anyway.
// A side length s below 1 throws Exception.

// The pointer triangle of the window outline, window-relative; element 0 is the tip.
std::array<TPoint, 3> OutlinePoints(int s, LensCorner c);

// Screen position (X = x, Y = y) of the top-left pixel of the q x q square shown in a lens of
// side s whose window has its top-left corner at (L, T). Results beyond the int range saturate.
TPoint CaptureSquare(int L, int T, int s, int q, LensCorner c);

// The rim stroke: move to A, line to Tip, line to B, then the arc in RimArcBox(s) from B to A.
RimPoints RimPath(int s, LensCorner c);

// (1, 1)-(s - 3, s - 3), for every corner.
TRect RimArcBox(int s);

// An unknown scheme value gives the Black pair.
RimColorPair RimColors(RimScheme scheme);

// (c + 1) mod 4: TopLeft -> BottomLeft -> BottomRight -> TopRight -> TopLeft.
LensCorner NextCorner(LensCorner c);
