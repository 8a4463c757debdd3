#include "platform/classes.h"

#include <algorithm>

#include "platform/streaming.h"

const TPublishedField* TPublishedTable::FindField(const std::string& name) const {
    for (const auto& f : fields)
        if (f.name == name) return &f;
    return nullptr;
}

const TPublishedMethod* TPublishedTable::FindMethod(const std::string& name) const {
    for (const auto& m : methods)
        if (m.name == name) return &m;
    return nullptr;
}

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    destroying_ = true;
    // Owned components go first, the last created first.
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    if (owner_ && !owner_->destroying_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : components_)
        if (c->Name == name) return c;
    return nullptr;
}

bool TComponent::SetProperty(TReader& reader, const std::string& name, const dfm::Value& value) {
    if (name == "Tag") {
        Tag = reader.Integer(value);
        return true;
    }
    return false;
}

void TComponent::AddChild(TReader& reader, TComponent* child) {
    reader.Error(0, std::string(ClassName()) + " cannot contain " + child->ClassName());
}
