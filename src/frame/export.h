// Included by the sources that define exports. The export table itself is
// src/frame/wexlib.def; the definitions need no dllexport marking.
#pragma once

#define WEXAPI
#include <optional>
#include <string_view>

#include "frame/copyout.h"
#include "frame/logtext.h"
#include "frame/unattended.h"
#include "wexlib.h"

namespace wex {

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
// received. Described only while a log is open; running out of memory for
// the description drops it, never the call.
class ExportCall {
public:
    explicit ExportCall(std::string_view name) noexcept {
        if (!LogOpen()) return;
        try {
            text_.emplace(name);
        } catch (...) {
        }
    }
    ExportCall& Text(const char* text) noexcept {
        return Describe([&](CallText& t) { t.Text(text); });
    }
    // A text never written in clear: the log shows its length only.
    ExportCall& Secret(const char* text) noexcept {
        return Describe([&](CallText& t) { t.Secret(text); });
    }
    ExportCall& Number(long long value) noexcept {
        return Describe([&](CallText& t) { t.Number(value); });
    }
    ExportCall& Buffer(const void* buffer) noexcept {
        return Describe([&](CallText& t) { t.Buffer(buffer); });
    }
    // The text that an output buffer received.
    void Output(std::string_view text) noexcept {
        Describe([&](CallText& t) { t.Output(text); });
    }

    // Logs the call with its result and returns the result.
    int Return(int result) noexcept {
        Describe([&](CallText& t) { LogEvent(t.Line(result)); });
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

    std::optional<CallText> text_;
};

}  // namespace wex
