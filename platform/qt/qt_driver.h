// The Qt 6 driver. Only the Qt backend includes this.
#pragma once

#include <QCursor>
#include <map>
#include <memory>

#include "platform/backend.h"

class QApplication;
class QWidget;

std::unique_ptr<backend::ChildControl> MakeQtButton(QWidget* parent, backend::ButtonEvents& events);
struct xcb_connection_t;

class QtDriver : public backend::Driver {
public:
    void Initialize() override;
    bool Initialized() const override { return app_ != nullptr; }
    void RequireInitialized() const;
    void Shutdown();
    std::unique_ptr<backend::Window> CreateWindow(backend::WindowEvents& events) override;
    void RunLoop(const std::function<bool()>& finished) override;
    void ProcessMessages() override;
    void Quit() override;
    void ShowMessage(const std::string& title, const std::string& text) override;
    TRect ScreenRect() const override;
    TRect DesktopRect() const override;
    TPoint CursorPos() const override;
    bool ReadScreen(int x, int y, int w, int h, std::uint32_t* dst, int stride) override;
    void StrokeLine(TSurface& s, TPoint a, TPoint b, TColor color, int width) override;
    void StrokeArc(TSurface& s, TRect box, double startDegrees, double spanDegrees, TColor color, int width) override;
    void DrawText(TSurface& s, TRect r, const std::string& text, const TFont& font, int alignment) override;
    TPoint TextExtent(const std::string& text, const TFont& font) override;
    bool DecodeImage(const std::vector<std::uint8_t>& data, int size, TSurface& out) override;
    void Beep(unsigned type) override;
    int LoadCursor(const std::vector<std::uint8_t>& curFile) override;

    const QCursor* Cursor(int id) const;
    // Where the window's client area lies on the screen, as the X server has it.
    bool WindowOrigin(std::uintptr_t window, TPoint* origin) const;
    int Beeps() const { return beeps_; }
    // Makes every screen read fail, as on a display that forbids it.
    void SetFailScreenReads(bool fail) { failScreenReads_ = fail; }

private:
    bool ReadScreenSlow(int x, int y, int w, int h, std::uint32_t* dst, int stride);

    std::unique_ptr<QApplication> app_;
    xcb_connection_t* xcb_ = nullptr;
    std::uint32_t root_ = 0;
    int rootWidth_ = 0, rootHeight_ = 0, rootDepth_ = 0, rootBpp_ = 0;
    bool failScreenReads_ = false;
    int beeps_ = 0;
    std::map<int, QCursor> cursors_;
    int nextCursor_ = 1;
};
