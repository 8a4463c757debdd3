// Building components from a stored window definition.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/classes.h"
#include "platform/dfm.h"

// Reads one definition into a root component (a form) whose class publishes `table`.
// Every problem is raised as an Exception whose message names the resource and the line.
class TReader {
public:
    TReader(std::string resourceName, TComponent* root, const TPublishedTable& table);

    void Read(const dfm::Object& object);

    [[noreturn]] void Error(int line, const std::string& problem) const;

    // Typed views of a property value; a value of another kind is an error at its line.
    int Integer(const dfm::Value& v) const;
    bool Boolean(const dfm::Value& v) const;
    std::string String(const dfm::Value& v) const;
    std::string Identifier(const dfm::Value& v) const;
    TColor Color(const dfm::Value& v) const;
    std::vector<std::string> Set(const dfm::Value& v) const;
    // An identifier out of a fixed list; returns its position.
    int Enum(const dfm::Value& v, std::initializer_list<const char*> names) const;
    // A set of flags: each identifier in [ ... ] names one.
    unsigned Flags(const dfm::Value& v, std::initializer_list<std::pair<const char*, unsigned>> names) const;
    // An event property: the value names a published method whose signature must match.
    template <class Event>
    Event Method(const dfm::Value& v) const {
        TMethod m = BindMethod(v);
        if (auto* e = std::get_if<Event>(&m)) return *e;
        Error(v.line, "method '" + v.text + "' does not have the signature this event needs");
    }
    // A reference to another component of the same definition, set once all are created.
    void Reference(const dfm::Value& v, std::function<void(TComponent*)> assign);

    const std::string& ResourceName() const { return resource_; }

private:
    TComponent* Create(const dfm::Object& object);
    void ReadInto(TComponent* component, const dfm::Object& object);
    TMethod BindMethod(const dfm::Value& v) const;

    std::string resource_;
    TComponent* root_;
    const TPublishedTable& table_;
    std::vector<std::pair<dfm::Value, std::function<void(TComponent*)>>> fixups_;
    std::vector<TComponent*> loaded_;
};

// Stored definitions carried by the program, by name (a form's class name).
void RegisterResource(const std::string& name, std::string text);
const std::string* FindResource(const std::string& name);
