#include "tests/x11/lens_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <utility>

#include "platform/forms.h"

namespace lenstest {

void Pump() { Application->ProcessMessages(); }

std::string Hex(std::uint32_t rgb) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", rgb & 0xFFFFFFu);
    return buf;
}

gdi::PixelRegion Outline(int s, LensCorner c) {
    const std::array<TPoint, 3> pts = OutlinePoints(s, c);
    return gdi::PixelRegion::Combine(gdi::PixelRegion::FromPolygon(pts.data(), 3, gdi::FillMode::Winding),
                                     gdi::PixelRegion::FromEllipse(Rect(0, 0, s - 1, s - 1)), gdi::CombineMode::Or);
}

gdi::PixelRegion RegionOfRects(const std::vector<std::array<int, 4>>& rects) {
    gdi::PixelRegion all;
    for (const auto& r : rects)
        all = gdi::PixelRegion::Combine(all, gdi::PixelRegion::FromRect(Rect(r[0], r[1], r[0] + r[2], r[1] + r[3])),
                                        gdi::CombineMode::Or);
    return all;
}

::testing::AssertionResult SamePixels(const gdi::PixelRegion& actual, const gdi::PixelRegion& expected, int s,
                                      int margin) {
    int wrong = 0;
    std::ostringstream first;
    for (int y = -margin; y < s + margin; ++y)
        for (int x = -margin; x < s + margin; ++x) {
            const bool a = actual.Contains(x, y), e = expected.Contains(x, y);
            if (a == e) continue;
            if (wrong++ < 5)
                first << " (" << x << ", " << y << ") "
                      << (a ? "in the shape but not the outline" : "in the outline but not the shape") << ";";
        }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ, first:" << first.str();
}

::testing::AssertionResult ShapeBecomes(xh::Client& client, unsigned long window, int s, LensCorner c,
                                        int timeout_ms) {
    const gdi::PixelRegion want = Outline(s, c);
    ::testing::AssertionResult last = ::testing::AssertionFailure();
    xh::WaitUntil(
        [&] {
            last = SamePixels(RegionOfRects(client.ShapeRects(window)), want, s);
            return static_cast<bool>(last);
        },
        timeout_ms, Pump);
    return last;
}

// ---------------------------------------------------------------------------------------------

namespace {

double Degrees(double dx, double dy) {
    // Screen y grows downward: counter-clockwise on the screen is the upward direction.
    double a = std::atan2(-dy, dx) * (180.0 / std::numbers::pi);
    if (a < 0) a += 360.0;
    return a;
}

double SegmentDistance(double px, double py, TPoint a, TPoint b) {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.X) * dx + (py - a.Y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (a.X + t * dx), py - (a.Y + t * dy));
}

}  // namespace

RimGeometry::RimGeometry(int s, LensCorner c) : rim_(RimPath(s, c)) {
    const TRect box = RimArcBox(s);
    cx_ = (box.Left + box.Right - 1) / 2.0;
    cy_ = (box.Top + box.Bottom - 1) / 2.0;
    r_ = (box.Right - box.Left - 1) / 2.0;
    start_ = Degrees(rim_.B.X - cx_, rim_.B.Y - cy_);
    span_ = Degrees(rim_.A.X - cx_, rim_.A.Y - cy_) - start_;
    if (span_ <= 0) span_ += 360.0;
    for (int k = 0; k < 2; ++k) {
        const double a = (start_ + k * span_) * (std::numbers::pi / 180.0);
        ends_[k][0] = cx_ + r_ * std::cos(a);
        ends_[k][1] = cy_ - r_ * std::sin(a);
    }
}

double RimGeometry::Distance(int x, int y) const {
    double d = std::min(SegmentDistance(x, y, rim_.A, rim_.Tip), SegmentDistance(x, y, rim_.Tip, rim_.B));
    double rel = Degrees(x - cx_, y - cy_) - start_;
    if (rel < 0) rel += 360.0;
    if (rel <= span_) d = std::min(d, std::abs(std::hypot(x - cx_, y - cy_) - r_));
    for (const auto& e : ends_) d = std::min(d, std::hypot(x - e[0], y - e[1]));
    return d;
}

bool RimGeometry::NearArcEnd(int x, int y) const {
    for (const auto& e : ends_)
        if (std::hypot(x - e[0], y - e[1]) < 8.0) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------

std::string Describe(const LensView& v) {
    static const char* const corners[] = {"TopLeft", "BottomLeft", "BottomRight", "TopRight"};
    static const char* const schemes[] = {"Black", "Red", "Green"};
    std::ostringstream out;
    out << "lens at (" << v.left << ", " << v.top << "), " << v.size << " px, zoom " << v.zoom << ", tip "
        << corners[static_cast<int>(v.corner) & 3] << ", rim " << schemes[static_cast<int>(v.scheme) % 3]
        << (v.screenReadFails ? ", screen unreadable" : "");
    return out.str();
}

namespace {

struct Tally {
    explicit Tally(const char* w) : what(w) {}
    const char* what;
    int checked = 0;
    int wrong = 0;
    std::string first;

    void Check(int i, int j, std::uint32_t got, std::uint32_t want, const std::string& where = {}) {
        ++checked;
        if (got == want) return;
        if (wrong++ < 3) {
            std::ostringstream out;
            out << " lens (" << i << ", " << j << ")" << where << " is " << Hex(got) << ", want " << Hex(want) << ";";
            first += out.str();
        }
    }
};

}  // namespace

::testing::AssertionResult ShowsLens(const xh::Image& shot, const LensView& v) {
    const int s = v.size;
    if (shot.width != s || shot.height != s)
        return ::testing::AssertionFailure() << "screenshot is " << shot.width << "x" << shot.height << ", not " << s;
    const gdi::PixelRegion outline = Outline(s, v.corner);
    const RimGeometry rim(s, v.corner);
    const RimColorPair colours = RimColors(v.scheme);
    const int q = s / v.zoom;
    const TPoint capture = CaptureSquare(v.left, v.top, s, q, v.corner);
    const auto onScreen = [&](long long x, long long y) {
        return x >= 0 && y >= 0 && x < v.screenWidth && y < v.screenHeight;
    };

    Tally outside{"outside the outline (root picture)"}, picture{"picture"}, dark{"dark rim"}, light{"light rim"};
    for (int j = 0; j < s; ++j)
        for (int i = 0; i < s; ++i) {
            const long long sx = static_cast<long long>(v.left) + i, sy = static_cast<long long>(v.top) + j;
            if (!onScreen(sx, sy)) continue;
            const std::uint32_t got = shot.At(i, j);
            if (!outline.Contains(i, j)) {
                outside.Check(i, j, got, xh::PatternPixel(static_cast<int>(sx), static_cast<int>(sy)));
                continue;
            }
            const double d = rim.Distance(i, j);
            if (d <= 2.0) {
                dark.Check(i, j, got, ScreenRgb(colours.dark));
            } else if (d >= 4.0 && d <= 4.5) {
                if (!rim.NearArcEnd(i, j)) light.Check(i, j, got, ScreenRgb(colours.light));
            } else if (d > 6.0) {
                if (v.screenReadFails) {
                    picture.Check(i, j, got, ScreenRgb(clMaroon));
                    continue;
                }
                const long long px = static_cast<long long>(capture.X) + static_cast<long long>(i) * q / s;
                const long long py = static_cast<long long>(capture.Y) + static_cast<long long>(j) * q / s;
                const std::string from = " from (" + std::to_string(px) + ", " + std::to_string(py) + ")";
                if (!onScreen(px, py)) {
                    picture.Check(i, j, got, 0x000000, from);
                } else if (px >= v.left && py >= v.top && px < static_cast<long long>(v.left) + s &&
                           py < static_cast<long long>(v.top) + s) {
                    // The lens shows itself there, as the screen showed it when it was read.
                } else {
                    picture.Check(i, j, got, xh::PatternPixel(static_cast<int>(px), static_cast<int>(py)), from);
                }
            }
        }

    std::ostringstream report;
    bool ok = true;
    for (const Tally* t : {&outside, &picture, &dark, &light}) {
        if (t->wrong == 0) continue;
        ok = false;
        report << "\n  " << t->what << ": " << t->wrong << " of " << t->checked << " pixels wrong," << t->first;
    }
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Describe(v) << ":" << report.str();
}

::testing::AssertionResult ScreenShowsLens(xh::Client& client, const LensView& view, int timeout_ms) {
    xh::Image shot;
    ::testing::AssertionResult last = ::testing::AssertionFailure() << "no screenshot taken";
    xh::WaitUntil(
        [&] {
            shot = client.Grab(view.left, view.top, view.size, view.size);
            last = ShowsLens(shot, view);
            return static_cast<bool>(last);
        },
        timeout_ms, Pump);
    if (last) return last;
    static int saved = 0;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "lens";
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string path = ::testing::TempDir() + name + "-" + std::to_string(++saved) + ".png";
    if (shot.SavePng(path)) last << "\n  screenshot: " << path;
    return last;
}

}  // namespace lenstest
