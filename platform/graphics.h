// Pens, brushes, fonts, canvases and bitmaps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/classes.h"
#include "platform/surface.h"
#include "platform/types.h"

struct DeviceContext;
using HDC = DeviceContext*;

enum TPenStyle { psSolid, psDash, psDot, psClear };

class TPen {
public:
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
};

class TBrush {
public:
    TColor Color = clWhite;
};

enum TFontStyle : unsigned { fsBold = 1u << 0, fsItalic = 1u << 1, fsUnderline = 1u << 2, fsStrikeOut = 1u << 3 };
using TFontStyles = unsigned;

class TFont {
public:
    std::string Name = "Arial";
    int Height = -12;          // negative: character height in pixels
    TColor Color = clBlack;
    TFontStyles Style = 0;
    int Charset = 1;           // DEFAULT_CHARSET
    friend bool operator==(const TFont&, const TFont&) = default;
};

// Draws on a surface. A canvas of a window shows what it draws at once; one of a bitmap
// draws off-screen.
class TCanvas {
    TPen pen_;
    TBrush brush_;
    TFont font_;

public:
    explicit TCanvas(TSurface* surface);
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TPen* const Pen = &pen_;
    TBrush* const Brush = &brush_;
    TFont* const Font = &font_;

    void FillRect(const TRect& r);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    // The arc of the ellipse in (x1, y1)-(x2, y2), counter-clockwise from the ray through
    // (x3, y3) to the ray through (x4, y4).
    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Draw(int x, int y, class TGraphic* graphic);
    TPoint PenPos() const { return penPos_; }
    TColor Pixels(int x, int y) const { return surface_->Pixel(x, y); }

    HDC Handle();

    TSurface& Surface() { return *surface_; }
    // Called after each drawing operation with the rectangle it touched.
    virtual void Changed(const TRect& /*r*/) {}

private:
    TSurface* surface_;
    TPoint penPos_;
    std::unique_ptr<DeviceContext> dc_;
};

class TGraphic : public TObject {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual const TSurface* Pixels() const = 0;
};

class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    const char* ClassName() const override { return "TBitmap"; }
    int Width() const override { return surface_.Width(); }
    int Height() const override { return surface_.Height(); }
    void SetWidth(int w);
    void SetHeight(int h);
    TCanvas* Canvas() { return canvas_.get(); }
    const TSurface* Pixels() const override { return &surface_; }

    static int LiveCount();  // bitmaps that exist now

private:
    TSurface surface_;
    std::unique_ptr<TCanvas> canvas_;
};

// An icon picture loaded from the program's resources (an .ico file).
class TIcon : public TGraphic {
public:
    int Width() const override { return surface_.Width(); }
    int Height() const override { return surface_.Height(); }
    const TSurface* Pixels() const override { return &surface_; }
    // Picks the image of the given size out of the file; throws Exception if there is none.
    void LoadFromData(const std::vector<std::uint8_t>& icoFile, int size);
    const std::vector<std::uint8_t>& Data() const { return data_; }

private:
    TSurface surface_;
    std::vector<std::uint8_t> data_;
};
