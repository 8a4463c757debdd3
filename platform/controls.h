// Controls: what sits on a form and takes the pointer.
#pragma once

#include <string>

#include "platform/classes.h"
#include "platform/graphics.h"

class TForm;

// Cursor numbers of the screen's cursor table; the program registers its own beside these.
constexpr int crDefault = 0;
constexpr int crArrow = -2;
constexpr int crHandPoint = -21;

// Component messages a control receives from the platform.
constexpr unsigned CM_MOUSEENTER = 0xB013;
constexpr unsigned CM_MOUSELEAVE = 0xB014;

class TControl : public TComponent {
public:
    static constexpr const char* StaticClassName = "TControl";
    explicit TControl(TComponent* AOwner);
    ~TControl() override;
    const char* ClassName() const override { return StaticClassName; }

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect ClientRect() const { return Rect(0, 0, width_, height_); }
    TRect BoundsRect() const { return Rect(left_, top_, left_ + width_, top_ + height_); }

    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& caption);
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    TColor Color() const { return color_; }
    virtual void SetColor(TColor color);
    int Cursor() const { return cursor_; }
    virtual void SetCursor(int cursor);
    TFont* Font() { return &font_; }
    virtual void FontChanged() { Invalidate(); }

    TForm* Parent() const { return parent_; }
    void SetParent(TForm* parent);

    TPoint ScreenToClient(TPoint p) const;
    virtual TPoint ClientToScreen(TPoint p) const;

    virtual void Invalidate();
    // Paints the control onto its parent's surface, within its own bounds.
    virtual void PaintOn(TSurface& /*surface*/) {}
    // Whether the control takes the pointer at client point (x, y) of its parent.
    virtual bool HitTest(int x, int y) const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // Delivered by the form that hosts the control, in the control's client coordinates.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void Click();
    virtual void DblClick();
    // Component messages (CM_MOUSEENTER, CM_MOUSELEAVE).
    virtual void Perform(unsigned message);

    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;

protected:
    void StoreBounds(int left, int top, int width, int height) {
        left_ = left; top_ = top; width_ = width; height_ = height;
    }
    // A property of the font ("Font.Name" and so on).
    bool SetFontProperty(TReader& reader, const std::string& name, const dfm::Value& value, TFont& font);

private:
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::string caption_;
    bool visible_ = true;
    TColor color_ = clWhite;
    int cursor_ = crDefault;
    TFont font_;
    TForm* parent_ = nullptr;
};

// A control painted by its parent onto the parent's own surface.
class TGraphicControl : public TControl {
public:
    using TControl::TControl;
};
