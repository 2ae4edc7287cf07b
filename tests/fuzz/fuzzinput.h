// What the fuzz targets share: reading one input as a control byte and
// NUL-separated fields, copies that end exactly where an allocation ends, and
// a check that stops the run with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace wexfuzz {

// A finding: libFuzzer keeps the input that led here.
#define WEX_FUZZ_CHECK(condition)                                                       \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// The first byte chooses a target's settings; the fields after it are
// separated by NUL bytes, and the last one a target asks for keeps the rest
// of the input, NULs and all. Fields missing at the end read as empty, so
// that every input is a valid one.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {
        if (!rest_.empty()) {
            control_ = static_cast<unsigned char>(rest_[0]);
            rest_.remove_prefix(1);
        }
    }

    unsigned char Control() const { return control_; }

    std::string_view Field() {
        const std::size_t end = rest_.find('\0');
        std::string_view field = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return field;
    }

    std::string_view Rest() {
        std::string_view rest = rest_;
        rest_ = {};
        return rest;
    }

private:
    unsigned char control_ = 0;
    std::string_view rest_;
};

// A zero-terminated copy in an allocation of exactly its size, so that
// AddressSanitizer reports any read or write past the terminator.
inline std::unique_ptr<char[]> CopyAtAllocationEnd(std::string_view text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

// Substring search by a plain loop, so that the references do not share the
// cores' way of searching.
inline std::size_t FirstOccurrence(std::string_view text, std::string_view part, std::size_t from = 0) {
    for (std::size_t at = from; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size() && text[at + i] == part[i]) ++i;
        if (i == part.size()) return at;
    }
    return std::string_view::npos;
}

inline bool Contains(std::string_view text, std::string_view part) {
    return FirstOccurrence(text, part) != std::string_view::npos;
}

}  // namespace wexfuzz
