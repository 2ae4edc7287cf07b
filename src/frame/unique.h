// Owning wrappers for the handles an export opens. One small traits type per
// kind names its empty value and how to release it, so no path can leak.
// This header is free of <windows.h>; the Win32 kinds live in winhandles.h.
#pragma once

#include <cstdio>
#include <utility>

namespace wex {

template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() noexcept : handle_(Traits::Empty()) {}
    explicit Unique(Handle h) noexcept : handle_(h) {}
    Unique(Unique&& other) noexcept : handle_(other.Release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { Reset(); }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Empty(); }

    Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle h = Traits::Empty()) noexcept {
        Handle old = std::exchange(handle_, h);
        if (old != Traits::Empty()) Traits::Close(old);
    }

private:
    Handle handle_;
};

// A C runtime stream.
struct StdioFileTraits {
    using Handle = std::FILE*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle f) noexcept { std::fclose(f); }
};
using UniqueStdioFile = Unique<StdioFileTraits>;

// Runs an action when the scope ends, on every path, unless dismissed first.
template <class Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) noexcept : action_(std::move(action)) {}
    ~ScopeExit() {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void Dismiss() noexcept { armed_ = false; }

private:
    Action action_;
    bool armed_ = true;
};

inline UniqueStdioFile OpenStdioFile(const char* path, const char* mode) {
    return UniqueStdioFile(std::fopen(path, mode));
}

}  // namespace wex
