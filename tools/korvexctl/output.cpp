#include "output.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform.h"

namespace korvexctl {

namespace {

// Length of the UTF-8 sequence at `text[i]`, or 0 when the bytes there are not valid UTF-8.
size_t utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Device texts are 8-bit text of unknown encoding: valid UTF-8 passes, every other byte is
// escaped as the Latin-1 character of that value, so the output is always valid JSON.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else if (const size_t length = c >= 0x80 ? utf8SequenceLength(text, i) : 0) {
            out.append(text, i, length);
            i += length - 1;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        }
    }
    return out + "\"";
}

std::string realText(double number, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, number);
    return text;
}

}  // namespace

Value Value::integer(long long number) {
    Value value(Kind::Integer);
    value.integer_ = number;
    return value;
}

Value Value::real(double number, int decimals) {
    Value value(Kind::Real);
    value.real_ = number;
    value.decimals_ = decimals;
    return value;
}

Value Value::boolean(bool truth) {
    Value value(Kind::Boolean);
    value.integer_ = truth ? 1 : 0;
    return value;
}

Value Value::text(const std::string& text) {
    Value value(Kind::Text);
    value.text_ = text;
    return value;
}

Value& Value::add(const std::string& name, const Value& value) {
    names_.push_back(name);
    values_.push_back(value);
    return *this;
}

Value& Value::append(const Value& item) {
    values_.push_back(item);
    return *this;
}

Value& Value::shownAs(const std::string& text) {
    shown_ = text;
    return *this;
}

const Value* Value::member(const std::string& name) const {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) {
            return &values_[i];
        }
    }
    return nullptr;
}

std::string Value::toJson() const {
    switch (kind_) {
        case Kind::Integer:
            return std::to_string(integer_);
        case Kind::Real:
            return realText(real_, decimals_);
        case Kind::Boolean:
            return integer_ ? "true" : "false";
        case Kind::Text:
            return jsonString(text_);
        case Kind::List: {
            std::string out = "[";
            for (size_t i = 0; i < values_.size(); ++i) {
                out += (i > 0 ? "," : "") + values_[i].toJson();
            }
            return out + "]";
        }
        case Kind::Object:
            break;
    }
    std::string out = "{";
    for (size_t i = 0; i < names_.size(); ++i) {
        out += (i > 0 ? "," : "") + jsonString(names_[i]) + ":" + values_[i].toJson();
    }
    return out + "}";
}

std::string Value::inlineText() const {
    if (!shown_.empty()) {
        return shown_;
    }
    switch (kind_) {
        case Kind::Integer:
            return std::to_string(integer_);
        case Kind::Real:
            return realText(real_, decimals_);
        case Kind::Boolean:
            return integer_ ? "yes" : "no";
        case Kind::Text:
            return text_;
        case Kind::List: {
            std::string out;
            for (size_t i = 0; i < values_.size(); ++i) {
                out += (i > 0 ? " " : "") + values_[i].inlineText();
            }
            return out;
        }
        case Kind::Object:
            break;
    }
    std::string out;
    for (size_t i = 0; i < names_.size(); ++i) {
        out += (i > 0 ? " " : "") + names_[i] + "=" + values_[i].inlineText();
    }
    return out;
}

std::string Value::toText(int indent) const {
    if (kind_ != Kind::Object) {
        return std::string(static_cast<size_t>(indent), ' ') + inlineText() + "\n";
    }
    size_t width = 0;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (values_[i].kind_ != Kind::Object && names_[i].size() > width) {
            width = names_[i].size();
        }
    }
    std::string out;
    for (size_t i = 0; i < names_.size(); ++i) {
        out += std::string(static_cast<size_t>(indent), ' ') + names_[i];
        if (values_[i].kind_ == Kind::Object && values_[i].shown_.empty()) {
            out += "\n" + values_[i].toText(indent + 2);
        } else {
            out += std::string(width - names_[i].size() + 2, ' ') + values_[i].inlineText() + "\n";
        }
    }
    return out;
}

void printResult(const Value& result, bool json) {
    const std::string text = json ? result.toJson() + "\n" : result.toText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string localTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    const std::tm local = platform::localTime(seconds);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03ld", millis);
    return text;
}

}  // namespace korvexctl
