#include "platform/forms.h"

#include <algorithm>
#include <cstdio>

#include "platform/gdi_internal.h"
#include "platform/menus.h"
#include "platform/streaming.h"

TApplication* Application = new TApplication;
TScreen* Screen = new TScreen;

// A window's canvas shows what it draws at once, except while the window paints, when
// the whole picture is shown at the end.
class TForm::FormCanvas : public TCanvas {
public:
    FormCanvas(TForm& form, TSurface* surface) : TCanvas(surface), form_(form) {}
    void Changed(const TRect& r) override {
        if (form_.painting_ || !form_.window_ || !form_.window_->Visible()) return;
        TRect clip = ClipRect(r, form_.Width(), form_.Height());
        if (clip.Width() > 0 && clip.Height() > 0) form_.window_->Present(clip);
    }

private:
    TForm& form_;
};

TForm::TForm(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<FormCanvas>(*this, &surface_)),
      handle_(std::make_unique<WindowHandle>()) {
    handle_->form = this;
    window_ = backend::TheDriver().CreateWindow(*this);
    TControl::SetVisible(false);
    SetColor(0xF0F0F0);
    ApplyStyle();
}

TForm::~TForm() {
    if (Application) Application->FormDestroyed(this);
    for (TControl* c : std::vector<TControl*>(controls_)) c->SetParent(nullptr);
    if (window_) window_->SetVisible(false);
    window_.reset();
    gdi_internal::ReleaseWindowRegion(*handle_);
    handle_->form = nullptr;
}

const TPublishedTable& TForm::Published() const {
    static const TPublishedTable none;
    return none;
}

void TForm::Create() {
    const std::string* text = FindResource(ClassName());
    if (!text) throw Exception(std::string("no stored definition for ") + ClassName());
    CreateFrom(*text, ClassName());
}

void TForm::CreateFrom(const std::string& definition, const std::string& resourceName) {
    bool showAfter = false;
    {
        dfm::Object object = dfm::Parse(definition, resourceName);
        TReader reader(resourceName, this, Published());
        visibleRequested_ = false;
        reader.Read(object);
        showAfter = visibleRequested_;
    }
    if (OnCreate) OnCreate(this);
    if (showAfter && Application->MainForm() != this) Show();
}

void TForm::ApplyStyle() {
    backend::WindowStyle style;
    switch (borderStyle_) {
        case bsNone: style.kind = backend::WindowKind::Borderless; break;
        case bsToolWindow:
        case bsSizeToolWin: style.kind = backend::WindowKind::ToolWindow; break;
        default: style.kind = backend::WindowKind::Normal; break;
    }
    style.resizable = borderStyle_ == bsSizeable || borderStyle_ == bsSizeToolWin;
    style.stayOnTop = formStyle_ == fsStayOnTop;
    window_->SetStyle(style);
    UpdateWindowTitle();
}

void TForm::UpdateWindowTitle() {
    // The program's taskbar entry carries the application title, as its main window.
    bool main = Application && Application->MainForm() == this;
    window_->SetTitle(main && !Application->Title().empty() ? Application->Title() : Caption());
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
    borderStyle_ = style;
    ApplyStyle();
}

void TForm::SetFormStyle(TFormStyle style) {
    formStyle_ = style;
    ApplyStyle();
}

void TForm::SetIcon(const std::vector<std::uint8_t>& icoFile) { window_->SetIcon(icoFile); }

void TForm::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    bool resized = width != Width() || height != Height();
    StoreBounds(left, top, width, height);
    if (resized) surface_.Resize(width, height);
    window_->SetBounds(left, top, width, height);
}

void TForm::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    UpdateWindowTitle();
}

void TForm::SetColor(TColor color) {
    TControl::SetColor(color);
    Invalidate();
}

void TForm::SetCursor(int cursor) {
    TControl::SetCursor(cursor);
    if (!hovered_) window_->SetCursor(Screen->Cursors(cursor));
}

void TForm::SetVisible(bool visible) {
    if (visible == Visible()) return;
    if (visible) {
        if (!shownOnce_) {
            shownOnce_ = true;
            TRect area = Position == poScreenCenter ? backend::TheDriver().ScreenRect()
                         : Position == poDesktopCenter ? backend::TheDriver().DesktopRect()
                                                       : TRect{};
            if (area.Width() > 0)
                SetBounds(area.Left + (area.Width() - Width()) / 2, area.Top + (area.Height() - Height()) / 2,
                          Width(), Height());
        }
        TControl::SetVisible(true);
        if (OnShow) OnShow(this);
        window_->SetVisible(true);
    } else {
        TControl::SetVisible(false);
        SetHovered(nullptr);
        captured_ = nullptr;
        if (OnHide) OnHide(this);
        window_->SetVisible(false);
    }
}

HWND TForm::Handle() {
    window_->Realize();
    return handle_.get();
}

bool TForm::HandleAllocated() const { return window_->Realized(); }

void TForm::Update() {
    if (!painting_) window_->UpdateNow();
}

void TForm::Invalidate() { window_->Invalidate(ClientRect()); }

void TForm::InvalidateRect(const TRect& r) { window_->Invalidate(r); }

void TForm::Repaint() {
    Invalidate();
    Update();
}

TPoint TForm::ClientToScreen(TPoint p) const {
    TPoint origin = window_->ClientOrigin();
    return Point(origin.X + p.X, origin.Y + p.Y);
}

bool TForm::Showing() const { return window_->Visible(); }

void TForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TForm::Close() {
    if (closing_) return;
    closing_ = true;
    TCloseAction action = caHide;
    try {
        DoClose(action);
    } catch (...) {
        closing_ = false;
        throw;
    }
    closing_ = false;
    if (action == caNone) return;
    if (modal_) {
        if (ModalResult == mrNone) ModalResult = mrCancel;
        return;
    }
    if (Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    if (action == caMinimize) window_->Minimize();
    else Hide();
}

TModalResult TForm::ShowModal() {
    if (modal_ || Visible()) throw Exception("Cannot make a visible window modal");
    modal_ = true;
    ModalResult = mrNone;
    window_->SetModal(true);
    Show();
    window_->RunModal([this] { return ModalResult != mrNone || Application->Terminated(); });
    TModalResult result = ModalResult;
    Hide();
    window_->SetModal(false);
    modal_ = false;
    return result;
}

void TForm::Paint() {
    if (OnPaint) OnPaint(this);
}

void TForm::InsertControl(TControl* control) {
    controls_.push_back(control);
    InvalidateRect(control->BoundsRect());
}

void TForm::RemoveControl(TControl* control) {
    if (hovered_ == control) hovered_ = nullptr;
    if (captured_ == control) captured_ = nullptr;
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    InvalidateRect(control->BoundsRect());
}

TControl* TForm::ControlAt(int x, int y) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->HitTest(x, y)) return *it;
    return nullptr;
}

void TForm::SetHovered(TControl* control) {
    if (hovered_ == control) return;
    TControl* old = hovered_;
    hovered_ = control;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (control) control->Perform(CM_MOUSEENTER);
    int cursor = control && control->Cursor() != crDefault ? control->Cursor() : TControl::Cursor();
    window_->SetCursor(Screen->Cursors(cursor));
}

// Window events. Each runs guarded: an exception is shown and the program goes on.

void TForm::WindowPaint(TRect dirty) {
    if (painting_) return;
    painting_ = true;
    Guarded([&] {
        surface_.Fill(dirty, Color());
        Paint();
        for (TControl* c : controls_)
            if (c->Visible()) c->PaintOn(surface_);
    });
    painting_ = false;
}

void TForm::WindowMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    Guarded([&] {
        if (!captured_) captured_ = ControlAt(x, y);
        if (captured_) captured_->MouseDown(button, shift, x - captured_->Left(), y - captured_->Top());
        else MouseDown(button, shift, x, y);
    });
}

void TForm::WindowMouseMove(TShiftState shift, int x, int y) {
    Guarded([&] {
        if (captured_ && !(shift & (ssLeft | ssRight | ssMiddle))) captured_ = nullptr;
        if (captured_) {
            captured_->MouseMove(shift, x - captured_->Left(), y - captured_->Top());
            return;
        }
        TControl* over = (x >= 0 && y >= 0 && x < Width() && y < Height()) ? ControlAt(x, y) : nullptr;
        SetHovered(over);
        if (over) over->MouseMove(shift, x - over->Left(), y - over->Top());
        else MouseMove(shift, x, y);
    });
}

void TForm::WindowMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    Guarded([&] {
        TControl* target = captured_;
        if (!(shift & (ssLeft | ssRight | ssMiddle))) captured_ = nullptr;
        if (target) {
            int cx = x - target->Left(), cy = y - target->Top();
            target->MouseUp(button, shift, cx, cy);
            if (button == mbLeft && cx >= 0 && cy >= 0 && cx < target->Width() && cy < target->Height()) target->Click();
        } else {
            MouseUp(button, shift, x, y);
        }
    });
}

void TForm::WindowDblClick(TShiftState shift, int x, int y) {
    Guarded([&] {
        // A double-click is the click event, then a press flagged as double.
        TControl* target = ControlAt(x, y);
        if (target) {
            captured_ = target;
            target->DblClick();
            target->MouseDown(mbLeft, shift | ssDouble, x - target->Left(), y - target->Top());
        } else {
            DblClick();
            MouseDown(mbLeft, shift | ssDouble, x, y);
        }
    });
}

void TForm::WindowContextMenu(int screenX, int screenY) {
    Guarded([&] {
        if (PopupMenu) PopupMenu->Popup(screenX, screenY);
    });
}

void TForm::WindowCloseRequest() {
    Guarded([&] { Close(); });
}

void TForm::WindowShown() {}

void TForm::WindowMoved(int left, int top) { StoreBounds(left, top, Width(), Height()); }

bool TForm::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "ClientWidth") SetClientWidth(reader.Integer(value));
    else if (name == "ClientHeight") SetClientHeight(reader.Integer(value));
    else if (name == "Visible") visibleRequested_ = reader.Boolean(value);
    else if (name == "BorderStyle")
        SetBorderStyle(static_cast<TFormBorderStyle>(
            reader.Enum(value, {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"})));
    else if (name == "BorderIcons")
        BorderIcons = reader.Flags(value, {{"biSystemMenu", biSystemMenu}, {"biMinimize", biMinimize},
                                           {"biMaximize", biMaximize}, {"biHelp", biHelp}});
    else if (name == "FormStyle")
        SetFormStyle(static_cast<TFormStyle>(reader.Enum(value, {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"})));
    else if (name == "Position")
        Position = static_cast<TPosition>(reader.Enum(value, {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                                              "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                                                              "poOwnerFormCenter"}));
    else if (name == "PopupMenu") {
        reader.Reference(value, [this, &reader, line = value.line](TComponent* c) {
            auto* menu = dynamic_cast<TPopupMenu*>(c);
            if (!menu) reader.Error(line, "'" + c->Name + "' is not a TPopupMenu");
            PopupMenu = menu;
        });
    } else if (name == "Scaled") Scaled = reader.Boolean(value);
    else if (name == "OnCreate") OnCreate = reader.Method<TNotifyEvent>(value);
    else if (name == "OnShow") OnShow = reader.Method<TNotifyEvent>(value);
    else if (name == "OnHide") OnHide = reader.Method<TNotifyEvent>(value);
    else if (name == "OnPaint") OnPaint = reader.Method<TNotifyEvent>(value);
    else if (name == "OnClose") OnClose = reader.Method<TCloseEvent>(value);
    else return TControl::SetProperty(reader, name, value);
    return true;
}

void TForm::AddChild(TReader& reader, TComponent* child) {
    if (auto* control = dynamic_cast<TControl*>(child)) {
        if (dynamic_cast<TForm*>(child)) reader.Error(0, "a form cannot hold another form");
        control->SetParent(this);
        return;
    }
    if (dynamic_cast<TPopupMenu*>(child)) return;  // a component with no place on the form
    TComponent::AddChild(reader, child);
}

// ---------------------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::Initialize() { backend::TheDriver().Initialize(); }

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (mainForm_) mainForm_->UpdateWindowTitle();
}

void TApplication::Run() {
    if (running_) return;
    running_ = true;
    if (mainForm_) {
        mainForm_->UpdateWindowTitle();
        Guarded([&] { mainForm_->Show(); });
    }
    backend::TheDriver().RunLoop([this] { return terminated_; });
    running_ = false;
    // The forms go when the loop ends, the last created first.
    while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
}

void TApplication::ProcessMessages() { backend::TheDriver().ProcessMessages(); }

void TApplication::Terminate() {
    terminated_ = true;
    backend::TheDriver().Quit();
}

void TApplication::ShowException(const std::exception& e) {
    std::string message = e.what();
    std::fprintf(stderr, "%s: %s\n", title_.empty() ? "lenti" : title_.c_str(), message.c_str());
    std::fflush(stderr);
    if (backend::TheDriver().Initialized()) backend::TheDriver().ShowMessage(title_, message);
}

void TApplication::HandleException(const std::exception& e) {
    try {
        ShowException(e);
    } catch (...) {
        std::fputs("an exception was raised while showing another\n", stderr);
    }
}

void TApplication::Minimize() {
    minimized_ = true;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* f = dynamic_cast<TForm*>(Components(i)); f && f->Visible()) f->Window().Minimize();
}

void TApplication::Restore() {
    minimized_ = false;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* f = dynamic_cast<TForm*>(Components(i)); f && f->Visible()) f->Window().Restore();
}

void TApplication::FormDestroyed(TForm* form) {
    if (mainForm_ == form) mainForm_ = nullptr;
    for (auto it = references_.begin(); it != references_.end();) {
        if (it->form == form) {
            if (*it->where == form) *it->where = nullptr;
            it = references_.erase(it);
        } else {
            ++it;
        }
    }
}

// ---------------------------------------------------------------------------

int TScreen::Width() const { return backend::TheDriver().ScreenRect().Width(); }
int TScreen::Height() const { return backend::TheDriver().ScreenRect().Height(); }

void TScreen::SetCursors(int index, HCURSOR cursor) { cursors_[index] = cursor; }

HCURSOR TScreen::Cursors(int index) const {
    auto it = cursors_.find(index);
    return it == cursors_.end() ? 0 : it->second;
}
