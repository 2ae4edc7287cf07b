#include "script.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>

namespace wexhost {
namespace {

constexpr long long kDefaultBufferSize = 4096;

std::string EnvironmentValue(const std::string& name) {
    char value[32768];
    DWORD n = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void SkipBlanks(const std::string& s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i;
}

}  // namespace

std::string Variables::Expand(const std::string& text) const {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close;
        if (text.compare(i, 2, "${") == 0 && (close = text.find('}', i + 2)) != std::string::npos) {
            std::string name = text.substr(i + 2, close - i - 2);
            auto it = values_.find(name);
            out += it != values_.end() ? it->second : EnvironmentValue(name);
            i = close;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool ParseLine(const std::string& line, const Variables& vars, Statement& out, std::string& error) {
    out = Statement{};
    size_t i = 0;
    SkipBlanks(line, i);
    if (i == line.size() || (line[i] == '#' && (i + 1 == line.size() || !std::isdigit((unsigned char)line[i + 1]))))
        return true;

    size_t start = i;
    while (i < line.size() && !std::isspace((unsigned char)line[i])) ++i;
    out.verb = line.substr(start, i - start);
    SkipBlanks(line, i);
    if (out.verb == "echo") {
        std::string rest = line.substr(i);
        while (!rest.empty() && (rest.back() == '\r' || rest.back() == '\n')) rest.pop_back();
        out.rest = vars.Expand(rest);
        return true;
    }
    if (out.verb == "set" || out.verb == "keep") {
        size_t nameStart = i;
        while (i < line.size() && !std::isspace((unsigned char)line[i])) ++i;
        out.rest = line.substr(nameStart, i - nameStart);
        SkipBlanks(line, i);
    }

    while (i < line.size()) {
        Argument arg;
        if (line[i] == '"') {
            std::string text;
            for (++i;; ++i) {
                if (i >= line.size()) {
                    error = "unterminated text";
                    return false;
                }
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        text += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += line[i];
            }
            arg.kind = Argument::Text;
            arg.text = vars.Expand(text);
        } else {
            size_t wordStart = i;
            while (i < line.size() && !std::isspace((unsigned char)line[i])) ++i;
            std::string word = line.substr(wordStart, i - wordStart);
            char* end = nullptr;
            if (word == "null") {
                arg.kind = Argument::Null;
            } else if (word == "buf") {
                arg.kind = Argument::Buffer;
                arg.number = kDefaultBufferSize;
            } else if (word.compare(0, 4, "buf[") == 0 && word.back() == ']') {
                arg.kind = Argument::Buffer;
                arg.number = std::strtoll(word.c_str() + 4, &end, 10);
                if (*end != ']' || arg.number <= 0 || arg.number > (1 << 24)) {
                    error = "bad buffer size in " + word;
                    return false;
                }
            } else {
                arg.kind = Argument::Integer;
                arg.number = std::strtoll(word.c_str(), &end, 10);
                if (word.empty() || *end != '\0') {
                    error = "not an argument: " + word;
                    return false;
                }
            }
        }
        out.arguments.push_back(std::move(arg));
        SkipBlanks(line, i);
    }
    return true;
}

}  // namespace wexhost
