// Small helpers shared by the tests that run the built program.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace program_support {

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

}  // namespace program_support
