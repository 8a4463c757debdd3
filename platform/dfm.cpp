#include "platform/dfm.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>

namespace dfm {
namespace {

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 if it is malformed
// (truncated, overlong, a surrogate or beyond U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    return len;
}

std::uint32_t DecodeUtf8(std::string_view s, std::size_t i, std::size_t len) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[k])); };
    switch (len) {
        case 1: return b(i);
        case 2: return ((b(i) & 0x1F) << 6) | (b(i + 1) & 0x3F);
        case 3: return ((b(i) & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
        default:
            return ((b(i) & 0x07) << 18) | ((b(i + 1) & 0x3F) << 12) | ((b(i + 2) & 0x3F) << 6) |
                   (b(i + 3) & 0x3F);
    }
}

struct Token {
    enum class Kind { Ident, Integer, Float, String, Binary, Symbol, End };
    Kind kind = Kind::End;
    int line = 0;
    std::string text;  // Ident: the name; String: decoded text; Symbol: the character
    std::int64_t integer = 0;
    double real = 0;
    std::vector<std::uint8_t> bytes;

    bool IsSymbol(char c) const { return kind == Kind::Symbol && text.size() == 1 && text[0] == c; }
    bool IsKeyword(std::string_view word) const { return kind == Kind::Ident && EqualsNoCase(text, word); }
};

class Reader {
public:
    Reader(std::string_view text, std::string_view resourceName)
        : text_(text), resource_(resourceName) {}

    Object Parse();

private:
    [[noreturn]] void Fail(int line, const std::string& problem) const {
        throw Exception(std::string(resource_) + ":" + std::to_string(line) + ": " + problem);
    }

    void CheckEncoding();

    // Lexing.
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    void SkipSpace();
    int EndLine() const;
    Token Lex();
    Token LexIdent();
    Token LexNumber();
    Token LexString();
    Token LexBinary();
    std::string DescribeChar(std::size_t at) const;

    // Token stream with one token of lookahead beyond the current one.
    const Token& Current() {
        if (!current_) current_ = Lex();
        return *current_;
    }
    const Token& Following() {
        Current();
        if (!following_) following_ = Lex();
        return *following_;
    }
    Token Take() {
        Current();
        Token t = std::move(*current_);
        current_ = std::move(following_);
        following_.reset();
        return t;
    }

    // Parsing.
    Object ParseHeader(const Token& keyword);
    Property ParseProperty(Token name);
    Value ParseValue(const Property& owner);
    static std::string Describe(const Token& t);

    std::string_view text_;
    std::string_view resource_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::optional<Token> current_, following_;
};

void Reader::CheckEncoding() {
    if (text_.size() > kMaxInputSize)
        Fail(1, "the text is larger than " + std::to_string(kMaxInputSize) + " bytes");
    int line = 1;
    for (std::size_t i = 0; i < text_.size();) {
        const char c = text_[i];
        if (c == '\0') Fail(line, "NUL byte in the text");
        if (c == '\n') ++line;
        const std::size_t len = Utf8SequenceLength(text_, i);
        if (len == 0) Fail(line, "invalid UTF-8 in the text");
        i += len;
    }
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
}

void Reader::SkipSpace() {
    while (!AtEnd() && IsSpace(text_[pos_])) {
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
    }
}

int Reader::EndLine() const {
    if (!text_.empty() && text_.back() == '\n') return line_ - 1;
    return line_;
}

std::string Reader::DescribeChar(std::size_t at) const {
    const char c = text_[at];
    if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
    std::size_t len = Utf8SequenceLength(text_, at);
    std::uint32_t cp = DecodeUtf8(text_, at, len == 0 ? 1 : len);
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

Token Reader::Lex() {
    SkipSpace();
    Token t;
    if (AtEnd()) {
        t.kind = Token::Kind::End;
        t.line = EndLine();
        return t;
    }
    const char c = text_[pos_];
    if (IsIdentStart(c)) return LexIdent();
    if (IsDigit(c) || c == '-' || c == '$') return LexNumber();
    if (c == '\'' || c == '#') return LexString();
    if (c == '{') return LexBinary();
    switch (c) {
        case '=': case ':': case '[': case ']': case ',': case '+':
        case '<': case '>': case '(': case ')':
            t.kind = Token::Kind::Symbol;
            t.line = line_;
            t.text = std::string(1, c);
            ++pos_;
            return t;
        default:
            Fail(line_, "unexpected character " + DescribeChar(pos_));
    }
}

Token Reader::LexIdent() {
    Token t;
    t.kind = Token::Kind::Ident;
    t.line = line_;
    const std::size_t start = pos_;
    for (;;) {
        while (!AtEnd() && IsIdentChar(text_[pos_])) ++pos_;
        if (Peek() != '.') break;
        if (!IsIdentStart(Peek(1)))
            Fail(line_, "expected a name after '" + std::string(text_.substr(start, pos_ + 1 - start)) + "'");
        ++pos_;
    }
    t.text = std::string(text_.substr(start, pos_ - start));
    return t;
}

Token Reader::LexNumber() {
    Token t;
    t.line = line_;
    const std::size_t start = pos_;
    const auto badNumber = [&](const char* why) {
        // Show the whole run of characters that looked like part of the number.
        std::size_t end = pos_;
        while (end < text_.size() && (IsIdentChar(text_[end]) || text_[end] == '.' || text_[end] == '$')) ++end;
        if (end == start) end = start + 1;
        std::string problem = "bad number '" + std::string(text_.substr(start, end - start)) + "'";
        if (why) problem += std::string(" (") + why + ")";
        Fail(t.line, problem);
    };

    const bool negative = Peek() == '-';
    if (negative) ++pos_;

    if (Peek() == '$') {
        ++pos_;
        const std::size_t digits = pos_;
        std::uint64_t value = 0;
        while (!AtEnd() && IsHexDigit(text_[pos_])) {
            if (pos_ - digits >= 16) badNumber("out of range");
            value = (value << 4) | static_cast<std::uint64_t>(HexValue(text_[pos_]));
            ++pos_;
        }
        if (pos_ == digits || IsIdentChar(Peek()) || Peek() == '.') badNumber(nullptr);
        t.kind = Token::Kind::Integer;
        t.integer = static_cast<std::int64_t>(negative ? std::uint64_t{0} - value : value);
        return t;
    }

    const std::size_t intStart = pos_;
    while (!AtEnd() && IsDigit(text_[pos_])) ++pos_;
    if (pos_ == intStart) badNumber(nullptr);
    bool isFloat = false;
    if (Peek() == '.') {
        isFloat = true;
        ++pos_;
        const std::size_t fracStart = pos_;
        while (!AtEnd() && IsDigit(text_[pos_])) ++pos_;
        if (pos_ == fracStart) badNumber(nullptr);
    }
    if (Peek() == 'e' || Peek() == 'E') {
        isFloat = true;
        ++pos_;
        if (Peek() == '+' || Peek() == '-') ++pos_;
        const std::size_t expStart = pos_;
        while (!AtEnd() && IsDigit(text_[pos_])) ++pos_;
        if (pos_ == expStart) badNumber(nullptr);
    }
    if (IsIdentChar(Peek()) || Peek() == '.' || Peek() == '$') badNumber(nullptr);

    const char* first = text_.data() + start;
    const char* last = text_.data() + pos_;
    if (isFloat) {
        t.kind = Token::Kind::Float;
        auto [p, ec] = std::from_chars(first, last, t.real);
        if (ec != std::errc() || p != last) badNumber("out of range");
    } else {
        t.kind = Token::Kind::Integer;
        auto [p, ec] = std::from_chars(first, last, t.integer);
        if (ec != std::errc() || p != last) badNumber("out of range");
    }
    return t;
}

Token Reader::LexString() {
    Token t;
    t.kind = Token::Kind::String;
    t.line = line_;
    // Quoted parts and #codes written next to each other form one string.
    for (;;) {
        const char c = Peek();
        if (c == '\'') {
            const int openLine = line_;
            ++pos_;
            for (;;) {
                if (AtEnd() || Peek() == '\n' || Peek() == '\r') Fail(openLine, "unterminated string");
                const char d = text_[pos_++];
                if (d == '\'') {
                    if (Peek() != '\'') break;
                    ++pos_;
                }
                t.text += d;
            }
        } else if (c == '#') {
            const std::size_t start = pos_;
            ++pos_;
            std::uint32_t code = 0;
            bool tooBig = false;
            const std::size_t digits = pos_;
            while (!AtEnd() && IsDigit(text_[pos_])) {
                if (code > 0x10FFFF) tooBig = true;  // stop growing; the value is rejected anyway
                else code = code * 10 + static_cast<std::uint32_t>(text_[pos_] - '0');
                ++pos_;
            }
            const std::string written(text_.substr(start, pos_ - start));
            if (pos_ == digits) Fail(line_, "expected decimal digits after '#'");
            if (tooBig || code > 0x10FFFF) Fail(line_, "character code " + written + " is out of range");
            if (code >= 0xD800 && code <= 0xDFFF)
                Fail(line_, "character code " + written + " is a surrogate, not a character");
            AppendUtf8(t.text, code);
        } else {
            return t;
        }
    }
}

Token Reader::LexBinary() {
    Token t;
    t.kind = Token::Kind::Binary;
    t.line = line_;
    ++pos_;
    bool haveHigh = false;
    int high = 0;
    for (;;) {
        SkipSpace();
        if (AtEnd()) Fail(EndLine(), "binary data opened at line " + std::to_string(t.line) + " has no closing '}'");
        const char c = text_[pos_];
        if (c == '}') {
            ++pos_;
            break;
        }
        if (!IsHexDigit(c)) Fail(line_, "unexpected character " + DescribeChar(pos_) + " in binary data");
        if (haveHigh) t.bytes.push_back(static_cast<std::uint8_t>((high << 4) | HexValue(c)));
        else high = HexValue(c);
        haveHigh = !haveHigh;
        ++pos_;
    }
    if (haveHigh) Fail(t.line, "odd number of hex digits in binary data");
    return t;
}

std::string Reader::Describe(const Token& t) {
    switch (t.kind) {
        case Token::Kind::Ident: return "'" + t.text + "'";
        case Token::Kind::Integer:
        case Token::Kind::Float: return "a number";
        case Token::Kind::String: return "a string";
        case Token::Kind::Binary: return "binary data";
        case Token::Kind::Symbol: return "'" + t.text + "'";
        case Token::Kind::End: return "the end of the text";
    }
    return "?";
}

Object Reader::ParseHeader(const Token& keyword) {
    if (keyword.IsKeyword("inherited") || keyword.IsKeyword("inline"))
        Fail(keyword.line, "only 'object' definitions are supported, not '" + keyword.text + "'");
    // The header must stay on the keyword's line, so that a missing part is not filled in
    // by the first word of the next line.
    Object obj;
    obj.line = keyword.line;
    const Token& name = Current();
    if (name.line != keyword.line || name.kind != Token::Kind::Ident)
        Fail(keyword.line, "expected an object name after 'object'");
    if (name.text.find('.') != std::string::npos) Fail(name.line, "bad object name '" + name.text + "'");
    obj.name = Take().text;
    const Token& colon = Current();
    if (colon.line != keyword.line || !colon.IsSymbol(':'))
        Fail(keyword.line, "expected ':' and a class name after object name '" + obj.name + "'");
    Take();
    const Token& cls = Current();
    if (cls.line != keyword.line || cls.kind != Token::Kind::Ident)
        Fail(keyword.line, "missing class name after '" + obj.name + ":'");
    if (cls.text.find('.') != std::string::npos) Fail(cls.line, "bad class name '" + cls.text + "'");
    obj.className = Take().text;
    return obj;
}

Property Reader::ParseProperty(Token name) {
    Property prop;
    prop.name = std::move(name.text);
    prop.line = name.line;
    const Token& eq = Current();
    if (!eq.IsSymbol('='))
        Fail(prop.line, "expected '=' after property name '" + prop.name + "', found " + Describe(eq));
    Take();
    prop.value = ParseValue(prop);
    return prop;
}

Value Reader::ParseValue(const Property& owner) {
    const std::string noValue = "property '" + owner.name + "' has no value";
    const Token& first = Current();
    Value v;
    v.line = first.line;
    switch (first.kind) {
        case Token::Kind::End:
            Fail(owner.line, noValue);
        case Token::Kind::Integer:
            v.kind = Value::Kind::Integer;
            v.integer = Take().integer;
            return v;
        case Token::Kind::Float:
            v.kind = Value::Kind::Float;
            v.real = Take().real;
            return v;
        case Token::Kind::Binary:
            v.kind = Value::Kind::Binary;
            v.binary = Take().bytes;
            return v;
        case Token::Kind::String:
            v.kind = Value::Kind::String;
            v.text = Take().text;
            while (Current().IsSymbol('+')) {
                const int plusLine = Take().line;
                if (Current().kind != Token::Kind::String)
                    Fail(plusLine, "expected a string after '+' in the value of '" + owner.name + "'");
                v.text += Take().text;
            }
            return v;
        case Token::Kind::Ident:
            // A keyword or a name followed by '=' starts the next item: this property was left empty.
            if (first.IsKeyword("object") || first.IsKeyword("end") || first.IsKeyword("inherited") ||
                first.IsKeyword("inline") || Following().IsSymbol('='))
                Fail(owner.line, noValue);
            v.kind = Value::Kind::Identifier;
            v.text = Take().text;
            return v;
        case Token::Kind::Symbol:
            break;
    }
    if (first.IsSymbol('<')) Fail(first.line, "item lists are not supported");
    if (first.IsSymbol('(')) Fail(first.line, "lists in parentheses are not supported");
    if (!first.IsSymbol('['))
        Fail(first.line, "expected a value for '" + owner.name + "', found " + Describe(first));
    Take();
    v.kind = Value::Kind::Set;
    if (Current().IsSymbol(']')) {
        Take();
        return v;
    }
    for (;;) {
        const Token& item = Current();
        if (item.kind != Token::Kind::Ident)
            Fail(item.line, "expected a name in the set of '" + owner.name + "', found " + Describe(item));
        v.set.push_back(Take().text);
        const Token& sep = Current();
        if (sep.IsSymbol(']')) {
            Take();
            return v;
        }
        if (!sep.IsSymbol(','))
            Fail(sep.line, "expected ',' or ']' in the set of '" + owner.name + "', found " + Describe(sep));
        Take();
    }
}

Object Reader::Parse() {
    CheckEncoding();

    const Token start = Take();
    if (start.kind == Token::Kind::End) Fail(start.line, "empty input: expected 'object'");
    if (!start.IsKeyword("object") && !start.IsKeyword("inherited") && !start.IsKeyword("inline"))
        Fail(start.line, "expected 'object', found " + Describe(start));

    // Objects still open, outermost first. Each one is moved into its parent when its 'end' is read.
    std::vector<Object> open;
    open.push_back(ParseHeader(start));
    for (;;) {
        Token t = Take();
        if (t.kind == Token::Kind::End) {
            const Object& innermost = open.back();
            Fail(t.line, "object '" + innermost.name + "' opened at line " + std::to_string(innermost.line) +
                             " has no 'end'");
        }
        if (t.IsKeyword("end")) {
            Object done = std::move(open.back());
            open.pop_back();
            if (open.empty()) {
                const Token& rest = Current();
                if (rest.IsKeyword("object") || rest.IsKeyword("inherited") || rest.IsKeyword("inline"))
                    Fail(rest.line, "more than one top-level object: '" + done.name + "' has already ended");
                if (rest.kind != Token::Kind::End)
                    Fail(rest.line, "unexpected text after the end of object '" + done.name + "'");
                return done;
            }
            open.back().children.push_back(std::move(done));
        } else if (t.IsKeyword("object") || t.IsKeyword("inherited") || t.IsKeyword("inline")) {
            if (static_cast<int>(open.size()) >= kMaxDepth)
                Fail(t.line, "objects nested too deeply (more than " + std::to_string(kMaxDepth) + " levels)");
            open.push_back(ParseHeader(t));
        } else if (t.kind == Token::Kind::Ident) {
            open.back().properties.push_back(ParseProperty(std::move(t)));
        } else {
            Fail(t.line, "expected a property, 'object' or 'end' in object '" + open.back().name + "', found " +
                             Describe(t));
        }
    }
}

}  // namespace

Object Parse(std::string_view text, std::string_view resourceName) {
    return Reader(text, resourceName).Parse();
}

}  // namespace dfm
