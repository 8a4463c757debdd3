// Reader of window definitions stored as text:
//
//   object Form1: TForm1
//     Caption = 'Form1'
//     object PopupMenu1: TPopupMenu
//     end
//   end
//
// Parse() only builds a tree; creating components from it is up to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sysutils.h"

namespace dfm {

struct Value {
    enum class Kind { Integer, Float, String, Identifier, Set, Binary };
    Kind kind = Kind::Integer;
    std::int64_t integer = 0;          // Integer
    double real = 0;                   // Float
    std::string text;                  // String (UTF-8) or Identifier (as written, e.g. True, clMaroon, bsNone)
    std::vector<std::string> set;      // Set: the identifiers in [ ... ], in order
    std::vector<std::uint8_t> binary;  // Binary: the bytes of { hex digits }
    int line = 0;
};

// The name may be dotted, e.g. Font.Name.
struct Property {
    std::string name;
    Value value;
    int line = 0;
};

struct Object {
    std::string name, className;
    int line = 0;                    // line of the "object" keyword
    std::vector<Property> properties;  // in file order
    std::vector<Object> children;      // nested objects, in file order
};

// Limits that keep hostile input cheap to reject.
constexpr std::size_t kMaxInputSize = 1024 * 1024;
constexpr int kMaxDepth = 64;  // the top-level object counts as depth 1

// Parses exactly one top-level object. Throws Exception("<resourceName>:<line>: <problem>")
// on any malformed input. Lines count from 1; a problem found at the end of the text is
// reported on its last line (a final line break does not start a new line).
Object Parse(std::string_view text, std::string_view resourceName);

}  // namespace dfm
