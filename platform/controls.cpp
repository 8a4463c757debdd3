#include "platform/controls.h"

#include "platform/forms.h"
#include "platform/streaming.h"

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetBounds(int left, int top, int width, int height) {
    if (parent_) parent_->InvalidateRect(BoundsRect());
    left_ = left;
    top_ = top;
    width_ = width < 0 ? 0 : width;
    height_ = height < 0 ? 0 : height;
    Invalidate();
}

void TControl::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    Invalidate();
}

void TControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (parent_) parent_->InvalidateRect(BoundsRect());
}

void TControl::SetColor(TColor color) {
    if (color_ == color) return;
    color_ = color;
    Invalidate();
}

void TControl::SetCursor(int cursor) { cursor_ = cursor; }

void TControl::SetParent(TForm* parent) {
    if (parent_ == parent) return;
    if (parent_) parent_->RemoveControl(this);
    parent_ = parent;
    if (parent_) parent_->InsertControl(this);
}

TPoint TControl::ClientToScreen(TPoint p) const {
    if (!parent_) return p;
    return parent_->ClientToScreen(Point(p.X + left_, p.Y + top_));
}

TPoint TControl::ScreenToClient(TPoint p) const {
    TPoint origin = ClientToScreen(Point(0, 0));
    return Point(p.X - origin.X, p.Y - origin.Y);
}

void TControl::Invalidate() {
    if (parent_) parent_->InvalidateRect(BoundsRect());
}

bool TControl::HitTest(int x, int y) const {
    return visible_ && x >= left_ && x < left_ + width_ && y >= top_ && y < top_ + height_;
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TControl::Click() {
    if (OnClick) OnClick(this);
}
void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TControl::Perform(unsigned /*message*/) {}

bool TControl::SetFontProperty(TReader& reader, const std::string& name, const dfm::Value& value, TFont& font) {
    if (name == "Font.Name") font.Name = reader.String(value);
    else if (name == "Font.Height") font.Height = reader.Integer(value);
    else if (name == "Font.Color") font.Color = reader.Color(value);
    else if (name == "Font.Charset") {
        static const char* const names[] = {"ANSI_CHARSET", "DEFAULT_CHARSET", "SHIFTJIS_CHARSET"};
        static const int codes[] = {0, 1, 128};
        if (value.kind == dfm::Value::Kind::Integer) {
            font.Charset = reader.Integer(value);
        } else {
            int i = reader.Enum(value, {names[0], names[1], names[2]});
            font.Charset = codes[i];
        }
    } else if (name == "Font.Style") {
        font.Style = reader.Flags(value, {{"fsBold", fsBold}, {"fsItalic", fsItalic}, {"fsUnderline", fsUnderline},
                                          {"fsStrikeOut", fsStrikeOut}});
    } else {
        return false;
    }
    FontChanged();
    return true;
}

bool TControl::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Left") SetLeft(reader.Integer(value));
    else if (name == "Top") SetTop(reader.Integer(value));
    else if (name == "Width") SetWidth(reader.Integer(value));
    else if (name == "Height") SetHeight(reader.Integer(value));
    else if (name == "Caption") SetCaption(reader.String(value));
    else if (name == "Visible") SetVisible(reader.Boolean(value));
    else if (name == "Color") SetColor(reader.Color(value));
    else if (name == "Cursor") SetCursor(reader.Integer(value));
    else if (name == "OnClick") OnClick = reader.Method<TNotifyEvent>(value);
    else if (name == "OnDblClick") OnDblClick = reader.Method<TNotifyEvent>(value);
    else if (name == "OnMouseDown") OnMouseDown = reader.Method<TMouseEvent>(value);
    else if (name == "OnMouseMove") OnMouseMove = reader.Method<TMouseMoveEvent>(value);
    else if (name == "OnMouseUp") OnMouseUp = reader.Method<TMouseEvent>(value);
    else if (name.rfind("Font.", 0) == 0) return SetFontProperty(reader, name, value, *Font());
    else return TComponent::SetProperty(reader, name, value);
    return true;
}
