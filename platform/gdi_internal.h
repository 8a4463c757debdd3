// What the handles of the Win32-like calls stand for. Internal to the platform layer.
#pragma once

#include "platform/gdi_geometry.h"
#include "platform/graphics.h"
#include "platform/windows.h"

class TForm;

struct DeviceContext {
    enum class Kind { Screen, Canvas };
    Kind kind = Kind::Canvas;
    TCanvas* canvas = nullptr;
};

struct GdiObject {
    virtual ~GdiObject() = default;
};

struct RegionObject : GdiObject {
    gdi::PixelRegion region;
    HWND owner = nullptr;  // set once a window has taken the region
};

struct WindowHandle {
    TForm* form = nullptr;
    HRGN region = nullptr;  // the outline the window was given; the window owns it
};

namespace gdi_internal {
void RegisterDC(DeviceContext* dc);
void UnregisterDC(DeviceContext* dc);
bool IsLiveDC(const DeviceContext* dc);
// Frees the region a window owns, when the window goes away.
void ReleaseWindowRegion(WindowHandle& window);
}
