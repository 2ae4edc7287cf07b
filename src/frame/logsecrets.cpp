#include "frame/logsecrets.h"

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "frame/encoding.h"
#include "frame/logmask.h"
#include "frame/unattended.h"
#include "frame/utf.h"

namespace wex {
namespace {

// Guards the masked texts: many lines read them at once, a new one is added
// alone.
SRWLOCK g_masksLock = SRWLOCK_INIT;

std::string Utf8Of(std::u16string_view wide) { return utf::Utf8Lossy(utf::Utf16ToWtf8(wide)); }

// Letter case is ignored in every script: both sides are compared in upper
// case as the platform writes it.
std::string UpperCase(std::string_view utf8) {
    std::u16string wide = utf::Utf8ToUtf16Lossy(utf8);
    if (!wide.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(&wide[0]), static_cast<DWORD>(wide.size()));
    return Utf8Of(wide);
}

const HiddenNames& Names() {
    static const HiddenNames names = [] {
        const wchar_t* patterns = _wgetenv(L"WEXLIB_LOG_HIDE");
        if (!patterns) return HiddenNames();
        return HiddenNames(UpperCase(Utf8Of(reinterpret_cast<const char16_t*>(patterns))));
    }();
    return names;
}

MaskedTexts& Masks() {
    static MaskedTexts masks;
    return masks;
}

// The text as an A export holds it, for its form encodings: an A export's
// own bytes, or a W export's text when the ANSI code page holds it exactly.
std::string AnsiForm(std::string_view text) {
    if (CurrentCallEncoding() == CallEncoding::Ansi) return std::string(text);
    return AnsiExactly(Widen(text)).value_or(std::string());
}

// The lock, held for as long as the object lives.
template <bool kShared>
class LockedMasks {
public:
    LockedMasks() { kShared ? AcquireSRWLockShared(&g_masksLock) : AcquireSRWLockExclusive(&g_masksLock); }
    ~LockedMasks() { kShared ? ReleaseSRWLockShared(&g_masksLock) : ReleaseSRWLockExclusive(&g_masksLock); }
    LockedMasks(const LockedMasks&) = delete;
    LockedMasks& operator=(const LockedMasks&) = delete;
    MaskedTexts& Get() const { return Masks(); }
};
using SharedMasks = LockedMasks<true>;
using ExclusiveMasks = LockedMasks<false>;

template <class Add>
void Remember(Add add) noexcept {
    try {
        add();
    } catch (...) {
        // A secret that cannot be remembered cannot be masked: no log may
        // see it, so there is none from here on.
        AbandonLog(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void MaskFound(const HiddenItemScanner::Found& found) {
    if (found.block) {
        MaskKeyBlockInLog(found.text);
    } else {
        MaskInLog(found.text);
    }
}

}  // namespace

bool LogHidesItem(std::string_view name) {
    try {
        return Names().Hides(UpperCase(ToUtf8(name)));
    } catch (...) {
        return true;  // when in doubt, hidden
    }
}

void MaskInLog(std::string_view text) {
    Remember([&] {
        const std::string utf8 = ToUtf8(text), ansi = AnsiForm(text);
        const ExclusiveMasks masks;
        masks.Get().Add(utf8, ansi);
    });
}

void MaskItemValueInLog(std::string_view value) {
    if (value == "{") return;
    MaskInLog(value);
}

void MaskKeyBlockInLog(std::string_view block) {
    Remember([&] {
        const std::string utf8 = ToUtf8(block), ansi = AnsiForm(block);
        const ExclusiveMasks masks;
        masks.Get().AddBlock(utf8, ansi);
    });
}

HiddenItemsPassing::~HiddenItemsPassing() {
    try {
        std::vector<HiddenItemScanner::Found> found;
        scanner_.End(found);
        for (const HiddenItemScanner::Found& text : found) MaskFound(text);
    } catch (...) {
        AbandonLog(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void HiddenItemsPassing::Line(std::string_view line) noexcept {
    try {
        std::vector<HiddenItemScanner::Found> found;
        scanner_.Line(line, [](std::string_view name) { return LogHidesItem(name); }, found);
        for (const HiddenItemScanner::Found& text : found) MaskFound(text);
    } catch (...) {
        AbandonLog(ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool HoldsMaskedText(std::string_view text) {
    try {
        const std::string utf8 = ToUtf8(text);
        const SharedMasks masks;
        return masks.Get().Holds(utf8);
    } catch (...) {
        return true;
    }
}

std::string LogForm(std::string_view text) {
    const std::string utf8 = ToUtf8(text);
    const SharedMasks masks;
    return masks.Get().Mask(utf8);
}

std::string MaskedLogLine(std::string_view line) {
    const SharedMasks masks;
    return masks.Get().MaskEscaped(line);
}

}  // namespace wex
