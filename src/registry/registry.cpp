#include "registry/registry.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "frame/diagnostics.h"
#include "frame/winhandles.h"
#include "registry/multisz.h"

namespace wex::registry {
namespace {

char g_pathBuffer[kPathBufferSize];
BYTE g_multiSz[kMultiSzBufferSize];
// Open between EnumerateKeys calls; deliberately not closed at unload.
HKEY g_enumKey = nullptr;

constexpr DWORD kNameBufferSize = 256;
const char kMultiSzCaption[] = "Inside SetRegMultiSz";

// Copies a subkey path into the path buffer; false when it would not fit.
bool CopyPath(const char* subkey) {
    if (!subkey || std::strlen(subkey) >= kPathBufferSize) return false;
    lstrcpynA(g_pathBuffer, subkey, static_cast<int>(kPathBufferSize));
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
    const LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
    return {UniqueRegKey(code == ERROR_SUCCESS ? key : nullptr), code};
}

// Asked right after a delete: does the key still hold a value? Value number
// 0 is asked for by name only. A name longer than the 256-byte buffer still
// proves that a value remains, so that answer counts as one too.
bool ValuesRemain(HKEY key) {
    char name[kNameBufferSize];
    DWORD size = kNameBufferSize;
    LONG code = RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
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
    if (RegDeleteValueA(key.Get(), valueName) != ERROR_SUCCESS) return 0;
    return ValuesRemain(key.Get()) ? 1 : 0;
}

int RemoveSubkey(const char* parent, const char* name) {
    const UniqueRegKey key = OpenKey(parent, KEY_ALL_ACCESS).key;
    if (!key) return 0;
    // One key only: where the platform refuses a key that still has
    // subkeys, this fails.
    return RegDeleteKeyA(key.Get(), name) == ERROR_SUCCESS ? 1 : 0;
}

int RemovePayComponent(const char* store) {
    // A longer name would not fit the components path: refused untouched.
    if (std::strlen(store) > kMaxStoreName) return 0;
    char path[kComponentsPathSize];
    std::snprintf(path, sizeof path, kComponentsPathFormat, store);
    {
        const UniqueRegKey key = OpenKey(path, KEY_ALL_ACCESS).key;
        if (!key) return 0;
        if (RegDeleteValueA(key.Get(), kPaymentValue) != ERROR_SUCCESS) return 0;
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
    if (!BuildMultiSz(list, g_multiSz, sizeof g_multiSz, assembled)) return 0;
    if (assembled.reachedLimit) ShowBox("Internal error. Increase value of MAX_STRINGS.", kMultiSzCaption);

    const LONG code = RegSetValueExA(opened.key.Get(), valueName, 0, REG_MULTI_SZ, g_multiSz,
                                     static_cast<DWORD>(assembled.dataSize));
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
        const LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_pathBuffer, 0, KEY_READ, &g_enumKey);
        if (code != ERROR_SUCCESS) {
            g_enumKey = nullptr;
            SetMessageText("RegOpenKeyEx:-->%d<--", static_cast<int>(code));
            return std::nullopt;
        }
    }
    // Otherwise the enumeration goes on in the key that is open, whatever
    // the path says. A negative index names no subkey.
    char name[kNameBufferSize];
    DWORD size = kNameBufferSize;
    const LONG code =
        RegEnumKeyExA(g_enumKey, static_cast<DWORD>(index), name, &size, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_SUCCESS) return std::string(name, size);
    CloseEnumeration();
    return std::nullopt;
}

}  // namespace wex::registry
