#include "platform/streaming.h"

#include <map>

TReader::TReader(std::string resourceName, TComponent* root, const TPublishedTable& table)
    : resource_(std::move(resourceName)), root_(root), table_(table) {}

void TReader::Error(int line, const std::string& problem) const {
    throw Exception(resource_ + ":" + std::to_string(line) + ": " + problem);
}

namespace {
const char* KindName(dfm::Value::Kind k) {
    switch (k) {
        case dfm::Value::Kind::Integer: return "an integer";
        case dfm::Value::Kind::Float: return "a number";
        case dfm::Value::Kind::String: return "a string";
        case dfm::Value::Kind::Identifier: return "an identifier";
        case dfm::Value::Kind::Set: return "a set";
        case dfm::Value::Kind::Binary: return "binary data";
    }
    return "a value";
}
}  // namespace

int TReader::Integer(const dfm::Value& v) const {
    if (v.kind != dfm::Value::Kind::Integer) Error(v.line, std::string("expected an integer, found ") + KindName(v.kind));
    if (v.integer < INT32_MIN || v.integer > INT32_MAX) Error(v.line, "integer out of range: " + std::to_string(v.integer));
    return static_cast<int>(v.integer);
}

bool TReader::Boolean(const dfm::Value& v) const {
    if (v.kind == dfm::Value::Kind::Identifier) {
        if (v.text == "True") return true;
        if (v.text == "False") return false;
    }
    Error(v.line, "expected True or False");
}

std::string TReader::String(const dfm::Value& v) const {
    if (v.kind != dfm::Value::Kind::String) Error(v.line, std::string("expected a string, found ") + KindName(v.kind));
    return v.text;
}

std::string TReader::Identifier(const dfm::Value& v) const {
    if (v.kind != dfm::Value::Kind::Identifier) Error(v.line, std::string("expected an identifier, found ") + KindName(v.kind));
    return v.text;
}

TColor TReader::Color(const dfm::Value& v) const {
    static const std::map<std::string, TColor> names = {
        {"clBlack", clBlack}, {"clMaroon", clMaroon}, {"clGreen", clGreen}, {"clRed", clRed},
        {"clLime", clLime},   {"clBlue", clBlue},     {"clAqua", clAqua},   {"clWhite", clWhite},
        {"clNavy", 0x800000}, {"clGray", 0x808080},   {"clSilver", 0xC0C0C0}, {"clYellow", 0x00FFFF},
        {"clFuchsia", 0xFF00FF}, {"clTeal", 0x808000}, {"clOlive", 0x008080}, {"clPurple", 0x800080},
        {"clBtnFace", 0xF0F0F0}, {"clWindowText", clBlack}, {"clWindow", clWhite},
    };
    if (v.kind == dfm::Value::Kind::Integer) {
        if (v.integer < 0 || v.integer > 0xFFFFFF) Error(v.line, "colour out of range: " + std::to_string(v.integer));
        return static_cast<TColor>(v.integer);
    }
    if (v.kind == dfm::Value::Kind::Identifier) {
        auto it = names.find(v.text);
        if (it != names.end()) return it->second;
        Error(v.line, "unknown colour '" + v.text + "'");
    }
    Error(v.line, std::string("expected a colour, found ") + KindName(v.kind));
}

std::vector<std::string> TReader::Set(const dfm::Value& v) const {
    if (v.kind != dfm::Value::Kind::Set) Error(v.line, std::string("expected a set, found ") + KindName(v.kind));
    return v.set;
}

int TReader::Enum(const dfm::Value& v, std::initializer_list<const char*> names) const {
    std::string id = Identifier(v);
    int i = 0;
    std::string known;
    for (const char* n : names) {
        if (id == n) return i;
        known += (i ? ", " : "") + std::string(n);
        ++i;
    }
    Error(v.line, "unknown value '" + id + "' (expected one of " + known + ")");
}

unsigned TReader::Flags(const dfm::Value& v, std::initializer_list<std::pair<const char*, unsigned>> names) const {
    unsigned flags = 0;
    for (const std::string& id : Set(v)) {
        bool known = false;
        for (const auto& [name, flag] : names)
            if (id == name) {
                flags |= flag;
                known = true;
            }
        if (!known) Error(v.line, "unknown set element '" + id + "'");
    }
    return flags;
}

TMethod TReader::BindMethod(const dfm::Value& v) const {
    std::string name = Identifier(v);
    const TPublishedMethod* m = table_.FindMethod(name);
    if (!m) Error(v.line, "no published method '" + name + "' in " + root_->ClassName());
    return m->bind(root_);
}

void TReader::Reference(const dfm::Value& v, std::function<void(TComponent*)> assign) {
    Identifier(v);
    fixups_.emplace_back(v, std::move(assign));
}

void TReader::Read(const dfm::Object& object) {
    if (object.className != root_->ClassName())
        Error(object.line, "the definition is of class " + object.className + ", not " + root_->ClassName());
    root_->Name = object.name;
    ReadInto(root_, object);
    for (auto& [value, assign] : fixups_) {
        TComponent* target = value.text == root_->Name ? root_ : root_->FindComponent(value.text);
        if (!target) Error(value.line, "no component named '" + value.text + "'");
        assign(target);
    }
    for (TComponent* c : loaded_) c->Loaded();
    root_->Loaded();
}

TComponent* TReader::Create(const dfm::Object& object) {
    const TPublishedField* field = table_.FindField(object.name);
    if (!field) Error(object.line, "no published field '" + object.name + "' in " + root_->ClassName());
    if (field->className != object.className)
        Error(object.line, "field '" + object.name + "' holds a " + field->className + ", not a " + object.className);
    if (root_->FindComponent(object.name)) Error(object.line, "a component named '" + object.name + "' exists already");
    TComponent* c = field->create(root_);
    c->Name = object.name;
    field->assign(root_, c);
    return c;
}

void TReader::ReadInto(TComponent* component, const dfm::Object& object) {
    for (const dfm::Property& p : object.properties) {
        if (!component->SetProperty(*this, p.name, p.value))
            Error(p.line, "unknown property '" + p.name + "' of " + component->ClassName());
    }
    for (const dfm::Object& childObject : object.children) {
        TComponent* child = Create(childObject);
        try {
            component->AddChild(*this, child);
        } catch (const Exception& e) {
            std::string m = e.Message();
            // AddChild knows no line; put the child's in.
            const std::string zero = resource_ + ":0: ";
            if (m.rfind(zero, 0) == 0) Error(childObject.line, m.substr(zero.size()));
            throw;
        }
        ReadInto(child, childObject);
        loaded_.push_back(child);
    }
}

namespace {
std::map<std::string, std::string>& Resources() {
    static std::map<std::string, std::string> r;
    return r;
}
}  // namespace

void RegisterResource(const std::string& name, std::string text) { Resources()[name] = std::move(text); }

const std::string* FindResource(const std::string& name) {
    auto it = Resources().find(name);
    return it == Resources().end() ? nullptr : &it->second;
}
