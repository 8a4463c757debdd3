#include "platform/stdctrls.h"

#include "platform/forms.h"
#include "platform/streaming.h"

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    AdjustSize();
}

void TLabel::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    AdjustSize();
}

void TLabel::FontChanged() {
    AdjustSize();
    Invalidate();
}

void TLabel::AdjustSize() {
    // An auto-sized label is as large as its text in its font; it keeps its top-left corner.
    if (!autoSize_ || !backend::TheDriver().Initialized()) return;
    TPoint extent = backend::TheDriver().TextExtent(Caption(), *Font());
    if (extent.X != Width() || extent.Y != Height()) SetBounds(Left(), Top(), extent.X, extent.Y);
}

void TLabel::PaintOn(TSurface& surface) {
    if (!Transparent) surface.Fill(BoundsRect(), Color());
    backend::TheDriver().DrawText(surface, BoundsRect(), Caption(), *Font(), Alignment);
}

bool TLabel::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Transparent") Transparent = reader.Boolean(value);
    else if (name == "AutoSize") autoSize_ = reader.Boolean(value);
    else if (name == "Alignment")
        Alignment = static_cast<TAlignment>(reader.Enum(value, {"taLeftJustify", "taRightJustify", "taCenter"}));
    else if (name == "ParentFont") reader.Boolean(value);  // the label keeps the font it states
    else return TControl::SetProperty(reader, name, value);
    return true;
}

// ---------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TControl(AOwner) {}

TButton::~TButton() = default;

void TButton::Attach() {
    if (native_ || !Parent()) return;
    native_ = Parent()->Window().CreateButton(*this);
    native_->SetCaption(Caption());
    native_->SetFont(*Font());
    native_->SetBounds(Left(), Top(), Width(), Height());
    native_->SetVisible(Visible());
}

void TButton::SetBounds(int left, int top, int width, int height) {
    TControl::SetBounds(left, top, width, height);
    if (native_) native_->SetBounds(left, top, width, height);
}

void TButton::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    if (native_) native_->SetCaption(caption);
}

void TButton::SetVisible(bool visible) {
    TControl::SetVisible(visible);
    if (native_) native_->SetVisible(visible);
}

void TButton::FontChanged() {
    if (native_) native_->SetFont(*Font());
}

void TButton::SetFocus() {
    if (native_) native_->SetFocus();
}

void TButton::Click() {
    // A button with a modal result ends its form's modal state first.
    if (ModalResult != 0 && Parent()) Parent()->ModalResult = ModalResult;
    TControl::Click();
}

void TButton::ButtonClicked() {
    Guarded([&] { Click(); });
}

void TButton::Loaded() {
    Attach();
    if (TabOrder == 0) SetFocus();
}

bool TButton::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "ModalResult") {
        if (value.kind == dfm::Value::Kind::Identifier)
            ModalResult = reader.Enum(value, {"mrNone", "mrOk", "mrCancel", "mrAbort", "mrRetry", "mrIgnore", "mrYes", "mrNo"});
        else
            ModalResult = reader.Integer(value);
    } else if (name == "TabOrder") TabOrder = reader.Integer(value);
    else if (name == "Default") Default = reader.Boolean(value);
    else if (name == "Cancel") Cancel = reader.Boolean(value);
    else if (name == "ParentFont") reader.Boolean(value);
    else return TControl::SetProperty(reader, name, value);
    return true;
}

// ---------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {}

void TImage::PaintOn(TSurface& surface) {
    const TSurface* p = picture_.Pixels();
    if (!p || p->Width() == 0) return;
    // Icons are drawn through their mask: transparent pixels leave the background.
    for (int y = 0; y < p->Height() && y < Height(); ++y)
        for (int x = 0; x < p->Width() && x < Width(); ++x) {
            std::uint32_t px = p->Row(y)[x];
            int dx = Left() + x, dy = Top() + y;
            if ((px >> 24) >= 0x80 && dx >= 0 && dy >= 0 && dx < surface.Width() && dy < surface.Height())
                surface.Row(dy)[dx] = px | 0xFF000000u;
        }
}

bool TImage::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Picture.Resource") {
        std::string resource = reader.String(value);
        const std::string* data = FindResource(resource);
        if (!data) reader.Error(value.line, "no resource named '" + resource + "'");
        try {
            picture_.LoadFromData(std::vector<std::uint8_t>(data->begin(), data->end()), Width() > 0 ? Width() : 32);
        } catch (const Exception& e) {
            reader.Error(value.line, e.Message());
        }
        Invalidate();
    } else {
        return TControl::SetProperty(reader, name, value);
    }
    return true;
}
