#include "frame/logtext.h"

#include <cstring>

#include "frame/logmask.h"

namespace wex {

std::string LogEscape(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        default:
            if (byte < 32 || byte == 127) {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string LogQuote(std::string_view text) { return "\"" + LogEscape(text) + "\""; }

std::string LogLineText(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return LogEscape(line);
}

CallText::CallText(std::string_view name) : arguments_(name) { arguments_ += '('; }

void CallText::Next() {
    if (!first_) arguments_ += ", ";
    first_ = false;
}

void CallText::Text(const char* text) {
    Next();
    arguments_ += text ? LogQuote(text) : "null";
}

void CallText::Secret(const char* text) {
    Next();
    arguments_ += text ? "<" + std::to_string(std::strlen(text)) + " bytes>" : "null";
}

void CallText::Hidden(const char* text) {
    Next();
    arguments_ += text ? HiddenValueText(std::strlen(text)) : "null";
}

void CallText::Number(long long value) {
    Next();
    arguments_ += std::to_string(value);
}

void CallText::Buffer(const void* buffer) {
    Next();
    arguments_ += buffer ? "buf" : "null";
}

void CallText::Output(std::string_view text) {
    outputs_ += ' ';
    outputs_ += LogQuote(text);
}

void CallText::HiddenOutput(std::string_view text) {
    outputs_ += ' ';
    outputs_ += HiddenValueText(text.size());
}

std::string CallText::Line(int result) const { return arguments_ + ") -> " + std::to_string(result) + outputs_; }

}  // namespace wex
