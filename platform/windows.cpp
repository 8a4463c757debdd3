#include "platform/windows.h"

#include <algorithm>
#include <set>
#include <vector>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/gdi_internal.h"
#include "platform/streaming.h"

HINSTANCE HInstance = nullptr;

namespace {
std::set<const DeviceContext*>& LiveDCs() {
    static std::set<const DeviceContext*> s;
    return s;
}
int screenDCs = 0;

std::set<const GdiObject*>& LiveObjects() {
    static std::set<const GdiObject*> s;
    return s;
}

RegionObject* AsRegion(HRGN h) {
    return h && LiveObjects().count(h) ? h : nullptr;
}

HRGN NewRegion(gdi::PixelRegion r) {
    auto* obj = new RegionObject;
    obj->region = std::move(r);
    LiveObjects().insert(obj);
    return obj;
}

void FreeRegion(RegionObject* r) {
    LiveObjects().erase(r);
    delete r;
}

int Kind(const gdi::PixelRegion& r) {
    if (r.Empty()) return NULLREGION;
    return r.Rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
}  // namespace

namespace gdi_internal {
void RegisterDC(DeviceContext* dc) { LiveDCs().insert(dc); }
void UnregisterDC(DeviceContext* dc) { LiveDCs().erase(dc); }
bool IsLiveDC(const DeviceContext* dc) { return dc && LiveDCs().count(dc); }
void ReleaseWindowRegion(WindowHandle& window) {
    if (RegionObject* r = AsRegion(window.region)) FreeRegion(r);
    window.region = nullptr;
}
}  // namespace gdi_internal

HDC GetDC(HWND hwnd) {
    if (hwnd) {
        // A window's own device context is its canvas's.
        return hwnd->form ? hwnd->form->Canvas()->Handle() : nullptr;
    }
    auto* dc = new DeviceContext;
    dc->kind = DeviceContext::Kind::Screen;
    gdi_internal::RegisterDC(dc);
    ++screenDCs;
    return dc;
}

int ReleaseDC(HWND /*hwnd*/, HDC dc) {
    if (!gdi_internal::IsLiveDC(dc) || dc->kind != DeviceContext::Kind::Screen) return 0;
    gdi_internal::UnregisterDC(dc);
    --screenDCs;
    delete dc;
    return 1;
}

BOOL StretchBlt(HDC dest, int xDest, int yDest, int wDest, int hDest, HDC src, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop) {
    if (rop != SRCCOPY) return FALSE;
    if (!gdi_internal::IsLiveDC(dest) || !gdi_internal::IsLiveDC(src)) return FALSE;
    if (dest->kind != DeviceContext::Kind::Canvas) return FALSE;  // the screen is read, never written
    if (wDest <= 0 || hDest <= 0 || wSrc <= 0 || hSrc <= 0) return FALSE;
    // Far beyond any screen; refuse rather than allocate without bound.
    constexpr long long kMaxPixels = 1LL << 26;
    if (static_cast<long long>(wSrc) * hSrc > kMaxPixels || static_cast<long long>(wDest) * hDest > kMaxPixels)
        return FALSE;

    // The source pixels, read once into a buffer that lives as long as the program.
    static std::vector<std::uint32_t> scratch;
    scratch.resize(static_cast<std::size_t>(wSrc) * static_cast<std::size_t>(hSrc));
    if (src->kind == DeviceContext::Kind::Screen) {
        if (!backend::TheDriver().ReadScreen(xSrc, ySrc, wSrc, hSrc, scratch.data(), wSrc)) return FALSE;
    } else {
        const TSurface& s = src->canvas->Surface();
        for (int y = 0; y < hSrc; ++y)
            for (int x = 0; x < wSrc; ++x) {
                int sx = xSrc + x, sy = ySrc + y;
                scratch[static_cast<std::size_t>(y) * static_cast<std::size_t>(wSrc) + static_cast<std::size_t>(x)] =
                    (sx >= 0 && sy >= 0 && sx < s.Width() && sy < s.Height()) ? s.Row(sy)[sx] : 0xFF000000u;
            }
    }

    // Nearest-neighbour stretch: destination pixel d takes source pixel d * wSrc / wDest.
    TSurface& d = dest->canvas->Surface();
    TRect clip = ClipRect(Rect(xDest, yDest, xDest + wDest, yDest + hDest), d.Width(), d.Height());
    static std::vector<int> columns;
    columns.resize(static_cast<std::size_t>(std::max(clip.Width(), 0)));
    for (int x = clip.Left; x < clip.Right; ++x)
        columns[static_cast<std::size_t>(x - clip.Left)] =
            static_cast<int>(static_cast<long long>(x - xDest) * wSrc / wDest);
    for (int y = clip.Top; y < clip.Bottom; ++y) {
        int sy = static_cast<int>(static_cast<long long>(y - yDest) * hSrc / hDest);
        const std::uint32_t* srow = scratch.data() + static_cast<std::size_t>(sy) * static_cast<std::size_t>(wSrc);
        std::uint32_t* drow = d.Row(y);
        for (int x = clip.Left; x < clip.Right; ++x) drow[x] = srow[columns[static_cast<std::size_t>(x - clip.Left)]];
    }
    dest->canvas->Changed(clip);
    return TRUE;
}

HRGN CreatePolygonRgn(const TPoint* points, int count, int fillMode) {
    if (!points || count < 0) return nullptr;
    gdi::FillMode mode = fillMode == WINDING ? gdi::FillMode::Winding : gdi::FillMode::Alternate;
    return NewRegion(gdi::PixelRegion::FromPolygon(points, count, mode));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
    return NewRegion(gdi::PixelRegion::FromEllipse(Rect(std::min(left, right), std::min(top, bottom),
                                                        std::max(left, right), std::max(top, bottom))));
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return NewRegion(gdi::PixelRegion::FromRect(Rect(std::min(left, right), std::min(top, bottom),
                                                     std::max(left, right), std::max(top, bottom))));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    RegionObject* d = AsRegion(dest);
    RegionObject* a = AsRegion(src1);
    if (!d || !a || mode < RGN_AND || mode > RGN_COPY) return ERROR_REGION;
    if (mode == RGN_COPY) {
        d->region = a->region;
        return Kind(d->region);
    }
    RegionObject* b = AsRegion(src2);
    if (!b) return ERROR_REGION;
    d->region = gdi::PixelRegion::Combine(a->region, b->region, static_cast<gdi::CombineMode>(mode));
    return Kind(d->region);
}

BOOL PtInRegion(HRGN region, int x, int y) {
    RegionObject* r = AsRegion(region);
    return r && r->region.Contains(x, y) ? TRUE : FALSE;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (!object || !LiveObjects().count(object)) return FALSE;
    if (auto* r = dynamic_cast<RegionObject*>(object)) {
        // A region that a window has taken belongs to the window system.
        if (r->owner) return FALSE;
        FreeRegion(r);
        return TRUE;
    }
    return FALSE;
}

BOOL DeleteObject(HRGN region) { return DeleteObject(static_cast<HGDIOBJ>(region)); }

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
    if (!hwnd || !hwnd->form) return 0;
    RegionObject* r = AsRegion(region);
    if (region && (!r || (r->owner && r->owner != hwnd))) return 0;
    if (hwnd->region != region) gdi_internal::ReleaseWindowRegion(*hwnd);
    hwnd->region = r;
    if (r) r->owner = hwnd;
    hwnd->form->Window().SetShape(r ? &r->region : nullptr);
    if (redraw) hwnd->form->Invalidate();
    return 1;
}

BOOL GetCursorPos(TPoint* point) {
    if (!point) return FALSE;
    *point = backend::TheDriver().CursorPos();
    return TRUE;
}

BOOL PtInRect(const TRect* rect, TPoint p) {
    return rect && p.X >= rect->Left && p.X < rect->Right && p.Y >= rect->Top && p.Y < rect->Bottom ? TRUE : FALSE;
}

BOOL MessageBeep(UINT type) {
    backend::TheDriver().Beep(type);
    return TRUE;
}

HCURSOR LoadCursor(HINSTANCE /*instance*/, const char* name) {
    if (!name) return 0;
    const std::string* data = FindResource(name);
    if (!data) return 0;
    return backend::TheDriver().LoadCursor(std::vector<std::uint8_t>(data->begin(), data->end()));
}

int LiveRegionCount() { return static_cast<int>(LiveObjects().size()); }
int LiveDeviceContextCount() { return screenDCs; }
