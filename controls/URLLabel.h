// A label that looks and acts like a link: a hand pointer, colours that follow the pointer,
// and a press that opens its caption with the desktop's opener.
#pragma once

#include <string>

#include "platform/stdctrls.h"

constexpr int crHandPointer = 32761;  // the screen cursor number of the hand

class TURLLabel : public TLabel {
public:
    static constexpr const char* StaticClassName = "TURLLabel";
    explicit TURLLabel(TComponent* AOwner);
    const char* ClassName() const override { return StaticClassName; }

    bool Executable = false;

    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool value);
    TColor HotColor() const { return hotColor_; }
    void SetHotColor(TColor value);
    TColor PushedColor() const { return pushedColor_; }
    void SetPushedColor(TColor value);

    // What a press opens: the caption, as an e-mail address when it holds an "@".
    std::string Target() const;

    void Perform(unsigned message) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;

private:
    bool hotTrack_ = true;
    TColor hotColor_ = clAqua;
    TColor pushedColor_ = clRed;
    TColor SavedFontColor = clBlack;
};
