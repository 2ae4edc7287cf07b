// Included by the sources that define exports. The export table itself is
// src/frame/wexlib.def; the definitions need no dllexport marking.
#pragma once

#define WEXAPI
#include <optional>
#include <string_view>

#include "frame/copyout.h"
#include "frame/encoding.h"
#include "frame/logsecrets.h"
#include "frame/logtext.h"
#include "frame/unattended.h"
#include "frame/utf.h"
#include "wexlib.h"

namespace wex {

// The encoding of an export's texts by its character type: char for an A
// export, wchar_t for its W twin.
template <class Char>
constexpr CallEncoding kEncodingOf = sizeof(Char) == 1 ? CallEncoding::Ansi : CallEncoding::Wtf8;

// A text argument in the call's encoding (frame/encoding.h): an A export's
// pointer as it came, a W export's UTF-16 converted once. Null stays null;
// a text that cannot be converted for want of memory reads as null too, so
// that the export gives its failure result.
class InText {
public:
    InText(const char* text) noexcept : text_(text) {}
    InText(const wchar_t* text) noexcept {
        if (!text) return;
        try {
            storage_ = FromWide(text);
            text_ = storage_.c_str();
        } catch (...) {
        }
    }
    InText(const InText&) = delete;
    InText& operator=(const InText&) = delete;

    operator const char*() const noexcept { return text_; }
    // Not null.
    std::string_view View() const noexcept { return text_; }

private:
    std::string storage_;
    const char* text_ = nullptr;
};

// A W export's output: the call's text as UTF-16, at most capacity - 1 units
// and the zero.
inline void CopyOut(std::string_view text, wchar_t* out, std::size_t capacity) {
    std::optional<std::u16string> wide = utf::Wtf8ToUtf16(text);
    if (!wide) wide = utf::Utf8ToUtf16Lossy(text);
    CopyOut(*wide, reinterpret_cast<char16_t*>(out), capacity);
}

// No C++ exception may cross the library boundary: an export that runs out
// of memory fails with its failure result instead.
template <class Work>
int ExportBoundary(int failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// One export call as the installer log records it once the call returns:
// its arguments as they came in, its result and what its output buffers
// received, every text as the log shows it (frame/logsecrets.h). Described
// only while a log is open; running out of memory for the description drops
// it, never the call. What the log is to mask from now on is noted whether
// or not a log is open.
//
// It also sets the call's encoding for as long as the call runs: a W export
// names its encoding.
class ExportCall {
public:
    explicit ExportCall(std::string_view name, CallEncoding encoding = CallEncoding::Ansi) noexcept
        : encoding_(encoding) {
        if (!LogOpen()) return;
        try {
            text_.emplace(name);
        } catch (...) {
        }
    }
    ExportCall& Text(const char* text) noexcept {
        return Describe([&](CallText& t) { t.Text(text ? LogForm(text).c_str() : nullptr); });
    }
    // A text never written in clear: the log shows its length only.
    ExportCall& Secret(const char* text) noexcept {
        return Describe([&](CallText& t) { t.Secret(text); });
    }
    // The value given for the item called name: when the name is hidden, the
    // log shows its length only and masks the value from now on.
    ExportCall& ItemValue(const char* name, const char* value) noexcept {
        const bool hidden = name && value && LogHidesItem(name);
        if (hidden) MaskItemValueInLog(value);
        if (!hidden) return Text(value);
        return Describe([&](CallText& t) { t.Hidden(value); });
    }
    // A text to look for in the value of the item called name: part of a
    // hidden value is hidden too.
    ExportCall& ItemFilter(const char* name, const char* filter) noexcept {
        if (name && filter && LogHidesItem(name)) return Describe([&](CallText& t) { t.Hidden(filter); });
        return Text(filter);
    }
    ExportCall& Number(long long value) noexcept {
        return Describe([&](CallText& t) { t.Number(value); });
    }
    ExportCall& Buffer(const void* buffer) noexcept {
        return Describe([&](CallText& t) { t.Buffer(buffer); });
    }
    // The text that an output buffer received.
    void Output(std::string_view text) noexcept {
        Describe([&](CallText& t) { t.Output(LogForm(text)); });
    }
    // The value of the item called name that an output buffer received: when
    // the name is hidden, shown as its length only and masked from now on.
    void ItemOutput(const char* name, std::string_view value) noexcept {
        if (!name || !LogHidesItem(name)) return Output(value);
        MaskItemValueInLog(value);
        Describe([&](CallText& t) { t.HiddenOutput(value); });
    }

    // Logs the call with its result and returns the result.
    int Return(int result) noexcept {
        Describe([&](CallText& t) { LogLine(t.Line(result)); });
        return result;
    }
    // Runs the work inside the boundary, then logs the call.
    template <class Work>
    int Run(int failure, Work&& work) noexcept {
        return Return(ExportBoundary(failure, work));
    }

private:
    template <class Step>
    ExportCall& Describe(Step step) noexcept {
        if (!text_) return *this;
        try {
            step(*text_);
        } catch (...) {
            text_.reset();
        }
        return *this;
    }

    CallEncodingScope encoding_;
    std::optional<CallText> text_;
};

}  // namespace wex
