#include "platform/dfm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr const char* kResource = "Lens.dfm";

// A value as one line of text, e.g. "Integer -12@3" or "String \"ab\"@4".
std::string Render(const dfm::Value& v) {
    std::string out;
    switch (v.kind) {
        case dfm::Value::Kind::Integer: out = "Integer " + std::to_string(v.integer); break;
        case dfm::Value::Kind::Float: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "Float %.17g", v.real);
            out = buf;
            break;
        }
        case dfm::Value::Kind::String: out = "String \"" + v.text + "\""; break;
        case dfm::Value::Kind::Identifier: out = "Identifier " + v.text; break;
        case dfm::Value::Kind::Set: {
            out = "Set [";
            for (std::size_t i = 0; i < v.set.size(); ++i) out += (i ? "," : "") + v.set[i];
            out += "]";
            break;
        }
        case dfm::Value::Kind::Binary: {
            out = "Binary {";
            for (std::uint8_t b : v.binary) {
                char buf[4];
                std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(b));
                out += buf;
            }
            out += "}";
            break;
        }
    }
    return out + "@" + std::to_string(v.line);
}

// The whole tree, one line per object header and per property, indented by depth.
void Dump(const dfm::Object& obj, int depth, std::string& out) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += indent + "object " + obj.name + ": " + obj.className + "@" + std::to_string(obj.line) + "\n";
    for (const dfm::Property& p : obj.properties)
        out += indent + "  " + p.name + "@" + std::to_string(p.line) + " = " + Render(p.value) + "\n";
    for (const dfm::Object& child : obj.children) Dump(child, depth + 1, out);
    out += indent + "end\n";
}

std::string Dump(const dfm::Object& obj) {
    std::string out;
    Dump(obj, 0, out);
    return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// The message of the Exception that Parse throws, or "" if it accepts the text.
std::string ParseError(const std::string& text) {
    try {
        dfm::Parse(text, kResource);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

const char* const kMainForm = R"(object LensForm: TLensForm
  Left = 200
  Top = -32
  Width = $1F4
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsNone
  Caption = 'Lenticor'
  Color = clMaroon
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Height = -12
  Hint = 'It''s the lens: '#39'x'#39' — ルーペ'
  AlphaBlendValue = $ff
  ScaleFactor = 1.5
  Offset = -0.25
  KeyPreview = True
  Anchors = []
  OnCreate = FormCreate
  Icon.Data = {
    0000010001001010
    10000001}
  object PopupMenu1: TPopupMenu
    Left = 8
    object K1: TMenuItem
      Caption = 'x 2 Zoom (&2)'
      Tag = 2
    end
    object K2: TMenuItem
      Caption =
        'A longer caption ' +
        'that goes on'#13#10 +
        'and ends here'
    end
  end
  object Timer1: TTimer
    Interval = 100
  end
end
)";

const char* const kMainFormTree = R"TREE(object LensForm: TLensForm@1
  Left@2 = Integer 200@2
  Top@3 = Integer -32@3
  Width@4 = Integer 500@4
  BorderIcons@5 = Set [biSystemMenu,biMinimize]@5
  BorderStyle@6 = Identifier bsNone@6
  Caption@7 = String "Lenticor"@7
  Color@8 = Identifier clMaroon@8
  Font.Name@9 = String "ＭＳ Ｐゴシック"@9
  Font.Height@10 = Integer -12@10
  Hint@11 = String "It's the lens: 'x' — ルーペ"@11
  AlphaBlendValue@12 = Integer 255@12
  ScaleFactor@13 = Float 1.5@13
  Offset@14 = Float -0.25@14
  KeyPreview@15 = Identifier True@15
  Anchors@16 = Set []@16
  OnCreate@17 = Identifier FormCreate@17
  Icon.Data@18 = Binary {000001000100101010000001}@18
  object PopupMenu1: TPopupMenu@21
    Left@22 = Integer 8@22
    object K1: TMenuItem@23
      Caption@24 = String "x 2 Zoom (&2)"@24
      Tag@25 = Integer 2@25
    end
    object K2: TMenuItem@27
      Caption@28 = String "A longer caption that goes on
and ends here"@29
    end
  end
  object Timer1: TTimer@34
    Interval@35 = Integer 100@35
  end
end
)TREE";

TEST(DfmParse, RealisticDefinitionBecomesTree) {
    const dfm::Object form = dfm::Parse(kMainForm, kResource);
    EXPECT_EQ(Replace(Dump(form), "\r", ""), kMainFormTree);

    // The Japanese font name, spelled out as bytes so the comparison does not depend on
    // how this file is read.
    const auto font = std::find_if(form.properties.begin(), form.properties.end(),
                                   [](const dfm::Property& p) { return p.name == "Font.Name"; });
    ASSERT_NE(font, form.properties.end());
    EXPECT_EQ(font->value.text,
              "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");
    // #13#10 inside the concatenated caption must become exactly CR LF.
    ASSERT_EQ(form.children.size(), 2u);
    ASSERT_EQ(form.children[0].children.size(), 2u);
    EXPECT_EQ(form.children[0].children[1].properties.at(0).value.text,
              "A longer caption that goes on\r\nand ends here");
}

TEST(DfmParse, LineEndingsAndKeywordCaseDoNotChangeTree) {
    const std::string expected = Dump(dfm::Parse(kMainForm, kResource));
    const struct {
        const char* name;
        std::string text;
    } variants[] = {
        {"CR LF", Replace(kMainForm, "\n", "\r\n")},
        {"no final line break", std::string(kMainForm, std::char_traits<char>::length(kMainForm) - 1)},
        {"byte order mark", "\xEF\xBB\xBF"s + kMainForm},
        {"keywords in other case", Replace(Replace(kMainForm, "object ", "OBJECT "), "end\n", "End\n")},
        {"tabs for indentation", Replace(kMainForm, "  ", "\t")},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        try {
            EXPECT_EQ(Dump(dfm::Parse(v.text, kResource)), expected);
        } catch (const Exception& e) {
            ADD_FAILURE() << "rejected: " << e.Message();
        }
    }
}

TEST(DfmParse, ValueForms) {
    const struct {
        std::string written;
        std::string expected;  // Render() of the value, without the line
    } cases[] = {
        {"0", "Integer 0"},
        {"-7", "Integer -7"},
        {"9223372036854775807", "Integer 9223372036854775807"},
        {"-9223372036854775808", "Integer -9223372036854775808"},
        {"$7FFFFFFF", "Integer 2147483647"},
        {"$00c0FfEe", "Integer 12648430"},
        {"-$10", "Integer -16"},
        {"$FFFFFFFFFFFFFFFF", "Integer -1"},
        {"$8000000000000000", "Integer -9223372036854775808"},
        {"0.5", "Float 0.5"},
        {"-0.25", "Float -0.25"},
        {"2.5E+3", "Float 2500"},
        {"1e-2", "Float 0.01"},
        {"''", "String \"\""},
        {"''''", "String \"'\""},
        {"'It''s'", "String \"It's\""},
        {"#39#39", "String \"''\""},
        {"'a'#13#10'b'", "String \"a\r\nb\""},
        {"#65'b'#67", "String \"AbC\""},
        {"#128512", "String \"\xF0\x9F\x98\x80\""},
        {"#1114111", "String \"\xF4\x8F\xBF\xBF\""},
        {"#0001", "String \"\x01\""},
        {"'x' + 'y' +\n    'z'", "String \"xyz\""},
        {"'x'#10 + #10'y'", "String \"x\n\ny\""},
        {"'größer ≥ ルーペ'", "String \"größer ≥ ルーペ\""},
        {"[]", "Set []"},
        {"[ fsBold ]", "Set [fsBold]"},
        {"[a,b ,\n    c]", "Set [a,b,c]"},
        {"{}", "Binary {}"},
        {"{0aFF\n    10 }", "Binary {0AFF10}"},
        {"{ 0 A F F }", "Binary {0AFF}"},
        {"False", "Identifier False"},
        {"Form2.Edit1", "Identifier Form2.Edit1"},
        {"_x9", "Identifier _x9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::string text = "object A: TA\n  Value = " + c.written + "\nend\n";
        try {
            const dfm::Object obj = dfm::Parse(text, kResource);
            ASSERT_EQ(obj.properties.size(), 1u);
            EXPECT_EQ(obj.properties[0].name, "Value");
            EXPECT_EQ(Render(obj.properties[0].value), c.expected + "@2");
        } catch (const Exception& e) {
            ADD_FAILURE() << "rejected: " << e.Message();
        }
    }
}

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "object O" + std::to_string(i) + ": TPanel\n";
    for (int i = 0; i < depth; ++i) text += "end\n";
    return text;
}

TEST(DfmParse, MalformedTextIsRejectedWithLine) {
    const struct {
        const char* name;
        std::string text;
        int line;
        const char* problem;
    } cases[] = {
        {"empty input", "", 1, "empty input"},
        {"only blank lines", "\n  \n\t\n", 3, "empty input"},
        {"property before any object", "Left = 1\n", 1, "expected 'object'"},
        {"item list", "object A: T\n  Items = <\n    item\n    end>\nend\n", 2, "item lists are not supported"},
        {"list in parentheses", "object A: T\n  Lines.Strings = (\n    'a')\nend\n", 2, "not supported"},
        {"inherited at top", "inherited A: T\nend\n", 1, "only 'object' definitions are supported"},
        {"inline child", "object A: T\n  inline B: TFrame\n  end\nend\n", 2, "only 'object' definitions are supported"},
        {"unterminated object", "object Form1: TForm1\n  Left = 1\n  object P: TPanel\n  end\n", 4,
         "object 'Form1' opened at line 1"},
        {"unterminated inner object", "object A: T\n  object B: T\n    Left = 1\n\n", 4,
         "object 'B' opened at line 2"},
        {"unterminated string", "object A: T\n  Caption = 'abc\nend\n", 2, "unterminated string"},
        {"unterminated string, CR LF", "object A: T\r\n  Caption = 'abc\r\nend\r\n", 2, "unterminated string"},
        {"unterminated string at end", "object A: T\n  Caption = 'it''", 2, "unterminated string"},
        {"missing '='", "object A: T\n  Left 200\nend\n", 2, "expected '=' after property name 'Left'"},
        {"missing class name", "object A:\n  Left = 1\nend\n", 1, "missing class name"},
        {"missing ':'", "object A TA\nend\n", 1, "expected ':'"},
        {"missing object name", "object\n  Left = 1\nend\n", 1, "expected an object name"},
        {"dotted object name", "object A.B: T\nend\n", 1, "bad object name"},
        {"letters after digits", "object A: T\n  Left = 12abc\nend\n", 2, "bad number '12abc'"},
        {"fraction without digits", "object A: T\n  X = 1.\nend\n", 2, "bad number '1.'"},
        {"two points", "object A: T\n  X = 1.2.3\nend\n", 2, "bad number '1.2.3'"},
        {"minus alone", "object A: T\n  X = -x\nend\n", 2, "bad number '-x'"},
        {"dollar alone", "object A: T\n  X = $\nend\n", 2, "bad number '$'"},
        {"hex with bad digit", "object A: T\n  X = $1G\nend\n", 2, "bad number '$1G'"},
        {"decimal out of range", "object A: T\n  X = 9223372036854775808\nend\n", 2, "bad number"},
        {"hex out of range", "object A: T\n  X = $10000000000000000\nend\n", 2, "bad number"},
        {"float out of range", "object A: T\n  X = 1.0e999\nend\n", 2, "bad number"},
        {"odd hex digits", "object A: T\n  Data = {\n    0A0\n    }\nend\n", 2, "odd number of hex digits"},
        {"not hex in binary", "object A: T\n  Data = {\n    0G}\nend\n", 3, "in binary data"},
        {"unterminated binary", "object A: T\n  Data = {\n    00\n", 3, "no closing '}'"},
        {"character code too big", "object A: T\n  C = 'a'#1114112\nend\n", 2, "out of range"},
        {"character code huge", "object A: T\n  C = #99999999999999999999999\nend\n", 2, "out of range"},
        {"surrogate code", "object A: T\n  C = #55296\nend\n", 2, "surrogate"},
        {"'#' without digits", "object A: T\n  C = #$41\nend\n", 2, "expected decimal digits after '#'"},
        {"no value before end", "object A: T\n  Caption =\nend\n", 2, "property 'Caption' has no value"},
        {"no value before next property", "object A: T\n  Caption =\n  Left = 1\nend\n", 2,
         "property 'Caption' has no value"},
        {"no value before child", "object A: T\n  Tag =\n  object B: T\n  end\nend\n", 2,
         "property 'Tag' has no value"},
        {"no value at end of text", "object A: T\n  Tag =", 2, "property 'Tag' has no value"},
        {"'+' without string", "object A: T\n  C = 'a' +\nend\n", 2, "expected a string after '+'"},
        {"'+' after number", "object A: T\n  C = 1 + 2\nend\n", 2, "expected a property"},
        {"set without comma", "object A: T\n  S = [a b]\nend\n", 2, "expected ',' or ']'"},
        {"set with trailing comma", "object A: T\n  S = [a,]\nend\n", 2, "expected a name in the set"},
        {"unterminated set", "object A: T\n  S = [a,\n", 2, "expected a name in the set"},
        {"dangling dot", "object A: T\n  Font. = 1\nend\n", 2, "expected a name after 'Font.'"},
        {"comment", "object A: T\n  // note\nend\n", 2, "unexpected character '/'"},
        {"number instead of property", "object A: T\n  42\nend\n", 2, "expected a property"},
        {"too deep", Nested(dfm::kMaxDepth + 1), dfm::kMaxDepth + 1, "objects nested too deeply"},
        {"trailing text", "object A: T\nend\n\nextra\n", 4, "unexpected text after the end of object 'A'"},
        {"trailing symbol", "object A: T\nend =", 2, "unexpected text after the end"},
        {"two top-level objects", "object A: T\nend\nobject B: T\nend\n", 3, "more than one top-level object"},
        {"NUL byte", "object A: T\n  C = 'a\0b'\nend\n"s, 2, "NUL byte"},
        {"invalid UTF-8", "object A: T\n  C = 'caf\xC3('\nend\n", 2, "invalid UTF-8"},
        {"overlong UTF-8", "object A: T\n\n  C = '\xC0\xAF'\nend\n", 3, "invalid UTF-8"},
        {"UTF-8 surrogate", "object A: T\n  C = '\xED\xA0\x80'\nend\n", 2, "invalid UTF-8"},
        {"UTF-8 beyond U+10FFFF", "object A: T\n  C = '\xF4\x90\x80\x80'\nend\n", 2, "invalid UTF-8"},
        {"truncated UTF-8 at end", "object A: T\nend\n\xE3\x81", 3, "invalid UTF-8"},
        {"non-ASCII outside string", "object A: T\n  \xC3\xA9 = 1\nend\n", 2, "unexpected character U+00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = ParseError(c.text);
        const std::string prefix = std::string(kResource) + ":" + std::to_string(c.line) + ": ";
        EXPECT_EQ(message.substr(0, prefix.size()), prefix) << "message: " << message;
        EXPECT_NE(message.find(c.problem), std::string::npos) << "message: " << message;
    }
}

TEST(DfmParse, NestingUpToLimitIsAccepted) {
    const dfm::Object top = dfm::Parse(Nested(dfm::kMaxDepth), kResource);
    int depth = 1;
    for (const dfm::Object* o = &top; !o->children.empty(); o = &o->children.front()) {
        ASSERT_EQ(o->children.size(), 1u) << "at depth " << depth;
        ++depth;
        EXPECT_EQ(o->children.front().line, depth);
    }
    EXPECT_EQ(depth, dfm::kMaxDepth);
}

TEST(DfmParse, InputSizeLimit) {
    // A binary value padded with spaces fills the text up to an exact size.
    const auto sized = [](std::size_t size) {
        const std::string head = "object A: T\n  Data = {", tail = "}\nend\n";
        return head + std::string(size - head.size() - tail.size(), ' ') + tail;
    };
    EXPECT_EQ(ParseError(sized(dfm::kMaxInputSize)), "");
    const std::string message = ParseError(sized(dfm::kMaxInputSize + 1));
    EXPECT_EQ(message.rfind("Lens.dfm:1: ", 0), 0u) << "message: " << message;
    EXPECT_NE(message.find("larger than"), std::string::npos) << "message: " << message;
}

// Every prefix and many one-byte corruptions of a valid definition must either parse or be
// rejected through Exception with a line that exists in the text.
TEST(DfmParse, DamagedTextFailsCleanly) {
    const std::string good = kMainForm;
    const int lines = static_cast<int>(std::count(good.begin(), good.end(), '\n'));
    std::vector<std::string> damaged;
    for (std::size_t n = 0; n < good.size(); ++n) damaged.push_back(good.substr(0, n));
    const char replacements[] = {'\'', '#', '{', '}', '[', '=', ':', '\n', '$', '-', '.', '+', 'x', '\x80', '\0'};
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (char r : replacements) {
            std::string s = good;
            s[i] = r;
            damaged.push_back(s);
        }
        damaged.push_back(good.substr(0, i) + good.substr(i + 1));
    }
    int rejected = 0;
    for (const std::string& text : damaged) {
        const int textLines = std::max(lines, static_cast<int>(std::count(text.begin(), text.end(), '\n')));
        try {
            dfm::Parse(text, kResource);
        } catch (const Exception& e) {
            ++rejected;
            const std::string m = e.Message();
            const std::string prefix = std::string(kResource) + ":";
            ASSERT_EQ(m.rfind(prefix, 0), 0u) << m;
            const std::size_t colon = m.find(": ", prefix.size());
            ASSERT_NE(colon, std::string::npos) << m;
            const int line = std::stoi(m.substr(prefix.size(), colon - prefix.size()));
            ASSERT_GE(line, 1) << m;
            ASSERT_LE(line, textLines + 1) << m;
        }
    }
    // Every proper prefix that cuts into the final "end" is incomplete.
    for (std::size_t n = 0; n + 4 < good.size(); ++n)
        EXPECT_NE(ParseError(good.substr(0, n)), "") << "prefix of length " << n << " accepted";
    EXPECT_GT(rejected, 0);
}

}  // namespace
