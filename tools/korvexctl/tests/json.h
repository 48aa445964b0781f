// A strict little JSON reader (RFC 8259), enough to check that korvexctl's --json output parses
// and to look at its values.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvexctl_test {

struct Json {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    // The member of that name, or a Null value when there is none (or this is no object).
    const Json& operator[](const std::string& name) const;
    const Json& operator[](size_t index) const;
    bool has(const std::string& name) const { return members.count(name) != 0; }
    long long integer() const { return static_cast<long long>(number); }
};

// Parses one JSON text (surrounding white space allowed). False with the place of the error.
bool parseJson(const std::string& text, Json& out, std::string& error);

// Every non-empty line of `text` as one JSON value (JSON Lines). False when a line does not parse.
bool parseJsonLines(const std::string& text, std::vector<Json>& out, std::string& error);

}  // namespace korvexctl_test
