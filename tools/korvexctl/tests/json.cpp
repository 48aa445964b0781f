#include "json.h"

#include <cstdlib>

namespace korvexctl_test {

namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool document(Json& out) {
        skipSpace();
        if (!value(out, 0)) {
            return false;
        }
        skipSpace();
        return at_ == text_.size() || fail("text after the value");
    }
    std::string error() const { return error_ + " at offset " + std::to_string(at_); }

  private:
    bool fail(const std::string& reason) {
        if (error_.empty()) {
            error_ = reason;
        }
        return false;
    }
    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (text_.compare(at_, w.size(), w) != 0) {
            return fail("bad literal");
        }
        at_ += w.size();
        return true;
    }
    bool value(Json& out, int depth) {
        if (depth > 64) {
            return fail("nested too deeply");
        }
        if (at_ >= text_.size()) {
            return fail("value expected");
        }
        const char c = text_[at_];
        if (c == '{') {
            return object(out, depth);
        }
        if (c == '[') {
            return array(out, depth);
        }
        if (c == '"') {
            out.kind = Json::Kind::String;
            return string(out.text);
        }
        if (c == 't' || c == 'f') {
            out.kind = Json::Kind::Boolean;
            out.boolean = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.kind = Json::Kind::Null;
            return literal("null");
        }
        return number(out);
    }
    bool object(Json& out, int depth) {
        out.kind = Json::Kind::Object;
        ++at_;
        skipSpace();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string name;
            if (at_ >= text_.size() || text_[at_] != '"' || !string(name)) {
                return fail("member name expected");
            }
            skipSpace();
            if (at_ >= text_.size() || text_[at_] != ':') {
                return fail("':' expected");
            }
            ++at_;
            skipSpace();
            if (out.members.count(name) != 0) {
                return fail("member \"" + name + "\" twice");
            }
            if (!value(out.members[name], depth + 1)) {
                return false;
            }
            skipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return true;
            }
            return fail("',' or '}' expected");
        }
    }
    bool array(Json& out, int depth) {
        out.kind = Json::Kind::Array;
        ++at_;
        skipSpace();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            skipSpace();
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) {
                return false;
            }
            skipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return true;
            }
            return fail("',' or ']' expected");
        }
    }
    bool string(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return fail("control character in a string");
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size()) {
                break;
            }
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (at_ + 4 > text_.size()) {
                        return fail("short \\u escape");
                    }
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = text_[at_++];
                        code <<= 4;
                        if (h >= '0' && h <= '9') {
                            code |= static_cast<unsigned>(h - '0');
                        } else if (h >= 'a' && h <= 'f') {
                            code |= static_cast<unsigned>(h - 'a' + 10);
                        } else if (h >= 'A' && h <= 'F') {
                            code |= static_cast<unsigned>(h - 'A' + 10);
                        } else {
                            return fail("bad \\u escape");
                        }
                    }
                    // Enough for the tests: code points below 0x800 as UTF-8.
                    if (code < 0x80) {
                        out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        out += static_cast<char>(0xc0 | (code >> 6));
                        out += static_cast<char>(0x80 | (code & 0x3f));
                    } else {
                        return fail("\\u escape beyond what the tests need");
                    }
                    break;
                }
                default:
                    return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }
    bool number(Json& out) {
        const size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        auto digits = [&] {
            const size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            return at_ - from;
        };
        const size_t intStart = at_;
        const size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && text_[intStart] == '0')) {
            return fail("bad number");
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) {
                return fail("bad fraction");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (digits() == 0) {
                return fail("bad exponent");
            }
        }
        out.kind = Json::Kind::Number;
        out.number = std::strtod(text_.substr(start, at_ - start).c_str(), nullptr);
        return true;
    }

    const std::string& text_;
    size_t at_ = 0;
    std::string error_;
};

const Json& nullJson() {
    static const Json none;
    return none;
}

}  // namespace

const Json& Json::operator[](const std::string& name) const {
    const auto found = members.find(name);
    return found == members.end() ? nullJson() : found->second;
}

const Json& Json::operator[](size_t index) const {
    return index < items.size() ? items[index] : nullJson();
}

bool parseJson(const std::string& text, Json& out, std::string& error) {
    Reader reader(text);
    out = Json();
    if (!reader.document(out)) {
        error = reader.error();
        return false;
    }
    return true;
}

bool parseJsonLines(const std::string& text, std::vector<Json>& out, std::string& error) {
    out.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        Json value;
        if (!parseJson(line, value, error)) {
            error += " in line: " + line;
            return false;
        }
        out.push_back(std::move(value));
    }
    return true;
}

}  // namespace korvexctl_test
