#include "platform/menus.h"

#include <algorithm>

#include "platform/forms.h"
#include "platform/streaming.h"

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
    for (TMenuItem* item : items_) item->parent_ = nullptr;
    if (parent_) parent_->Remove(this);
}

void TMenuItem::SetChecked(bool checked) {
    checked_ = checked;
    // Checking a radio item unchecks the other radio items of its group at its level.
    if (checked && RadioItem && parent_) {
        for (TMenuItem* sibling : parent_->items_)
            if (sibling != this && sibling->RadioItem && sibling->GroupIndex == GroupIndex) sibling->checked_ = false;
    }
}

void TMenuItem::Add(TMenuItem* item) {
    if (!item || item == this || item->parent_ == this) return;
    if (item->parent_) item->parent_->Remove(item);
    items_.push_back(item);
    item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
}

void TMenuItem::Click() {
    // The click alone never moves a check mark: that is the handler's business.
    if (OnClick) OnClick(this);
}

bool TMenuItem::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Caption") Caption = reader.String(value);
    else if (name == "Checked") SetChecked(reader.Boolean(value));
    else if (name == "RadioItem") RadioItem = reader.Boolean(value);
    else if (name == "GroupIndex") {
        int g = reader.Integer(value);
        if (g < 0 || g > 255) reader.Error(value.line, "GroupIndex must lie in 0..255");
        GroupIndex = g;
    } else if (name == "Enabled") Enabled = reader.Boolean(value);
    else if (name == "Visible") Visible = reader.Boolean(value);
    else if (name == "OnClick") OnClick = reader.Method<TNotifyEvent>(value);
    else return TComponent::SetProperty(reader, name, value);
    return true;
}

void TMenuItem::AddChild(TReader& reader, TComponent* child) {
    auto* item = dynamic_cast<TMenuItem*>(child);
    if (!item) return TComponent::AddChild(reader, child);
    Add(item);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(this)) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup(this);
    TMenuItem* chosen = backend::PopupMenu(items_, x, y);
    if (chosen && chosen->Enabled) chosen->Click();
}

bool TPopupMenu::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "OnPopup") OnPopup = reader.Method<TNotifyEvent>(value);
    else return TComponent::SetProperty(reader, name, value);
    return true;
}

void TPopupMenu::AddChild(TReader& reader, TComponent* child) {
    auto* item = dynamic_cast<TMenuItem*>(child);
    if (!item) return TComponent::AddChild(reader, child);
    items_->Add(item);
}
