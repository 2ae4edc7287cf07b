#include "registry/registry.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/winhandles.h"
#include "registry/multisz.h"

namespace wex::registry {
namespace {

// Room for the longest path and list that a W export's caller may give, as
// WTF-8 (up to three bytes a UTF-16 unit); an A export's take at most their
// limit in bytes.
constexpr std::size_t Wtf8Room(std::size_t units) { return 3 * (units - 1) + 1; }
char g_pathBuffer[Wtf8Room(kPathBufferSize)];
BYTE g_multiSz[Wtf8Room(kMultiSzBufferSize)];
// Open between EnumerateKeys calls; deliberately not closed at unload. One
// enumeration for EnumKeys and EnumKeysW alike.
HKEY g_enumKey = nullptr;

constexpr DWORD kNameBufferSize = 256;
const char kMultiSzCaption[] = "Inside SetRegMultiSz";

std::size_t CallUnits(std::string_view text) { return CallLength(text); }

// Copies a subkey path into the path buffer; false when it would not fit.
bool CopyPath(const char* subkey) {
    if (!subkey) return false;
    const std::size_t bytes = std::strlen(subkey);
    if (CallLength(std::string_view(subkey, bytes)) >= kPathBufferSize || bytes >= sizeof g_pathBuffer) return false;
    std::memcpy(g_pathBuffer, subkey, bytes + 1);
    return true;
}

// An opened key, or none with the registry's own error code. The registry
// reports through that code rather than the thread's last error, so the
// failure texts quote it.
struct OpenedKey {
    UniqueRegKey key;
    LONG code;
};

OpenedKey OpenKey(const char* path, REGSAM access) {
    HKEY key = nullptr;
    const LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(path).c_str(), 0, access, &key);
    return {UniqueRegKey(code == ERROR_SUCCESS ? key : nullptr), code};
}

// Asked right after a delete: does the key still hold a value? Value number
// 0 is asked for by name only. A name longer than the 256-unit buffer still
// proves that a value remains, so that answer counts as one too.
bool ValuesRemain(HKEY key) {
    wchar_t name[kNameBufferSize];
    DWORD size = kNameBufferSize;
    LONG code = RegEnumValueW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    return code == ERROR_SUCCESS || code == ERROR_MORE_DATA;
}

void CloseEnumeration() {
    if (g_enumKey) RegCloseKey(g_enumKey);
    g_enumKey = nullptr;
}

}  // namespace

int RemoveValue(const char* subkey, const char* valueName) {
    const UniqueRegKey key = OpenKey(subkey, KEY_ALL_ACCESS).key;
    if (!key) return 0;
    if (RegDeleteValueW(key.Get(), Widen(valueName).c_str()) != ERROR_SUCCESS) return 0;
    return ValuesRemain(key.Get()) ? 1 : 0;
}

int RemoveSubkey(const char* parent, const char* name) {
    const UniqueRegKey key = OpenKey(parent, KEY_ALL_ACCESS).key;
    if (!key) return 0;
    // One key only: where the platform refuses a key that still has
    // subkeys, this fails.
    return RegDeleteKeyW(key.Get(), Widen(name).c_str()) == ERROR_SUCCESS ? 1 : 0;
}

int RemovePayComponent(const char* store) {
    // A longer name would not fit the components path: refused untouched.
    if (CallLength(store) > kMaxStoreName) return 0;
    std::string path = kComponentsPathFormat;
    path.replace(path.find("%s"), 2, store);
    {
        const UniqueRegKey key = OpenKey(path.c_str(), KEY_ALL_ACCESS).key;
        if (!key) return 0;
        if (RegDeleteValueW(key.Get(), Widen(kPaymentValue).c_str()) != ERROR_SUCCESS) return 0;
        if (ValuesRemain(key.Get())) return 1;
    }
    // That was the last component: the store's own key goes (the parent of
    // the components key, so a platform that keeps keys with subkeys keeps it).
    return RemoveSubkey(kStoresPath, store);
}

int SetMultiSz(const char* subkey, const char* valueName, char* list) {
    if (!CopyPath(subkey)) return 0;
    const OpenedKey opened = OpenKey(g_pathBuffer, KEY_ALL_ACCESS);
    if (!opened.key) {
        SetMessageText("RegOpenKeyEx:-->%d<--", static_cast<int>(opened.code));
        ShowMessageBuffer(kMultiSzCaption);
        return 0;
    }
    // A list whose pieces would not fit is refused before it is split.
    MultiSz assembled;
    if (!BuildMultiSz(list, g_multiSz, sizeof g_multiSz, kMultiSzBufferSize, CallUnits, assembled)) return 0;
    if (assembled.reachedLimit) ShowBox("Internal error. Increase value of MAX_STRINGS.", kMultiSzCaption);

    // The value's data as the platform's A function stores it for an A
    // export: every byte converted, the zeros included. A W export's list
    // comes to the same UTF-16 for the same text.
    const std::wstring data =
        Widen(std::string_view(reinterpret_cast<const char*>(g_multiSz), assembled.dataSize));
    const LONG code = RegSetValueExW(opened.key.Get(), Widen(valueName).c_str(), 0, REG_MULTI_SZ,
                                     reinterpret_cast<const BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    if (code != ERROR_SUCCESS) {
        SetMessageText("RegSetValueEx:-->%d<--", static_cast<int>(code));
        ShowMessageBuffer(kMultiSzCaption);
        return 0;
    }
    return 1;
}

std::optional<std::string> EnumerateKeys(const char* subkey, int index) {
    if (index == 0 || !g_enumKey) {
        CloseEnumeration();
        if (!CopyPath(subkey)) return std::nullopt;
        const LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(g_pathBuffer).c_str(), 0, KEY_READ, &g_enumKey);
        if (code != ERROR_SUCCESS) {
            g_enumKey = nullptr;
            SetMessageText("RegOpenKeyEx:-->%d<--", static_cast<int>(code));
            return std::nullopt;
        }
    }
    // Otherwise the enumeration goes on in the key that is open, whatever
    // the path says (and whichever of EnumKeys and EnumKeysW opened it). A
    // negative index names no subkey.
    wchar_t name[kNameBufferSize];
    DWORD size = kNameBufferSize;
    const LONG code =
        RegEnumKeyExW(g_enumKey, static_cast<DWORD>(index), name, &size, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_SUCCESS) {
        std::string found = Narrow(std::wstring_view(name, size));
        // For an A export a name whose ANSI form takes more than 255 bytes
        // does not fit, as the platform's A function answers; a W export's
        // name always fits its 256 units.
        if (CallLength(found) < kEnumNameCapacity) return found;
    }
    CloseEnumeration();
    return std::nullopt;
}

}  // namespace wex::registry
