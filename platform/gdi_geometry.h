// Pixel sets and arc arithmetic behind the platform's regions and its Arc call.
// No window system here: backends turn a PixelRegion into their own clip shapes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace gdi {

enum class FillMode : int { Alternate = 1, Winding = 2 };
enum class CombineMode : int { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

// Every region lives inside the square of pixels with -32768 <= x, y < 32768; whatever a shape
// covers beyond it is cut off, so no region holds more than 65536 rows. Input coordinates are
// first clamped to +-(1 << 24), far beyond that square, which keeps the arithmetic exact.
// Invalid fill or combine modes throw Exception.
class PixelRegion {
public:
    // Pixels x0 <= x < x1 on row y; sorted by y then x0; no overlaps, no touching spans.
    struct Span {
        std::int32_t y, x0, x1;
        friend bool operator==(const Span&, const Span&) = default;
    };

    static constexpr std::int32_t kMinCoord = -32768;
    static constexpr std::int32_t kMaxCoord = 32768;  // excluded

    static PixelRegion FromRect(TRect r);
    // A pixel belongs when its centre (x + 0.5, y + 0.5) is inside under the fill rule. A centre
    // exactly on an edge belongs to the shape on the edge's right, so two polygons sharing an
    // edge never both claim a pixel. Fewer than 3 points, or a null pointer, give an empty region.
    static PixelRegion FromPolygon(const TPoint* pts, int count, FillMode mode);
    // Pixel centres within the ellipse inscribed in box, the box's right and bottom edges excluded.
    static PixelRegion FromEllipse(TRect box);
    static PixelRegion Combine(const PixelRegion& a, const PixelRegion& b, CombineMode mode);

    bool Contains(int x, int y) const;
    bool Empty() const;
    TRect Bounds() const;  // (0, 0, 0, 0) when empty
    const std::vector<Span>& Spans() const;
    // The same set as rectangles; consecutive rows with identical spans share one band.
    std::vector<TRect> Rects() const;
    // Pixels moved outside the coordinate square are dropped.
    void Offset(int dx, int dy);

    friend bool operator==(const PixelRegion&, const PixelRegion&) = default;

private:
    std::vector<Span> spans_;
};

struct ArcSweep {
    double startDegrees;
    double spanDegrees;
};

// Arc(box, start, end) as the platform draws it: from the ray through `start` counter-clockwise on
// the screen (y grows downward) to the ray through `end`; rays from the box centre; 0 degrees is
// 3 o'clock, angles grow counter-clockwise on screen; start in [0, 360), span in (0, 360]
// (equal rays give a full 360). A point on the centre counts as lying on the 0-degree ray.
ArcSweep ArcAngles(TRect box, TPoint start, TPoint end);

}  // namespace gdi
