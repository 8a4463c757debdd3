// The window-system driver: what a backend must provide to the platform layer.
// The Qt backend lives in platform/qt/; another one would implement the same interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/classes.h"
#include "platform/graphics.h"
#include "platform/surface.h"
#include "platform/types.h"

namespace gdi { class PixelRegion; }

namespace backend {

// What a window reports back to its form. Calls arrive on the GUI thread.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // The window needs repainting: erase `dirty` of the client surface and paint.
    virtual void WindowPaint(TRect dirty) = 0;
    virtual void WindowMouseDown(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void WindowMouseMove(TShiftState shift, int x, int y) = 0;
    virtual void WindowMouseUp(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void WindowDblClick(TShiftState shift, int x, int y) = 0;
    virtual void WindowContextMenu(int screenX, int screenY) = 0;
    // The user asked to close the window (its close box); returns whether it may close.
    virtual void WindowCloseRequest() = 0;
    virtual void WindowShown() = 0;
    virtual void WindowMoved(int left, int top) = 0;
    virtual TSurface& WindowSurface() = 0;
};

// A push button of the window system, placed on a window.
class ButtonEvents {
public:
    virtual ~ButtonEvents() = default;
    virtual void ButtonClicked() = 0;
};

class ChildControl {
public:
    virtual ~ChildControl() = default;
    virtual void SetBounds(int left, int top, int width, int height) = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetFont(const TFont& font) = 0;
    virtual void SetFocus() = 0;
};

enum class WindowKind { Normal, Borderless, ToolWindow };

struct WindowStyle {
    WindowKind kind = WindowKind::Normal;
    bool stayOnTop = false;
    bool resizable = true;
};

class Window {
public:
    virtual ~Window() = default;
    virtual void SetStyle(const WindowStyle& style) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetBounds(int left, int top, int width, int height) = 0;
    virtual TRect Bounds() const = 0;            // left, top of the frame; width, height of the client
    virtual TPoint ClientOrigin() const = 0;     // screen position of the client's top-left
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() const = 0;
    virtual void Minimize() = 0;
    virtual void Restore() = 0;
    virtual void Realize() = 0;                  // create the native window now
    virtual bool Realized() const = 0;
    virtual std::uintptr_t NativeId() = 0;       // realizes
    virtual void SetShape(const gdi::PixelRegion* region) = 0;  // null: unshaped
    virtual void Invalidate(TRect r) = 0;        // schedule a repaint
    virtual void UpdateNow() = 0;                // carry out a pending repaint at once
    virtual void Present(TRect r) = 0;           // show r of the surface now
    virtual void SetCursor(int cursorId) = 0;
    virtual void SetModal(bool modal) = 0;
    virtual void RunModal(const std::function<bool()>& finished) = 0;  // other windows get no input meanwhile
    virtual void SetIcon(const std::vector<std::uint8_t>& imageData) = 0;
    virtual std::unique_ptr<ChildControl> CreateButton(ButtonEvents& events) = 0;
};

class Driver {
public:
    virtual ~Driver() = default;
    // Prepares the window system; throws Exception if it cannot be reached.
    virtual void Initialize() = 0;
    virtual bool Initialized() const = 0;
    virtual std::unique_ptr<Window> CreateWindow(WindowEvents& events) = 0;
    virtual void RunLoop(const std::function<bool()>& finished) = 0;
    virtual void ProcessMessages() = 0;
    virtual void Quit() = 0;
    virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
    virtual TRect ScreenRect() const = 0;        // primary screen
    virtual TRect DesktopRect() const = 0;       // all screens
    virtual TPoint CursorPos() const = 0;
    // Reads w x h pixels at (x, y) of the screen as displayed into dst (stride in pixels);
    // what lies outside the screen is black. Returns false if the screen could not be read.
    virtual bool ReadScreen(int x, int y, int w, int h, std::uint32_t* dst, int stride) = 0;
    virtual void StrokeLine(TSurface& s, TPoint a, TPoint b, TColor color, int width) = 0;
    virtual void StrokeArc(TSurface& s, TRect box, double startDegrees, double spanDegrees, TColor color, int width) = 0;
    virtual void DrawText(TSurface& s, TRect r, const std::string& text, const TFont& font, int alignment) = 0;
    virtual TPoint TextExtent(const std::string& text, const TFont& font) = 0;
    // Decodes an image file (.ico, .png) into ARGB pixels; false if it cannot.
    virtual bool DecodeImage(const std::vector<std::uint8_t>& data, int size, TSurface& out) = 0;
    virtual void Beep(unsigned type) = 0;
    virtual int LoadCursor(const std::vector<std::uint8_t>& curFile) = 0;  // returns a cursor id of the driver's
};

// The one driver of this build.
Driver& TheDriver();

}  // namespace backend
