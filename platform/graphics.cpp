#include "platform/graphics.h"

#include <algorithm>
#include <atomic>

#include "platform/backend.h"
#include "platform/gdi_geometry.h"
#include "platform/gdi_internal.h"

TCanvas::TCanvas(TSurface* surface) : surface_(surface), dc_(std::make_unique<DeviceContext>()) {
    dc_->kind = DeviceContext::Kind::Canvas;
    dc_->canvas = this;
    gdi_internal::RegisterDC(dc_.get());
}

TCanvas::~TCanvas() { gdi_internal::UnregisterDC(dc_.get()); }

HDC TCanvas::Handle() { return dc_.get(); }

void TCanvas::FillRect(const TRect& r) {
    surface_->Fill(r, Brush->Color);
    Changed(r);
}

void TCanvas::MoveTo(int x, int y) { penPos_ = Point(x, y); }

namespace {
TRect Around(TPoint a, TPoint b, int width) {
    int m = width / 2 + 2;
    return Rect(std::min(a.X, b.X) - m, std::min(a.Y, b.Y) - m, std::max(a.X, b.X) + m + 1, std::max(a.Y, b.Y) + m + 1);
}
}  // namespace

void TCanvas::LineTo(int x, int y) {
    TPoint to = Point(x, y);
    if (Pen->Style != psClear) {
        backend::TheDriver().StrokeLine(*surface_, penPos_, to, Pen->Color, std::max(Pen->Width, 1));
        Changed(Around(penPos_, to, Pen->Width));
    }
    penPos_ = to;
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    if (Pen->Style == psClear) return;
    TRect box = Rect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
    if (box.Width() <= 0 || box.Height() <= 0) return;
    gdi::ArcSweep sweep = gdi::ArcAngles(box, Point(x3, y3), Point(x4, y4));
    backend::TheDriver().StrokeArc(*surface_, box, sweep.startDegrees, sweep.spanDegrees, Pen->Color,
                                   std::max(Pen->Width, 1));
    int m = Pen->Width / 2 + 2;
    Changed(Rect(box.Left - m, box.Top - m, box.Right + m, box.Bottom + m));
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || !graphic->Pixels()) return;
    surface_->Draw(x, y, *graphic->Pixels());
    Changed(Rect(x, y, x + graphic->Width(), y + graphic->Height()));
}

namespace {
std::atomic<int> liveBitmaps{0};
}

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(&surface_)) { ++liveBitmaps; }
TBitmap::~TBitmap() { --liveBitmaps; }
int TBitmap::LiveCount() { return liveBitmaps.load(); }

void TBitmap::SetWidth(int w) { surface_.Resize(w, surface_.Height()); }
void TBitmap::SetHeight(int h) { surface_.Resize(surface_.Width(), h); }

void TIcon::LoadFromData(const std::vector<std::uint8_t>& icoFile, int size) {
    TSurface decoded;
    if (!backend::TheDriver().DecodeImage(icoFile, size, decoded))
        throw Exception("the icon cannot be read");
    surface_ = std::move(decoded);
    data_ = icoFile;
}
