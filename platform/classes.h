// Components, events and the published tables that stored window definitions bind to.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/sysutils.h"
#include "platform/types.h"

namespace dfm { struct Value; }

class TObject {
public:
    virtual ~TObject() = default;
    virtual const char* ClassName() const { return "TObject"; }
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
    ssShift = 1u << 0, ssAlt = 1u << 1, ssCtrl = 1u << 2,
    ssLeft = 1u << 3, ssRight = 1u << 4, ssMiddle = 1u << 5, ssDouble = 1u << 6,
};
using TShiftState = unsigned;

enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

using TMethod = std::variant<TNotifyEvent, TMouseEvent, TMouseMoveEvent, TCloseEvent>;

class TComponent;
class TReader;

// What a form class publishes: its component fields and its event handlers, by name.
struct TPublishedField {
    std::string name;
    std::string className;  // the component class the field holds
    std::function<TComponent*(TComponent* owner)> create;
    std::function<void(TComponent* root, TComponent* component)> assign;
};
struct TPublishedMethod {
    std::string name;
    std::function<TMethod(TComponent* root)> bind;
};
struct TPublishedTable {
    std::vector<TPublishedField> fields;
    std::vector<TPublishedMethod> methods;
    const TPublishedField* FindField(const std::string& name) const;
    const TPublishedMethod* FindMethod(const std::string& name) const;
};

template <class Form, class T>
TPublishedField PublishedField(const char* name, T* Form::*member) {
    return {name, T::StaticClassName,
            [](TComponent* owner) -> TComponent* { return new T(owner); },
            [member](TComponent* root, TComponent* c) { static_cast<Form*>(root)->*member = static_cast<T*>(c); }};
}

template <class Form, class... Args>
TPublishedMethod PublishedMethod(const char* name, void (Form::*method)(Args...)) {
    return {name, [method](TComponent* root) -> TMethod {
                Form* form = static_cast<Form*>(root);
                return std::function<void(Args...)>([form, method](Args... a) { (form->*method)(a...); });
            }};
}

class TComponent : public TObject {
public:
    static constexpr const char* StaticClassName = "TComponent";
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    const char* ClassName() const override { return StaticClassName; }

    std::string Name;
    int Tag = 0;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;

    // Stored definitions: a class takes the properties it knows and passes the rest to its base.
    virtual bool SetProperty(TReader& reader, const std::string& name, const dfm::Value& value);
    // A nested object of a stored definition; the default takes none.
    virtual void AddChild(TReader& reader, TComponent* child);
    // Called once every component of a definition has been read and every reference fixed up.
    virtual void Loaded() {}

private:
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    bool destroying_ = false;
};
