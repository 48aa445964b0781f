// Results, told once and printed either way: as aligned "name  value" lines for people, or with
// --json as one JSON object per line for scripts. Names are the record field names of Korvex.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvexctl {

// A JSON-like value: a number, a text, a truth value, an object of named values or a list.
class Value {
  public:
    enum class Kind { Integer, Real, Boolean, Text, Object, List };

    Value() : kind_(Kind::Object) {}
    static Value integer(long long number);
    static Value real(double number, int decimals);
    static Value boolean(bool truth);
    static Value text(const std::string& text);
    static Value object() { return Value(); }
    static Value list() { return Value(Kind::List); }

    // Object members, in the order added; returns *this.
    Value& add(const std::string& name, const Value& value);
    Value& add(const std::string& name, long long number) { return add(name, integer(number)); }
    Value& add(const std::string& name, int number) { return add(name, integer(number)); }
    Value& add(const std::string& name, const std::string& value) { return add(name, text(value)); }
    Value& add(const std::string& name, const char* value) { return add(name, text(value)); }
    // List items.
    Value& append(const Value& item);
    // How text output shows this value instead of its own form (e.g. "1:0,0,50,100").
    Value& shownAs(const std::string& text);

    Kind kind() const { return kind_; }
    long long asInteger() const { return integer_; }
    const std::string& asText() const { return text_; }
    const std::vector<std::string>& names() const { return names_; }
    const std::vector<Value>& values() const { return values_; }
    // The member of that name, or nullptr.
    const Value* member(const std::string& name) const;

    std::string toJson() const;
    // "name  value" lines for an object (nested objects indented under their name).
    std::string toText(int indent = 0) const;
    // The value on one line, as text output shows it.
    std::string inlineText() const;

  private:
    explicit Value(Kind kind) : kind_(kind) {}

    Kind kind_;
    long long integer_ = 0;
    double real_ = 0;
    int decimals_ = 0;
    std::string text_;
    std::string shown_;
    std::vector<std::string> names_;
    std::vector<Value> values_;
};

// Prints a result on stdout: JSON (one line) when `json`, else its text lines.
void printResult(const Value& result, bool json);

// The local time as "YYYY-MM-DD HH:MM:SS.mmm".
std::string localTimestamp();

// A zero-terminated text of a fixed record field (never reads past the field).
template <size_t N>
std::string fieldText(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field, length);
}

}  // namespace korvexctl
