#include "controls/URLLabel.h"

#include "platform/forms.h"
#include "platform/streaming.h"
#include "platform/windows.h"

TURLLabel::TURLLabel(TComponent* AOwner) : TLabel(AOwner) {
    // Every link registers the hand again, replacing what was there.
    Screen->SetCursors(crHandPointer, LoadCursor(HInstance, "HANDPOINT"));
    SetHotColor(clAqua);
    SetPushedColor(clRed);
    SetHotTrack(true);
    SetCursor(crHandPointer);
}

void TURLLabel::SetHotTrack(bool value) {
    if (value == hotTrack_) return;
    hotTrack_ = value;
    Invalidate();
}

void TURLLabel::SetHotColor(TColor value) {
    if (value == hotColor_) return;
    hotColor_ = value;
    Invalidate();
}

void TURLLabel::SetPushedColor(TColor value) {
    if (value == pushedColor_) return;
    pushedColor_ = value;
    Invalidate();
}

std::string TURLLabel::Target() const {
    const std::string& caption = Caption();
    return caption.find('@') != std::string::npos ? "mailto:" + caption : caption;
}

void TURLLabel::Perform(unsigned message) {
    TLabel::Perform(message);
    if (!hotTrack_) return;
    if (message == CM_MOUSEENTER) {
        SavedFontColor = Font()->Color;
        Font()->Color = hotColor_;
        Invalidate();
    } else if (message == CM_MOUSELEAVE) {
        Font()->Color = SavedFontColor;
        Invalidate();
    }
}

void TURLLabel::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TLabel::MouseDown(button, shift, x, y);
    if (hotTrack_) {
        Font()->Color = pushedColor_;
        Invalidate();
    }
    // The link opens on the press, while the button is still down; a failure is not reported.
    if (Executable) ShellExecute(Parent() ? Parent()->Handle() : nullptr, "OPEN", Target().c_str(), "", "", SW_SHOW);
}

void TURLLabel::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TLabel::MouseUp(button, shift, x, y);
    if (!hotTrack_) return;
    TPoint p;
    GetCursorPos(&p);
    p = ScreenToClient(p);
    TRect client = ClientRect();
    Font()->Color = PtInRect(&client, p) ? hotColor_ : SavedFontColor;
    Invalidate();
}

bool TURLLabel::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Executable") Executable = reader.Boolean(value);
    else if (name == "HotTrack") SetHotTrack(reader.Boolean(value));
    else if (name == "HotColor") SetHotColor(reader.Color(value));
    else if (name == "PushedColor") SetPushedColor(reader.Color(value));
    else return TLabel::SetProperty(reader, name, value);
    return true;
}
