// Labels, buttons and images.
#pragma once

#include <memory>
#include <string>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/graphics.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A text painted on its parent's surface.
class TLabel : public TGraphicControl {
public:
    static constexpr const char* StaticClassName = "TLabel";
    explicit TLabel(TComponent* AOwner);
    const char* ClassName() const override { return StaticClassName; }

    bool Transparent = false;
    TAlignment Alignment = taLeftJustify;
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    void SetCaption(const std::string& caption) override;
    void FontChanged() override;

    void PaintOn(TSurface& surface) override;
    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;
    void Loaded() override { AdjustSize(); }

private:
    void AdjustSize();
    bool autoSize_ = true;
};

// A push button of the window system. Choosing it sets the form's ModalResult, then runs OnClick.
class TButton : public TControl, private backend::ButtonEvents {
public:
    static constexpr const char* StaticClassName = "TButton";
    explicit TButton(TComponent* AOwner);
    ~TButton() override;
    const char* ClassName() const override { return StaticClassName; }

    int ModalResult = 0;
    int TabOrder = 0;
    bool Default = false;
    bool Cancel = false;

    void SetBounds(int left, int top, int width, int height) override;
    void SetCaption(const std::string& caption) override;
    void SetVisible(bool visible) override;
    void FontChanged() override;
    bool HitTest(int, int) const override { return false; }  // the window system's own control takes the pointer
    void Click() override;
    void SetFocus();

    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;
    void Loaded() override;

private:
    void ButtonClicked() override;
    void Attach();
    std::unique_ptr<backend::ChildControl> native_;
};

// A picture painted on its parent's surface.
class TImage : public TGraphicControl {
public:
    static constexpr const char* StaticClassName = "TImage";
    explicit TImage(TComponent* AOwner);
    const char* ClassName() const override { return StaticClassName; }

    TIcon* Picture() { return &picture_; }
    void PaintOn(TSurface& surface) override;
    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;

private:
    TIcon picture_;
};
