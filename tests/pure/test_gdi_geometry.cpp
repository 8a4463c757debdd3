#include "platform/gdi_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "lens/lens_geometry.h"
#include "platform/sysutils.h"

static void PrintTo(const TRect& r, std::ostream* os) {
    *os << "(" << r.Left << ", " << r.Top << ")-(" << r.Right << ", " << r.Bottom << ")";
}

namespace {

using gdi::CombineMode;
using gdi::FillMode;
using gdi::PixelRegion;

constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();

// Rows of '#' (inside) and '.' over the w x h pixels from (0, 0).
std::vector<std::string> Picture(const PixelRegion& r, int w, int h) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; ++y) {
        std::string row;
        for (int x = 0; x < w; ++x) row += r.Contains(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::string Joined(const std::vector<std::string>& rows) {
    std::string s;
    for (const auto& r : rows) s += "\n" + r;
    return s;
}

// Every test region must keep the canonical form that makes operator== mean set equality.
::testing::AssertionResult Canonical(const PixelRegion& r) {
    const auto& s = r.Spans();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i].x0 >= s[i].x1) return ::testing::AssertionFailure() << "empty span at " << i;
        if (i == 0) continue;
        const bool ordered = s[i - 1].y < s[i].y || (s[i - 1].y == s[i].y && s[i - 1].x1 < s[i].x0);
        if (!ordered)
            return ::testing::AssertionFailure() << "span " << i << " (" << s[i].y << ": " << s[i].x0 << ".."
                                                 << s[i].x1 << ") overlaps, touches or precedes the one before";
    }
    return ::testing::AssertionSuccess();
}

std::int64_t Area(const PixelRegion& r) {
    std::int64_t n = 0;
    for (const auto& s : r.Spans()) n += s.x1 - s.x0;
    return n;
}

PixelRegion Polygon(std::vector<TPoint> pts, FillMode mode = FillMode::Winding) {
    return PixelRegion::FromPolygon(pts.data(), static_cast<int>(pts.size()), mode);
}

TEST(PixelRegion, TrianglePicture) {
    const PixelRegion r = Polygon({{0, 8}, {6, 0}, {12, 8}});
    const std::vector<std::string> want = {
        "............",
        ".....##.....",
        "....####....",
        "...######...",
        "...######...",
        "..########..",
        ".##########.",
        "############",
    };
    EXPECT_EQ(Picture(r, 12, 8), want) << Joined(Picture(r, 12, 8));
    EXPECT_EQ(r.Bounds(), Rect(0, 1, 12, 8));
    EXPECT_TRUE(Canonical(r));
}

TEST(PixelRegion, EllipsePicture) {
    const PixelRegion r = PixelRegion::FromEllipse(Rect(0, 0, 12, 8));
    const std::vector<std::string> want = {
        "...######...",
        ".##########.",
        "############",
        "############",
        "############",
        "############",
        ".##########.",
        "...######...",
    };
    EXPECT_EQ(Picture(r, 12, 8), want) << Joined(Picture(r, 12, 8));
    EXPECT_EQ(r.Bounds(), Rect(0, 0, 12, 8));
    EXPECT_TRUE(Canonical(r));
}

// The diagonal runs exactly through pixel centres; each such pixel goes to the triangle on the
// right of the edge, so the two halves tile the square.
TEST(PixelRegion, SharedEdgeClaimedByExactlyOnePolygon) {
    const PixelRegion lower = Polygon({{0, 0}, {8, 8}, {0, 8}});
    const PixelRegion upper = Polygon({{0, 0}, {8, 0}, {8, 8}});
    const std::vector<std::string> wantLower = {
        "........", "#.......", "##......", "###.....", "####....", "#####...", "######..", "#######.",
    };
    EXPECT_EQ(Picture(lower, 8, 8), wantLower) << Joined(Picture(lower, 8, 8));
    EXPECT_TRUE(PixelRegion::Combine(lower, upper, CombineMode::And).Empty());
    EXPECT_EQ(PixelRegion::Combine(lower, upper, CombineMode::Or), PixelRegion::FromRect(Rect(0, 0, 8, 8)));
}

// One path round the square 0..8 and again round the square 2..6, both the same way: the inner
// square has winding number 2, so the fill rules disagree there.
TEST(PixelRegion, FillRulesDifferWhereThePathWindsTwice) {
    const std::vector<TPoint> ring = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
    const std::vector<TPoint> reversed(ring.rbegin(), ring.rend());
    const PixelRegion full = PixelRegion::FromRect(Rect(0, 0, 8, 8));
    const PixelRegion hole = PixelRegion::Combine(full, PixelRegion::FromRect(Rect(2, 2, 6, 6)), CombineMode::Diff);
    for (const auto* pts : {&ring, &reversed}) {
        const PixelRegion winding = Polygon(*pts, FillMode::Winding);
        const PixelRegion alternate = Polygon(*pts, FillMode::Alternate);
        EXPECT_EQ(winding, full) << Joined(Picture(winding, 8, 8));
        EXPECT_EQ(alternate, hole) << Joined(Picture(alternate, 8, 8));
    }
}

TEST(PixelRegion, EllipseIsMirrorSymmetricForLensSizes) {
    for (int s : {120, 180, 270}) {
        SCOPED_TRACE(s);
        const PixelRegion r = PixelRegion::FromEllipse(Rect(0, 0, s - 1, s - 1));
        const auto& spans = r.Spans();
        ASSERT_EQ(spans.size(), static_cast<std::size_t>(s - 1)) << "one span per row of the box";
        EXPECT_EQ(r.Bounds(), Rect(0, 0, s - 1, s - 1));
        EXPECT_GT(spans.front().x1 - spans.front().x0, 0);
        EXPECT_EQ(spans.front().x1 - spans.front().x0, spans.back().x1 - spans.back().x0);
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const auto& sp = spans[i];
            const auto& mirrored = spans[spans.size() - 1 - i];
            EXPECT_EQ(sp.y, static_cast<int>(i));
            EXPECT_EQ(sp.x0 + sp.x1, s - 1) << "row " << sp.y << ": " << sp.x0 << ".." << sp.x1;
            EXPECT_EQ(sp.x0, mirrored.x0) << "rows " << sp.y << " and " << mirrored.y;
        }
    }
}

// A pixel belongs by its centre, so a tip on the bottom or right edge loses the corner pixel
// itself; the pixel half a step in along the diagonal is always kept.
TEST(PixelRegion, LensOutlineJoinsTipToCircle) {
    constexpr LensCorner corners[] = {LensCorner::TopLeft, LensCorner::BottomLeft, LensCorner::BottomRight,
                                      LensCorner::TopRight};
    const int s = 180;
    const PixelRegion circle = PixelRegion::FromEllipse(Rect(0, 0, s - 1, s - 1));
    for (LensCorner c : corners) {
        SCOPED_TRACE(static_cast<int>(c));
        const auto pts = OutlinePoints(s, c);
        const PixelRegion triangle = PixelRegion::FromPolygon(pts.data(), 3, FillMode::Winding);
        const PixelRegion outline = PixelRegion::Combine(triangle, circle, CombineMode::Or);
        EXPECT_TRUE(Canonical(outline));
        const int tipX = pts[0].X == 0 ? 0 : s - 2;
        const int tipY = pts[0].Y == 0 ? 0 : s - 2;
        EXPECT_TRUE(outline.Contains(tipX, tipY)) << "pixel at the tip (" << tipX << ", " << tipY << ")";
        EXPECT_FALSE(circle.Contains(tipX, tipY)) << "the circle alone must not reach the tip";
        EXPECT_FALSE(PixelRegion::Combine(triangle, circle, CombineMode::And).Empty())
            << "the triangle must reach into the circle";
        for (const TPoint corner : {Point(0, 0), Point(s - 2, 0), Point(0, s - 2), Point(s - 2, s - 2)}) {
            if (corner == Point(tipX, tipY)) continue;
            EXPECT_FALSE(outline.Contains(corner.X, corner.Y)) << "(" << corner.X << ", " << corner.Y << ")";
        }
        EXPECT_EQ(outline.Bounds(), Rect(0, 0, s - 1, s - 1));
    }
    const auto tl = OutlinePoints(s, LensCorner::TopLeft);
    const PixelRegion outline = PixelRegion::Combine(PixelRegion::FromPolygon(tl.data(), 3, FillMode::Winding),
                                                     circle, CombineMode::Or);
    EXPECT_TRUE(outline.Contains(0, 0));
    EXPECT_FALSE(outline.Contains(179, 0));
}

TEST(PixelRegion, CombineModesAgreeWithPixelwiseLogic) {
    // Overlapping shapes with several spans per row in the result.
    const PixelRegion a = PixelRegion::FromEllipse(Rect(0, 0, 12, 8));
    const PixelRegion b = Polygon({{-1, 9}, {6, 2}, {13, 9}, {6, 5}});
    const struct {
        CombineMode mode;
        const char* name;
        bool (*want)(bool, bool);
    } cases[] = {
        {CombineMode::And, "And", [](bool p, bool q) { return p && q; }},
        {CombineMode::Or, "Or", [](bool p, bool q) { return p || q; }},
        {CombineMode::Xor, "Xor", [](bool p, bool q) { return p != q; }},
        {CombineMode::Diff, "Diff", [](bool p, bool q) { return p && !q; }},
        {CombineMode::Copy, "Copy", [](bool p, bool) { return p; }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const PixelRegion r = PixelRegion::Combine(a, b, k.mode);
        EXPECT_TRUE(Canonical(r));
        int wrong = 0;
        for (int y = -2; y < 12; ++y)
            for (int x = -3; x < 16; ++x)
                if (r.Contains(x, y) != k.want(a.Contains(x, y), b.Contains(x, y)) && wrong++ < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << (r.Contains(x, y) ? "in" : "out");
    }
}

TEST(PixelRegion, CombineKeepsCanonicalFormSoEqualityIsSetEquality) {
    const PixelRegion left = PixelRegion::FromRect(Rect(0, 0, 2, 3));
    const PixelRegion right = PixelRegion::FromRect(Rect(2, 0, 5, 3));
    const PixelRegion both = PixelRegion::FromRect(Rect(0, 0, 5, 3));
    EXPECT_EQ(PixelRegion::Combine(left, right, CombineMode::Or), both) << "touching spans must merge";
    EXPECT_EQ(PixelRegion::Combine(left, right, CombineMode::Xor), both);
    EXPECT_EQ(PixelRegion::Combine(both, right, CombineMode::Diff), left);
    EXPECT_TRUE(PixelRegion::Combine(both, both, CombineMode::Xor).Empty());
    EXPECT_TRUE(PixelRegion::Combine(both, PixelRegion{}, CombineMode::And).Empty());
    EXPECT_EQ(PixelRegion::Combine(PixelRegion{}, both, CombineMode::Or), both);
    EXPECT_THROW(PixelRegion::Combine(both, both, static_cast<CombineMode>(0)), Exception);
    EXPECT_THROW(PixelRegion::Combine(both, both, static_cast<CombineMode>(6)), Exception);
}

std::string Describe(const std::vector<TRect>& rects) {
    std::ostringstream os;
    for (const TRect& r : rects) PrintTo(r, &os), os << " ";
    return os.str();
}

TEST(PixelRegion, RectsMergeIdenticalConsecutiveRows) {
    const PixelRegion overlap = PixelRegion::Combine(PixelRegion::FromRect(Rect(0, 0, 4, 4)),
                                                     PixelRegion::FromRect(Rect(2, 2, 6, 6)), CombineMode::Or);
    const PixelRegion gap = PixelRegion::Combine(PixelRegion::FromRect(Rect(0, 0, 2, 1)),
                                                 PixelRegion::FromRect(Rect(0, 2, 2, 3)), CombineMode::Or);
    const struct {
        const char* name;
        PixelRegion region;
        std::vector<TRect> want;
    } cases[] = {
        {"ellipse", PixelRegion::FromEllipse(Rect(0, 0, 12, 8)),
         {{3, 0, 9, 1}, {1, 1, 11, 2}, {0, 2, 12, 6}, {1, 6, 11, 7}, {3, 7, 9, 8}}},
        {"overlapping squares", overlap, {{0, 0, 4, 2}, {0, 2, 6, 4}, {2, 4, 6, 6}}},
        {"rows apart", gap, {{0, 0, 2, 1}, {0, 2, 2, 3}}},
        {"ring", Polygon({{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}},
                         FillMode::Alternate),
         {{0, 0, 8, 2}, {0, 2, 2, 6}, {6, 2, 8, 6}, {0, 6, 8, 8}}},
        {"empty", PixelRegion{}, {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const std::vector<TRect> got = k.region.Rects();
        EXPECT_EQ(got, k.want) << Describe(got);
        // The rectangles rebuild exactly the same set.
        PixelRegion rebuilt;
        std::int64_t area = 0;
        for (const TRect& r : got) {
            rebuilt = PixelRegion::Combine(rebuilt, PixelRegion::FromRect(r), CombineMode::Or);
            area += std::int64_t{r.Width()} * r.Height();
        }
        EXPECT_EQ(rebuilt, k.region);
        EXPECT_EQ(area, Area(k.region)) << "rectangles overlap";
    }
}

TEST(PixelRegion, DegenerateInputsGiveEmptyRegions) {
    const TPoint three[] = {{0, 0}, {10, 0}, {0, 10}};
    const TPoint collinear[] = {{0, 0}, {5, 5}, {10, 10}, {2, 2}};
    const TPoint onePoint[] = {{3, 3}, {3, 3}, {3, 3}};
    const TPoint flat[] = {{0, 4}, {20, 4}, {9, 4}};
    const struct {
        const char* name;
        PixelRegion region;
    } cases[] = {
        {"null points", PixelRegion::FromPolygon(nullptr, 3, FillMode::Winding)},
        {"no points", PixelRegion::FromPolygon(three, 0, FillMode::Winding)},
        {"negative count", PixelRegion::FromPolygon(three, -5, FillMode::Winding)},
        {"two points", PixelRegion::FromPolygon(three, 2, FillMode::Alternate)},
        {"collinear", PixelRegion::FromPolygon(collinear, 4, FillMode::Winding)},
        {"one point", PixelRegion::FromPolygon(onePoint, 3, FillMode::Winding)},
        {"horizontal", PixelRegion::FromPolygon(flat, 3, FillMode::Alternate)},
        {"empty rect", PixelRegion::FromRect(Rect(5, 5, 5, 9))},
        {"inverted rect", PixelRegion::FromRect(Rect(9, 9, 5, 5))},
        {"flat box", PixelRegion::FromEllipse(Rect(0, 0, 10, 0))},
        {"inverted box", PixelRegion::FromEllipse(Rect(10, 10, 0, 0))},
        {"rect far outside", PixelRegion::FromRect(Rect(100000, 0, 100010, 10))},
        {"ellipse far outside", PixelRegion::FromEllipse(Rect(0, -kIntMax, 10, -40000))},
    };
    for (const auto& k : cases) {
        EXPECT_TRUE(k.region.Empty()) << k.name << ": " << Area(k.region) << " pixels";
        EXPECT_EQ(k.region.Bounds(), TRect{}) << k.name;
        EXPECT_TRUE(k.region.Rects().empty()) << k.name;
    }
    EXPECT_THROW(PixelRegion::FromPolygon(three, 3, static_cast<FillMode>(0)), Exception);
}

TEST(PixelRegion, HugeShapesAreCutToTheCoordinateSquare) {
    const TRect square{PixelRegion::kMinCoord, PixelRegion::kMinCoord, PixelRegion::kMaxCoord, PixelRegion::kMaxCoord};
    const TPoint triangle[] = {{-1000000, -1000000}, {1000000, 1000000}, {-1000000, 1000000}};
    const TPoint extreme[] = {{kIntMin, kIntMin}, {kIntMax, kIntMin}, {kIntMax, kIntMax}, {kIntMin, kIntMax}};
    const struct {
        const char* name;
        PixelRegion region;
    } cases[] = {
        {"rect 1e6", PixelRegion::FromRect(Rect(-1000000, -1000000, 1000000, 1000000))},
        {"rect int range", PixelRegion::FromRect(Rect(kIntMin, kIntMin, kIntMax, kIntMax))},
        {"ellipse 1e6", PixelRegion::FromEllipse(Rect(-1000000, -1000000, 1000000, 1000000))},
        {"ellipse int range", PixelRegion::FromEllipse(Rect(kIntMin, kIntMin, kIntMax, kIntMax))},
        {"polygon int range", PixelRegion::FromPolygon(extreme, 4, FillMode::Alternate)},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(k.region.Bounds(), square);
        EXPECT_EQ(k.region.Spans().size(), 65536u);
        EXPECT_TRUE(k.region.Contains(0, 0));
        EXPECT_TRUE(k.region.Contains(32767, -32768));
        EXPECT_TRUE(Canonical(k.region));
    }
    // A huge triangle whose diagonal edge x = y crosses the square is exact where it is kept:
    // row y holds -32768 <= x < y, the diagonal pixels going to the shape on the edge's right.
    const PixelRegion tri = PixelRegion::FromPolygon(triangle, 3, FillMode::Winding);
    EXPECT_TRUE(Canonical(tri));
    EXPECT_EQ(tri.Spans().size(), 65535u) << "the top row of the square holds nothing";
    EXPECT_EQ(Area(tri), std::int64_t{65535} * 65536 / 2);
    EXPECT_TRUE(tri.Contains(-5, 5));
    EXPECT_TRUE(tri.Contains(6, 7));
    EXPECT_FALSE(tri.Contains(7, 7));
    EXPECT_FALSE(tri.Contains(5, -5));
}

TEST(PixelRegion, OffsetMovesEveryPixelAndDropsWhatLeavesTheSquare) {
    const PixelRegion original = PixelRegion::FromEllipse(Rect(0, 0, 12, 8));
    PixelRegion moved = original;
    moved.Offset(3, -2);
    EXPECT_EQ(moved.Bounds(), Rect(3, -2, 15, 6));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(moved.Contains(x + 3, y - 2), original.Contains(x, y)) << "(" << x << ", " << y << ")";
    moved.Offset(-3, 2);
    EXPECT_EQ(moved, original);

    PixelRegion edge = PixelRegion::FromRect(Rect(32760, 0, 32768, 2));
    edge.Offset(4, 0);
    EXPECT_EQ(edge, PixelRegion::FromRect(Rect(32764, 0, 32768, 2)));

    for (const auto& [dx, dy] : {std::pair{kIntMax, 0}, std::pair{0, kIntMin}, std::pair{kIntMin, kIntMax}}) {
        PixelRegion gone = original;
        gone.Offset(dx, dy);
        EXPECT_TRUE(gone.Empty()) << dx << ", " << dy;
    }
}

struct ArcCase {
    const char* name;
    TRect box;
    TPoint start, end;
    double wantStart, wantSpan;
};

TEST(ArcAngles, Table) {
    const ArcCase cases[] = {
        {"3 to 12 o'clock", {0, 0, 10, 10}, {10, 5}, {5, 0}, 0, 90},
        {"12 to 3 o'clock the long way", {0, 0, 10, 10}, {5, 0}, {10, 5}, 90, 270},
        {"9 to 6 o'clock", {0, 0, 10, 10}, {0, 5}, {5, 10}, 180, 90},
        {"6 to 3 o'clock", {0, 0, 10, 10}, {5, 10}, {10, 5}, 270, 90},
        {"opposite rays", {0, 0, 10, 10}, {10, 5}, {0, 5}, 0, 180},
        {"same ray, different distance", {0, 0, 10, 10}, {7, 3}, {9, 1}, 45, 360},
        {"same point", {0, 0, 10, 10}, {2, 9}, {2, 9}, 233.1301, 360},
        {"points far outside the box", {0, 0, 10, 10}, {5, -1000}, {-995, 5}, 90, 90},
        // The centre (4.5, 4.5) must not be rounded: that would put (4, 0) straight up.
        {"half-pixel centre", {0, 0, 9, 9}, {4, 0}, {5, 0}, 96.3402, 347.3196},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const gdi::ArcSweep a = gdi::ArcAngles(k.box, k.start, k.end);
        EXPECT_NEAR(a.startDegrees, k.wantStart, 1e-3);
        EXPECT_NEAR(a.spanDegrees, k.wantSpan, 1e-3);
    }
}

TEST(ArcAngles, LensRimArcGoesTheLongWayRoundAwayFromTheTip) {
    const struct {
        LensCorner c;
        double wantStart;
    } cases[] = {
        {LensCorner::TopLeft, 151.0736},
        {LensCorner::BottomLeft, 241.0736},
        {LensCorner::BottomRight, 331.0736},
        {LensCorner::TopRight, 61.0736},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.c));
        const RimPoints rim = RimPath(180, k.c);
        const TRect box = RimArcBox(180);
        // The stroke arcs from B back to A.
        const gdi::ArcSweep a = gdi::ArcAngles(box, rim.B, rim.A);
        EXPECT_NEAR(a.startDegrees, k.wantStart, 1e-3);
        EXPECT_NEAR(a.spanDegrees, 327.8529, 1e-3);
        EXPECT_GT(a.spanDegrees, 300.0);
        // The ray towards the tip lies in the part the arc leaves out.
        const gdi::ArcSweep toTip = gdi::ArcAngles(box, rim.B, rim.Tip);
        EXPECT_GT(toTip.spanDegrees, a.spanDegrees) << "tip at " << toTip.startDegrees + toTip.spanDegrees;
    }
}

TEST(ArcAngles, ResultsStayInRangeForExtremeInput) {
    const TPoint pts[] = {{kIntMin, kIntMin}, {kIntMax, kIntMin}, {kIntMax, kIntMax}, {0, 0}, {kIntMin, 0}};
    for (const TPoint& s : pts)
        for (const TPoint& e : pts) {
            const gdi::ArcSweep a = gdi::ArcAngles(Rect(kIntMin, kIntMin, kIntMax, kIntMax), s, e);
            EXPECT_TRUE(a.startDegrees >= 0 && a.startDegrees < 360) << a.startDegrees;
            EXPECT_TRUE(a.spanDegrees > 0 && a.spanDegrees <= 360) << a.spanDegrees;
        }
}

}  // namespace
