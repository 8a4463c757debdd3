// A pixel buffer that canvases draw on: bitmaps and the client areas of windows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

// Pixels are 0xFFRRGGBB, row-major, stride == width.
class TSurface {
public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Keeps the pixels that still fit; new pixels are white, as a new bitmap is.
    void Resize(int width, int height);
    std::uint32_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
    const std::uint32_t* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
    std::uint32_t* Bits() { return pixels_.data(); }
    const std::uint32_t* Bits() const { return pixels_.data(); }
    TColor Pixel(int x, int y) const;  // clBlack outside

    void Fill(TRect r, TColor color);
    // Copies all of `src` with its top-left at (x, y), clipped to this surface.
    void Draw(int x, int y, const TSurface& src);

    static std::uint32_t ToPixel(TColor c) {
        return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
               (static_cast<std::uint32_t>(GetGValue(c)) << 8) | static_cast<std::uint32_t>(GetBValue(c));
    }
    static TColor ToColor(std::uint32_t p) {
        return RGB(static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF));
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Clips r to (0, 0, w, h).
TRect ClipRect(TRect r, int w, int h);
