// Small helpers shared by the tests that run the built program.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lens/lens_geometry.h"
#include "tests/xharness/xharness.h"

namespace program_support {

// The screen of the tests' X servers.
constexpr int kScreenW = 1024, kScreenH = 768;

inline std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", v);
    return buf;
}

// What a program wrote on standard error, less Qt's notices about its runtime directory.
inline std::vector<std::string> UnexpectedLines(const std::string& err) {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.rfind("QStandardPaths", 0) != 0) lines.push_back(line);
    return lines;
}

inline std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "\n  | " + l;
    return out;
}

// Whether (x, y) lies in a window shape given as {x, y, width, height} rectangles.
inline bool InShape(const std::vector<std::array<int, 4>>& rects, int x, int y) {
    return std::any_of(rects.begin(), rects.end(), [&](const std::array<int, 4>& r) {
        return x >= r[0] && y >= r[1] && x < r[0] + r[2] && y < r[1] + r[3];
    });
}

// Whether lens pixel (i, j) shows a screen pixel inside the lens's own box, where the lens sees
// itself and the picture depends on what the window showed the moment before.
inline bool SeesItself(const xh::Client::Geometry& g, TPoint src, int zoom, int i, int j) {
    const int sx = src.X + i / zoom, sy = src.Y + j / zoom;
    return sx >= g.x && sx < g.x + g.width && sy >= g.y && sy < g.y + g.height;
}

// The lens at g shows the root picture around its capture square enlarged zoom times: every
// lens pixel of a zoom x zoom block equals the one root pixel the block stands for. Only the
// disc well inside the rim is compared, and only where the source lies outside the lens.
inline ::testing::AssertionResult ShowsMagnified(xh::Client& x, const xh::Client::Geometry& g, LensCorner c, int zoom) {
    const int s = g.width;
    const int q = s / zoom;
    const xh::Image img = x.Grab(g.x, g.y, s, s);
    const TPoint src = CaptureSquare(g.x, g.y, s, q, c);
    const double centre = (s - 1) / 2.0, radius = s / 2.0 - 14;
    int checked = 0, wrong = 0;
    std::string first;
    for (int j = 0; j < s; ++j)
        for (int i = 0; i < s; ++i) {
            if ((i - centre) * (i - centre) + (j - centre) * (j - centre) > radius * radius) continue;
            if (SeesItself(g, src, zoom, i, j)) continue;
            const int sx = src.X + i / zoom, sy = src.Y + j / zoom;
            if (sx < 0 || sy < 0 || sx >= kScreenW || sy >= kScreenH) continue;
            ++checked;
            const std::uint32_t got = img.At(i, j), want = xh::PatternPixel(sx, sy);
            if (got != want && wrong++ == 0)
                first = "lens (" + std::to_string(i) + ", " + std::to_string(j) + ") shows " + Hex(got) +
                        ", want root (" + std::to_string(sx) + ", " + std::to_string(sy) + ") = " + Hex(want);
        }
    if (checked < s * s / 4)
        return ::testing::AssertionFailure() << "only " << checked << " pixels could be compared";
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " of " << checked << " pixels wrong for a " << s
                                         << "-pixel lens at (" << g.x << ", " << g.y << "), x" << zoom
                                         << ", capturing from (" << src.X << ", " << src.Y << "); first: " << first;
}

// Colours met walking from (x, y) by (dx, dy) for n pixels, with repeats collapsed.
inline std::vector<std::uint32_t> Runs(const xh::Image& img, int x, int y, int dx, int dy, int n) {
    std::vector<std::uint32_t> runs;
    for (int k = 0; k < n; ++k) {
        const std::uint32_t p = img.At(x + k * dx, y + k * dy);
        if (runs.empty() || runs.back() != p) runs.push_back(p);
    }
    return runs;
}

}  // namespace program_support
