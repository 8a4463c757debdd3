#include "lens/lens_geometry.h"

#include <cmath>
#include <limits>
#include <string>

#include "platform/sysutils.h"

namespace {

LensCorner Normalize(LensCorner c) {
    const int v = static_cast<int>(c) % 4;
    return static_cast<LensCorner>(v < 0 ? v + 4 : v);
}

void RequirePositiveSize(int s) {
    if (s < 1) throw Exception("Invalid lens size " + std::to_string(s));
}

// The offsets are taken from the single-precision value nearest 0.85, widened; the small
// excess over 0.85 decides the truncated result for some positions (500 - 60 * f is just
// below 449).
constexpr double kFar = static_cast<double>(0.85f);
constexpr double kNear = 1.0 - kFar;

std::int32_t TruncToInt(double v) {
    constexpr double lo = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    const double t = std::trunc(v);
    if (t <= lo) return std::numeric_limits<std::int32_t>::min();
    if (t >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(t);
}

}  // namespace

std::array<TPoint, 3> OutlinePoints(int s, LensCorner c) {
    RequirePositiveSize(s);
    const int a = s / 3;
    const int b = s / 15;
    const int e = s - 1;
    const int far = s - 5;
    switch (Normalize(c)) {
    case LensCorner::TopLeft: return {{{0, 0}, {a + 2, b + 2}, {b + 2, a + 2}}};
    case LensCorner::BottomLeft: return {{{0, e}, {b + 2, far - a}, {a + 2, far - b}}};
    case LensCorner::BottomRight: return {{{e, e}, {far - b, far - a}, {far - a, far - b}}};
    case LensCorner::TopRight: break;
    }
    return {{{e, 0}, {far - a, b + 2}, {far - b, a + 2}}};
}

TPoint CaptureSquare(int L, int T, int s, int q, LensCorner c) {
    const LensCorner n = Normalize(c);
    const bool right = n == LensCorner::BottomRight || n == LensCorner::TopRight;
    const bool bottom = n == LensCorner::BottomLeft || n == LensCorner::BottomRight;
    const double qd = static_cast<double>(q);
    const double x = right ? (static_cast<double>(L) + s) - qd * kNear : static_cast<double>(L) - qd * kFar;
    const double y = bottom ? (static_cast<double>(T) + s) - qd * kNear : static_cast<double>(T) - qd * kFar;
    return {TruncToInt(x), TruncToInt(y)};
}

RimPoints RimPath(int s, LensCorner c) {
    RequirePositiveSize(s);
    const int a = s / 4;
    const int b = s / 16;
    const int e = s - 1;
    const int far = s - 4;
    switch (Normalize(c)) {
    case LensCorner::TopLeft: return {{a + 2, b + 2}, {0, 0}, {b + 2, a + 2}};
    case LensCorner::BottomLeft: return {{b + 2, far - a}, {0, e}, {a + 2, far - b}};
    case LensCorner::BottomRight: return {{far - a, far - b}, {e, e}, {far - b, far - a}};
    case LensCorner::TopRight: break;
    }
    return {{far - b, a + 2}, {e, 0}, {far - a, b + 2}};
}

TRect RimArcBox(int s) {
    RequirePositiveSize(s);
    return {1, 1, s - 3, s - 3};
}

RimColorPair RimColors(RimScheme scheme) {
    switch (scheme) {
    case RimScheme::Red: return {clRed, RGB(0xFF, 0x80, 0x80)};
    case RimScheme::Green: return {clGreen, clLime};
    case RimScheme::Black: break;
    }
    return {clBlack, clWhite};
}

LensCorner NextCorner(LensCorner c) {
    return static_cast<LensCorner>((static_cast<int>(Normalize(c)) + 1) % 4);
}
