#include "lens/lens_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>

#include "platform/sysutils.h"

// Printers so that a failing comparison shows coordinates rather than bytes.
static void PrintTo(const TPoint& p, std::ostream* os) { *os << "(" << p.X << ", " << p.Y << ")"; }
static void PrintTo(const TRect& r, std::ostream* os) {
    *os << "(" << r.Left << ", " << r.Top << ")-(" << r.Right << ", " << r.Bottom << ")";
}

namespace {

const char* Name(LensCorner c) {
    switch (c) {
    case LensCorner::TopLeft: return "TopLeft";
    case LensCorner::BottomLeft: return "BottomLeft";
    case LensCorner::BottomRight: return "BottomRight";
    case LensCorner::TopRight: return "TopRight";
    }
    return "?";
}

constexpr LensCorner kCorners[] = {LensCorner::TopLeft, LensCorner::BottomLeft, LensCorner::BottomRight,
                                   LensCorner::TopRight};

struct OutlineCase {
    int s;
    LensCorner c;
    TPoint p0, p1, p2;
};

TEST(LensGeometry, OutlinePointsTable) {
    const OutlineCase cases[] = {
        {180, LensCorner::TopLeft, {0, 0}, {62, 14}, {14, 62}},
        {180, LensCorner::BottomLeft, {0, 179}, {14, 115}, {62, 163}},
        {180, LensCorner::BottomRight, {179, 179}, {163, 115}, {115, 163}},
        {180, LensCorner::TopRight, {179, 0}, {115, 14}, {163, 62}},
        {120, LensCorner::TopLeft, {0, 0}, {42, 10}, {10, 42}},
        {270, LensCorner::BottomRight, {269, 269}, {247, 175}, {175, 247}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.s) + " " + Name(k.c));
        const auto pts = OutlinePoints(k.s, k.c);
        EXPECT_EQ(pts[0], k.p0);
        EXPECT_EQ(pts[1], k.p1);
        EXPECT_EQ(pts[2], k.p2);
    }
}

struct RimCase {
    int s;
    LensCorner c;
    TPoint a, tip, b;
};

TEST(LensGeometry, RimPathTable) {
    const RimCase cases[] = {
        {180, LensCorner::TopLeft, {47, 13}, {0, 0}, {13, 47}},
        {180, LensCorner::BottomLeft, {13, 131}, {0, 179}, {47, 165}},
        {180, LensCorner::BottomRight, {131, 165}, {179, 179}, {165, 131}},
        {180, LensCorner::TopRight, {165, 47}, {179, 0}, {131, 13}},
        {120, LensCorner::TopLeft, {32, 9}, {0, 0}, {9, 32}},
        {270, LensCorner::BottomRight, {199, 250}, {269, 269}, {250, 199}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.s) + " " + Name(k.c));
        const RimPoints r = RimPath(k.s, k.c);
        EXPECT_EQ(r.A, k.a);
        EXPECT_EQ(r.Tip, k.tip);
        EXPECT_EQ(r.B, k.b);
    }
    EXPECT_EQ(RimArcBox(180), Rect(1, 1, 177, 177));
    EXPECT_EQ(RimArcBox(270), Rect(1, 1, 267, 267));
}

struct CaptureCase {
    int L, T, s, z;
    LensCorner c;
    TPoint expected;
};

// The cases around 448/449 and 571/572 depend on f being the widened single-precision 0.85,
// and the negative ones on truncation toward zero rather than flooring.
TEST(LensGeometry, CaptureSquareTable) {
    const CaptureCase cases[] = {
        {500, 400, 180, 3, LensCorner::TopLeft, {448, 348}},
        {500, 400, 180, 3, LensCorner::BottomLeft, {448, 571}},
        {500, 400, 180, 3, LensCorner::BottomRight, {671, 571}},
        {500, 400, 180, 3, LensCorner::TopRight, {671, 348}},
        {500, 400, 270, 5, LensCorner::TopLeft, {454, 354}},
        {500, 400, 270, 5, LensCorner::BottomRight, {761, 661}},
        {20, 10, 180, 3, LensCorner::TopLeft, {-31, -41}},
        {0, 0, 180, 3, LensCorner::TopLeft, {-51, -51}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.L) + "/" + std::to_string(k.T) + " s=" + std::to_string(k.s) +
                     " z=" + std::to_string(k.z) + " " + Name(k.c));
        EXPECT_EQ(CaptureSquare(k.L, k.T, k.s, k.s / k.z, k.c), k.expected);
    }
}

TEST(LensGeometry, CaptureSquareSaturatesInsteadOfOverflowing) {
    const int big = 2147483647;
    EXPECT_EQ(CaptureSquare(big, big, 270, 54, LensCorner::BottomRight), Point(big, big));
    EXPECT_EQ(CaptureSquare(-big - 1, -big - 1, 180, 60, LensCorner::TopLeft), Point(-big - 1, -big - 1));
}

TEST(LensGeometry, RimColorsTable) {
    const struct {
        RimScheme scheme;
        TColor dark, light;
    } cases[] = {
        {RimScheme::Black, 0x000000, 0xFFFFFF},
        {RimScheme::Red, 0x0000FF, 0x8080FF},
        {RimScheme::Green, 0x008000, 0x00FF00},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.scheme));
        const RimColorPair p = RimColors(k.scheme);
        EXPECT_EQ(p.dark, k.dark) << std::hex << p.dark;
        EXPECT_EQ(p.light, k.light) << std::hex << p.light;
    }
}

TEST(LensGeometry, NextCornerRotatesCounterClockwiseAndReturnsAfterFourSteps) {
    EXPECT_EQ(NextCorner(LensCorner::TopLeft), LensCorner::BottomLeft);
    EXPECT_EQ(NextCorner(LensCorner::BottomLeft), LensCorner::BottomRight);
    EXPECT_EQ(NextCorner(LensCorner::BottomRight), LensCorner::TopRight);
    EXPECT_EQ(NextCorner(LensCorner::TopRight), LensCorner::TopLeft);
    for (LensCorner start : kCorners) {
        LensCorner c = start;
        for (int i = 0; i < 4; ++i) c = NextCorner(c);
        EXPECT_EQ(c, start) << Name(start);
    }
}

TEST(LensGeometry, OutOfRangeCornersWrapModuloFour) {
    const struct {
        int raw;
        LensCorner same;
    } cases[] = {{4, LensCorner::TopLeft}, {5, LensCorner::BottomLeft}, {-1, LensCorner::TopRight},
                 {-6, LensCorner::BottomRight}, {2147483647, LensCorner::TopRight},
                 {-2147483647 - 1, LensCorner::TopLeft}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.raw);
        const auto c = static_cast<LensCorner>(k.raw);
        EXPECT_EQ(OutlinePoints(180, c), OutlinePoints(180, k.same));
        EXPECT_EQ(RimPath(180, c).A, RimPath(180, k.same).A);
        EXPECT_EQ(CaptureSquare(500, 400, 180, 60, c), CaptureSquare(500, 400, 180, 60, k.same));
        EXPECT_EQ(NextCorner(c), NextCorner(k.same));
    }
}

TEST(LensGeometry, NonPositiveSizeThrows) {
    for (int s : {0, -1, -2147483647 - 1}) {
        EXPECT_THROW(OutlinePoints(s, LensCorner::TopLeft), Exception) << s;
        EXPECT_THROW(RimPath(s, LensCorner::BottomRight), Exception) << s;
        EXPECT_THROW(RimArcBox(s), Exception) << s;
    }
}

// Properties over every size and zoom the menu offers.
class LensGeometryOffered : public ::testing::TestWithParam<std::tuple<int, int, LensCorner>> {};

TEST_P(LensGeometryOffered, OutlineJoinsCornerPixelToCircle) {
    const auto [s, z, c] = GetParam();
    (void)z;
    const bool right = c == LensCorner::BottomRight || c == LensCorner::TopRight;
    const bool bottom = c == LensCorner::BottomLeft || c == LensCorner::BottomRight;
    const auto pts = OutlinePoints(s, c);
    EXPECT_EQ(pts[0], Point(right ? s - 1 : 0, bottom ? s - 1 : 0));

    // Inside the circle inscribed in (0, 0)-(s - 1, s - 1), doubled to stay in integers.
    const long long r2 = 1LL * (s - 1) * (s - 1);
    long long side[2];
    for (int i = 1; i <= 2; ++i) {
        const long long dx = 2LL * pts[i].X + 1 - (s - 1);
        const long long dy = 2LL * pts[i].Y + 1 - (s - 1);
        EXPECT_LT(dx * dx + dy * dy, r2) << "point " << i << " at (" << pts[i].X << ", " << pts[i].Y << ")";
        // Which side of the diagonal through the tip the point lies on.
        const long long tx = right ? -1 : 1, ty = bottom ? -1 : 1;
        side[i - 1] = tx * (pts[i].Y - pts[0].Y) - ty * (pts[i].X - pts[0].X);
    }
    EXPECT_LT(side[0] * side[1], 0) << "points 1 and 2 must straddle the diagonal through the tip";
}

TEST_P(LensGeometryOffered, RimRunsInsideOutlineTriangle) {
    const auto [s, z, c] = GetParam();
    (void)z;
    const auto o = OutlinePoints(s, c);
    const RimPoints r = RimPath(s, c);
    EXPECT_EQ(r.Tip, o[0]);
    // A and B sit nearer the tip than the outline's side points, so the stroke stays inside the triangle.
    for (const TPoint& p : {r.A, r.B}) {
        const int along = std::max(std::abs(p.X - o[0].X), std::abs(p.Y - o[0].Y));
        const int outline = std::max(std::abs(o[1].X - o[0].X), std::abs(o[1].Y - o[0].Y));
        EXPECT_LT(along, outline) << "(" << p.X << ", " << p.Y << ")";
    }
    const TRect box = RimArcBox(s);
    for (const TPoint& p : {r.A, r.B}) {
        EXPECT_TRUE(p.X > box.Left && p.X < box.Right && p.Y > box.Top && p.Y < box.Bottom)
            << "(" << p.X << ", " << p.Y << ")";
    }
}

TEST_P(LensGeometryOffered, TipSits85PercentAcrossCaptureSquareFromFarSide) {
    const auto [s, z, c] = GetParam();
    const int q = s / z;
    const bool right = c == LensCorner::BottomRight || c == LensCorner::TopRight;
    const bool bottom = c == LensCorner::BottomLeft || c == LensCorner::BottomRight;
    for (const TPoint origin : {Point(500, 400), Point(1, 2), Point(-300, 7000)}) {
        const TPoint sq = CaptureSquare(origin.X, origin.Y, s, q, c);
        // The tip's outer edge on the screen, and the square's edge away from the lens.
        const int tipX = right ? origin.X + s : origin.X;
        const int tipY = bottom ? origin.Y + s : origin.Y;
        const int fromFarX = right ? sq.X + q - tipX : tipX - sq.X;
        const int fromFarY = bottom ? sq.Y + q - tipY : tipY - sq.Y;
        // Truncation leaves the distance at one of the two whole numbers around q * f.
        const int low = static_cast<int>(std::floor(q * static_cast<double>(0.85f)));
        for (const int d : {fromFarX, fromFarY}) {
            EXPECT_TRUE(d == low || d == low + 1)
                << "distance " << d << " from the far side, want " << low << " or " << low + 1 << ", at ("
                << origin.X << ", " << origin.Y << "): square (" << sq.X << ", " << sq.Y << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllOffered, LensGeometryOffered,
                         ::testing::Combine(::testing::Values(120, 180, 270), ::testing::Values(2, 3, 5),
                                            ::testing::ValuesIn(kCorners)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "_x" +
                                    std::to_string(std::get<1>(info.param)) + "_" + Name(std::get<2>(info.param));
                         });

}  // namespace
