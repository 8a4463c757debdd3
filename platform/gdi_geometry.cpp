#include "platform/gdi_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "platform/sysutils.h"

namespace gdi {

namespace {

__extension__ typedef __int128 Int128;

constexpr std::int64_t kClamp = std::int64_t{1} << 24;

std::int64_t Clamp(std::int64_t v) { return std::clamp(v, -kClamp, kClamp); }

// a / b rounded toward +infinity and toward -infinity; b > 0.
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

using Span = PixelRegion::Span;

// Appends [x0, x1) on row y, cut to the coordinate square. Spans of one row must arrive in
// ascending x0; a span that touches or overlaps the previous one is merged into it.
void Append(std::vector<Span>& out, std::int64_t y, std::int64_t x0, std::int64_t x1) {
    if (y < PixelRegion::kMinCoord || y >= PixelRegion::kMaxCoord) return;
    x0 = std::max<std::int64_t>(x0, PixelRegion::kMinCoord);
    x1 = std::min<std::int64_t>(x1, PixelRegion::kMaxCoord);
    if (x0 >= x1) return;
    if (!out.empty() && out.back().y == y && out.back().x1 >= x0) {
        out.back().x1 = std::max(out.back().x1, static_cast<std::int32_t>(x1));
        return;
    }
    out.push_back({static_cast<std::int32_t>(y), static_cast<std::int32_t>(x0), static_cast<std::int32_t>(x1)});
}

// Index one past the last span of the row that starts at index i.
std::size_t RowEnd(const std::vector<Span>& s, std::size_t i) {
    std::size_t j = i;
    while (j < s.size() && s[j].y == s[i].y) ++j;
    return j;
}

bool Apply(CombineMode mode, bool a, bool b) {
    switch (mode) {
    case CombineMode::And: return a && b;
    case CombineMode::Or: return a || b;
    case CombineMode::Xor: return a != b;
    case CombineMode::Diff: return a && !b;
    case CombineMode::Copy: return a;
    }
    return false;
}

}  // namespace

PixelRegion PixelRegion::FromRect(TRect r) {
    PixelRegion region;
    const std::int64_t l = std::max<std::int64_t>(r.Left, kMinCoord);
    const std::int64_t t = std::max<std::int64_t>(r.Top, kMinCoord);
    const std::int64_t rr = std::min<std::int64_t>(r.Right, kMaxCoord);
    const std::int64_t b = std::min<std::int64_t>(r.Bottom, kMaxCoord);
    if (l >= rr || t >= b) return region;
    region.spans_.reserve(static_cast<std::size_t>(b - t));
    for (std::int64_t y = t; y < b; ++y) Append(region.spans_, y, l, rr);
    return region;
}

PixelRegion PixelRegion::FromPolygon(const TPoint* pts, int count, FillMode mode) {
    if (mode != FillMode::Alternate && mode != FillMode::Winding)
        throw Exception("Invalid polygon fill mode " + std::to_string(static_cast<int>(mode)));
    PixelRegion region;
    if (pts == nullptr || count < 3) return region;

    // An edge seen from its upper end; it crosses the centres of rows first <= y < last.
    struct Edge {
        std::int64_t ya, yb, xa, dx;
        int dir;
        std::int64_t first, last;
    };
    std::vector<Edge> edges;
    edges.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TPoint& p = pts[i];
        const TPoint& q = pts[(i + 1) % count];
        const std::int64_t px = Clamp(p.X), py = Clamp(p.Y), qx = Clamp(q.X), qy = Clamp(q.Y);
        if (py == qy) continue;
        Edge e = py < qy ? Edge{py, qy, px, qx - px, 1, 0, 0} : Edge{qy, py, qx, px - qx, -1, 0, 0};
        e.first = std::max<std::int64_t>(e.ya, kMinCoord);
        e.last = std::min<std::int64_t>(e.yb, kMaxCoord);
        if (e.first < e.last) edges.push_back(e);
    }
    if (edges.empty()) return region;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.first < b.first; });

    struct Crossing {
        std::int64_t x;  // the first pixel whose centre is at or right of the crossing
        int dir;
    };
    std::vector<const Edge*> active;
    std::vector<Crossing> crossings;
    std::size_t next = 0;
    std::int64_t y = edges.front().first;
    while (next < edges.size() || !active.empty()) {
        if (active.empty()) y = std::max(y, edges[next].first);
        while (next < edges.size() && edges[next].first <= y) active.push_back(&edges[next++]);
        crossings.clear();
        for (const Edge* e : active) {
            // The edge meets the row centre y + 0.5 at xa + (2y + 1 - 2ya) dx / 2D; pixel x is at
            // or right of it when x + 0.5 >= that, i.e. x >= ceil of the expression below.
            const std::int64_t d = e->yb - e->ya;
            const std::int64_t num = 2 * e->xa * d + (2 * y + 1 - 2 * e->ya) * e->dx - d;
            crossings.push_back({CeilDiv(num, 2 * d), e->dir});
        }
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        std::int64_t winding = 0;
        std::size_t i = 0;
        while (i < crossings.size()) {
            const std::int64_t x = crossings[i].x;
            while (i < crossings.size() && crossings[i].x == x) winding += crossings[i++].dir;
            const bool inside = mode == FillMode::Winding ? winding != 0 : (i % 2) == 1;
            if (inside && i < crossings.size()) Append(region.spans_, y, x, crossings[i].x);
        }
        ++y;
        active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->last <= y; }),
                     active.end());
    }
    return region;
}

PixelRegion PixelRegion::FromEllipse(TRect box) {
    PixelRegion region;
    const std::int64_t l = Clamp(box.Left), t = Clamp(box.Top), r = Clamp(box.Right), b = Clamp(box.Bottom);
    if (l >= r || t >= b) return region;
    // In doubled coordinates a pixel centre is (X, Y) = (2x + 1 - l - r, 2y + 1 - t - b) from the
    // centre, and it is inside when X^2 H^2 + Y^2 W^2 <= W^2 H^2. Only X^2 and Y^2 enter, so the
    // set is exactly symmetric about both axes.
    const std::int64_t w = r - l, h = b - t;
    const Int128 h2 = static_cast<Int128>(h) * h;
    const std::int64_t yFirst = std::max<std::int64_t>(t, kMinCoord);
    const std::int64_t yLast = std::min<std::int64_t>(b, kMaxCoord);
    for (std::int64_t y = yFirst; y < yLast; ++y) {
        const std::int64_t yy = 2 * y + 1 - t - b;
        const Int128 rest = h2 - static_cast<Int128>(yy) * yy;
        if (rest < 0) continue;
        const Int128 limit = static_cast<Int128>(w) * w * rest;  // X^2 H^2 must not exceed it
        // Largest m with m^2 H^2 <= limit: estimate in floating point, then settle exactly.
        std::int64_t m = static_cast<std::int64_t>(
            std::floor(static_cast<double>(w) * std::sqrt(static_cast<double>(rest)) / static_cast<double>(h)));
        m = std::clamp<std::int64_t>(m, 0, w);
        while (m > 0 && static_cast<Int128>(m) * m * h2 > limit) --m;
        while (m < w && static_cast<Int128>(m + 1) * (m + 1) * h2 <= limit) ++m;
        const std::int64_t s = l + r - 1;
        const std::int64_t x0 = CeilDiv(s - m, 2), x1 = FloorDiv(s + m, 2);
        if (x0 <= x1) Append(region.spans_, y, x0, x1 + 1);
    }
    return region;
}

PixelRegion PixelRegion::Combine(const PixelRegion& a, const PixelRegion& b, CombineMode mode) {
    if (mode < CombineMode::And || mode > CombineMode::Copy)
        throw Exception("Invalid region combine mode " + std::to_string(static_cast<int>(mode)));
    if (mode == CombineMode::Copy) return a;
    PixelRegion out;
    const auto& sa = a.spans_;
    const auto& sb = b.spans_;
    std::vector<std::int64_t> cuts;
    std::size_t i = 0, j = 0;
    while (i < sa.size() || j < sb.size()) {
        const std::int32_t y = (j == sb.size() || (i < sa.size() && sa[i].y < sb[j].y)) ? sa[i].y : sb[j].y;
        const std::size_t ie = (i < sa.size() && sa[i].y == y) ? RowEnd(sa, i) : i;
        const std::size_t je = (j < sb.size() && sb[j].y == y) ? RowEnd(sb, j) : j;
        cuts.clear();
        for (std::size_t k = i; k < ie; ++k) cuts.insert(cuts.end(), {sa[k].x0, sa[k].x1});
        for (std::size_t k = j; k < je; ++k) cuts.insert(cuts.end(), {sb[k].x0, sb[k].x1});
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        // Walk the pieces between consecutive cuts; each lies wholly inside or outside each row.
        std::size_t pa = i, pb = j;
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const std::int64_t x = cuts[k];
            while (pa < ie && sa[pa].x1 <= x) ++pa;
            while (pb < je && sb[pb].x1 <= x) ++pb;
            const bool inA = pa < ie && sa[pa].x0 <= x;
            const bool inB = pb < je && sb[pb].x0 <= x;
            if (Apply(mode, inA, inB)) Append(out.spans_, y, x, cuts[k + 1]);
        }
        i = ie;
        j = je;
    }
    return out;
}

bool PixelRegion::Contains(int x, int y) const {
    const auto it = std::partition_point(spans_.begin(), spans_.end(),
                                         [x, y](const Span& s) { return s.y < y || (s.y == y && s.x1 <= x); });
    return it != spans_.end() && it->y == y && it->x0 <= x;
}

bool PixelRegion::Empty() const { return spans_.empty(); }

TRect PixelRegion::Bounds() const {
    if (spans_.empty()) return {};
    TRect r{spans_.front().x0, spans_.front().y, spans_.front().x1, spans_.back().y + 1};
    for (const Span& s : spans_) {
        r.Left = std::min(r.Left, s.x0);
        r.Right = std::max(r.Right, s.x1);
    }
    return r;
}

const std::vector<PixelRegion::Span>& PixelRegion::Spans() const { return spans_; }

std::vector<TRect> PixelRegion::Rects() const {
    std::vector<TRect> rects;
    const auto sameIntervals = [this](std::size_t a, std::size_t ae, std::size_t b, std::size_t be) {
        if (ae - a != be - b) return false;
        for (std::size_t k = 0; k < ae - a; ++k)
            if (spans_[a + k].x0 != spans_[b + k].x0 || spans_[a + k].x1 != spans_[b + k].x1) return false;
        return true;
    };
    std::size_t i = 0;
    while (i < spans_.size()) {
        const std::size_t ie = RowEnd(spans_, i);
        std::int32_t bottom = spans_[i].y + 1;
        std::size_t j = ie;
        while (j < spans_.size() && spans_[j].y == bottom) {
            const std::size_t je = RowEnd(spans_, j);
            if (!sameIntervals(i, ie, j, je)) break;
            ++bottom;
            j = je;
        }
        for (std::size_t k = i; k < ie; ++k) rects.push_back({spans_[k].x0, spans_[i].y, spans_[k].x1, bottom});
        i = j;
    }
    return rects;
}

void PixelRegion::Offset(int dx, int dy) {
    std::vector<Span> moved;
    moved.reserve(spans_.size());
    for (const Span& s : spans_)
        Append(moved, std::int64_t{s.y} + dy, std::int64_t{s.x0} + dx, std::int64_t{s.x1} + dx);
    spans_ = std::move(moved);
}

ArcSweep ArcAngles(TRect box, TPoint start, TPoint end) {
    // Directions from the centre in doubled coordinates, so a half-pixel centre stays exact.
    const std::int64_t cx = std::int64_t{box.Left} + box.Right;
    const std::int64_t cy = std::int64_t{box.Top} + box.Bottom;
    struct Dir {
        std::int64_t x, y;
    };
    const auto direction = [cx, cy](TPoint p) {
        Dir d{2 * std::int64_t{p.X} - cx, 2 * std::int64_t{p.Y} - cy};
        if (d.x == 0 && d.y == 0) d.x = 1;
        return d;
    };
    const auto degrees = [](Dir d) {
        // Screen y grows downward, so the upward component is -y.
        double a = std::atan2(static_cast<double>(-d.y), static_cast<double>(d.x)) * (180.0 / std::numbers::pi);
        if (a < 0) a += 360.0;
        return a >= 360.0 ? 0.0 : a;
    };
    const Dir s = direction(start), e = direction(end);
    const double a0 = degrees(s);
    const Int128 cross = static_cast<Int128>(s.x) * e.y - static_cast<Int128>(s.y) * e.x;
    const Int128 dot = static_cast<Int128>(s.x) * e.x + static_cast<Int128>(s.y) * e.y;
    if (cross == 0 && dot > 0) return {a0, 360.0};
    double span = degrees(e) - a0;
    if (span <= 0) span += 360.0;
    return {a0, span};
}

}  // namespace gdi
