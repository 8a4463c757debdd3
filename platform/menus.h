// Popup menus and their items.
#pragma once

#include <string>
#include <vector>

#include "platform/classes.h"

class TMenuItem : public TComponent {
public:
    static constexpr const char* StaticClassName = "TMenuItem";
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;
    const char* ClassName() const override { return StaticClassName; }

    std::string Caption;       // "-" makes a separator; "&" marks the access key
    bool RadioItem = false;
    int GroupIndex = 0;
    bool Enabled = true;
    bool Visible = true;
    TNotifyEvent OnClick;

    bool Checked() const { return checked_; }
    // Checking a radio item unchecks the other radio items of its group at its level.
    void SetChecked(bool checked);

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    TMenuItem* Parent() const { return parent_; }
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    bool IsLine() const { return Caption == "-"; }

    // What choosing the item does: its OnClick, and nothing else; the check mark is left to it.
    virtual void Click();

    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;
    void AddChild(TReader& reader, TComponent* child) override;

private:
    bool checked_ = false;
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
};

class TPopupMenu : public TComponent {
public:
    static constexpr const char* StaticClassName = "TPopupMenu";
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;
    const char* ClassName() const override { return StaticClassName; }

    TMenuItem* Items() { return items_; }
    // Shows the menu at the screen point and waits until it closes; a chosen item's Click runs
    // after the menu has gone.
    void Popup(int x, int y);
    TNotifyEvent OnPopup;

    bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) override;
    void AddChild(TReader& reader, TComponent* child) override;

private:
    TMenuItem* items_;
};

namespace backend {
// Shows the item's submenu tree at the screen point; returns the chosen item or null.
TMenuItem* PopupMenu(TMenuItem* root, int x, int y);
}
