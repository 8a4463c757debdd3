// Forms, the application object and the screen.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/windows.h"

class TPopupMenu;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : unsigned { biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2, biHelp = 1u << 3 };
using TBorderIcons = unsigned;
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter };

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;

class TForm : public TControl, private backend::WindowEvents {
public:
    static constexpr const char* StaticClassName = "TForm";
    explicit TForm(TComponent* AOwner);
    ~TForm() override;
    const char* ClassName() const override { return StaticClassName; }

    // The component fields and handlers a form class publishes for its stored definition.
    virtual const TPublishedTable& Published() const;
    // Reads the form's stored definition (the resource named after its class) and fires OnCreate.
    void Create();
    // The same from a given text, for definitions that are not among the program's resources.
    void CreateFrom(const std::string& definition, const std::string& resourceName);

    void SetBounds(int left, int top, int width, int height) override;
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }
    void SetClientWidth(int v) { SetWidth(v); }
    void SetClientHeight(int v) { SetHeight(v); }
    void SetCaption(const std::string& caption) override;
    void SetVisible(bool visible) override;
    void SetColor(TColor color) override;
    void SetCursor(int cursor) override;

    TPoint ClientToScreen(TPoint p) const override;
    TCanvas* Canvas() { return canvas_.get(); }
    HWND Handle();
    bool HandleAllocated() const;
    void Update();
    void Invalidate() override;
    void Repaint();
    void Close();
    void Hide() { SetVisible(false); }
    void Show() { SetVisible(true); }
    TModalResult ShowModal();
    TModalResult ModalResult = mrNone;
    bool Showing() const;

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    TBorderIcons BorderIcons = biSystemMenu | biMinimize | biMaximize;
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);
    TPosition Position = poDesigned;
    TPopupMenu* PopupMenu = nullptr;
    bool Scaled = true;
    void SetIcon(const std::vector<std::uint8_t>& icoFile);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnPaint;
    TCloseEvent OnClose;

    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;
    void AddChild(TReader& reader, TComponent* child) override;

    // Graphic controls placed on this form, in creation order (painted in that order).
    const std::vector<TControl*>& Controls() const { return controls_; }
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void InvalidateRect(const TRect& r);

    backend::Window& Window() { return *window_; }
    // The window title the window system shows (the main form shows the application title).
    void UpdateWindowTitle();

protected:
    virtual void Paint();
    virtual void DoClose(TCloseAction& action);

private:
    // backend::WindowEvents
    void WindowPaint(TRect dirty) override;
    void WindowMouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void WindowMouseMove(TShiftState shift, int x, int y) override;
    void WindowMouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void WindowDblClick(TShiftState shift, int x, int y) override;
    void WindowContextMenu(int screenX, int screenY) override;
    void WindowCloseRequest() override;
    void WindowShown() override;
    void WindowMoved(int left, int top) override;
    TSurface& WindowSurface() override { return surface_; }

    TControl* ControlAt(int x, int y) const;
    void SetHovered(TControl* control);
    void ApplyStyle();

    class FormCanvas;
    TSurface surface_;
    std::unique_ptr<backend::Window> window_;
    std::unique_ptr<TCanvas> canvas_;
    std::unique_ptr<WindowHandle> handle_;
    std::vector<TControl*> controls_;
    TControl* captured_ = nullptr;   // the control that took the press
    TControl* hovered_ = nullptr;
    TFormBorderStyle borderStyle_ = bsSizeable;
    TFormStyle formStyle_ = fsNormal;
    bool painting_ = false;
    bool shownOnce_ = false;
    bool modal_ = false;
    bool closing_ = false;
    bool visibleRequested_ = false;
};

class TApplication : public TComponent {
public:
    static constexpr const char* StaticClassName = "TApplication";
    TApplication();
    ~TApplication() override;
    const char* ClassName() const override { return StaticClassName; }

    // Connects to the window system; throws Exception if there is none to connect to.
    void Initialize();
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // Creates a form of class T: the reference is set first, so that handlers that run while
    // the form is created may use it; the first form created becomes the main form.
    template <class T>
    void CreateForm(T*& reference) {
        T* form = new T(this);
        reference = form;
        references_.push_back({reinterpret_cast<TForm**>(&reference), form});
        if (!mainForm_) mainForm_ = form;
        try {
            form->Create();
        } catch (...) {
            delete form;
            throw;
        }
    }
    // Shows the main form and dispatches messages until the main form has been closed;
    // the forms are destroyed afterwards.
    void Run();
    void ProcessMessages();
    void Terminate();
    bool Terminated() const { return terminated_; }
    TForm* MainForm() const { return mainForm_; }

    // Shows the message of an exception in a message box (and on standard error).
    void ShowException(const std::exception& e);
    // Where an exception that escaped an event handler ends up.
    void HandleException(const std::exception& e);
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }

    // Forget a form that is going away.
    void FormDestroyed(TForm* form);

private:
    std::string title_;
    TForm* mainForm_ = nullptr;
    struct Reference { TForm** where; TForm* form; };
    std::vector<Reference> references_;
    bool terminated_ = false;
    bool minimized_ = false;
    bool running_ = false;
};

extern TApplication* Application;

class TScreen {
public:
    int Width() const;
    int Height() const;
    // The cursor table: numbers to window-system cursors.
    void SetCursors(int index, HCURSOR cursor);
    HCURSOR Cursors(int index) const;

private:
    std::map<int, HCURSOR> cursors_;
};

extern TScreen* Screen;

// Runs an event handler; an exception that escapes it is shown and the program goes on.
template <class F>
void Guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        Application->HandleException(e);
    } catch (...) {
        Application->HandleException(Exception("An unknown exception was raised"));
    }
}
