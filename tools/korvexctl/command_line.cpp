#include "command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace korvexctl {

namespace {

std::string looseName(const std::string& name) {
    std::string loose;
    for (char c : name) {
        if (c != '-' && c != '_') {
            loose += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return loose;
}

}  // namespace

std::string resolveDeviceName(const std::string& host) {
    // The installation's fixed table (receiver, then CH1..CH4).
    static const char* const kNames[][2] = {
        {"rx", "192.168.2.88"},   {"tx1", "192.168.2.220"}, {"tx2", "192.168.2.221"},
        {"tx3", "192.168.2.222"}, {"tx4", "192.168.2.223"},
    };
    for (const auto& entry : kNames) {
        if (host == entry[0]) {
            return entry[1];
        }
    }
    return host;
}

long long parseInteger(const std::string& text, long long minimum, long long maximum,
                       const std::string& what, const std::string& command) {
    const std::string allowed =
        " (allowed: " + std::to_string(minimum) + ".." + std::to_string(maximum) + ")";
    const bool looksNumeric =
        !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                          (text.size() > 1 && (text[0] == '-' || text[0] == '+') &&
                           std::isdigit(static_cast<unsigned char>(text[1]))));
    char* end = nullptr;
    errno = 0;
    const long long value = looksNumeric ? std::strtoll(text.c_str(), &end, 10) : 0;
    if (!looksNumeric || *end != '\0') {
        throw UsageError(what + ": \"" + text + "\" is not a whole number" + allowed, command);
    }
    if (errno == ERANGE || value < minimum || value > maximum) {
        throw UsageError(what + ": " + text + " is out of range" + allowed, command);
    }
    return value;
}

void OptionParser::value(const std::string& name, std::function<void(const std::string&)> apply) {
    entries_.push_back(Entry{name, true, std::move(apply)});
}

void OptionParser::flag(const std::string& name, std::function<void()> apply) {
    entries_.push_back(
        Entry{name, false, [apply = std::move(apply)](const std::string&) { apply(); }});
}

const OptionParser::Entry* OptionParser::find(const std::string& name) const {
    for (const Entry& entry : entries_) {
        if (entry.name == name || (looseNames_ && looseName(entry.name) == looseName(name))) {
            return &entry;
        }
    }
    return nullptr;
}

bool OptionParser::parse(const std::vector<std::string>& arguments,
                         std::vector<std::string>& positional) {
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.compare(0, 2, "--") != 0) {
            if (!optionsEnded && argument == "-h") {
                return false;
            }
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help") {
            return false;
        }
        std::string name = argument;
        std::string value;
        const size_t equals = argument.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const Entry* entry = find(name);
        if (entry == nullptr) {
            throw UsageError("unknown option " + name, command_);
        }
        if (entry->takesValue && !inlineValue) {
            if (i + 1 >= arguments.size()) {
                throw UsageError(name + " needs a value", command_);
            }
            value = arguments[++i];
        } else if (!entry->takesValue && inlineValue) {
            throw UsageError(name + " takes no value", command_);
        }
        entry->apply(value);
    }
    return true;
}

}  // namespace korvexctl
