#include "platform/surface.h"

#include <algorithm>
#include <cstring>

TRect ClipRect(TRect r, int w, int h) {
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, w);
    r.Bottom = std::min(r.Bottom, h);
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}

void TSurface::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    std::vector<std::uint32_t> next(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFFFFFFFFu);
    int w = std::min(width, width_), h = std::min(height, height_);
    for (int y = 0; w > 0 && y < h; ++y)
        std::memcpy(next.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), Row(y),
                    static_cast<std::size_t>(w) * sizeof(std::uint32_t));
    pixels_.swap(next);
    width_ = width;
    height_ = height;
}

TColor TSurface::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
    return ToColor(Row(y)[x]);
}

void TSurface::Fill(TRect r, TColor color) {
    r = ClipRect(r, width_, height_);
    const std::uint32_t p = ToPixel(color);
    for (int y = r.Top; y < r.Bottom; ++y) std::fill(Row(y) + r.Left, Row(y) + r.Right, p);
}

void TSurface::Draw(int x, int y, const TSurface& src) {
    TRect d = ClipRect(Rect(x, y, x + src.Width(), y + src.Height()), width_, height_);
    if (d.Width() <= 0) return;
    for (int row = d.Top; row < d.Bottom; ++row)
        std::memmove(Row(row) + d.Left, src.Row(row - y) + (d.Left - x),
                    static_cast<std::size_t>(d.Width()) * sizeof(std::uint32_t));
}
