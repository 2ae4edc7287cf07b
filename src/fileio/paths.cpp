#include "fileio/paths.h"

#include "frame/encoding.h"

namespace wex::fileio {
namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

FilePath FromCaller(const char* path) { return FilePath{FullPath(Widen(path)), path}; }

std::wstring FullPath(const std::wstring& path) {
    if (path.empty() || StartsWith(path, L"\\\\?\\")) return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (written == 0 || written >= size) return path;
    full.resize(written);
    return full.size() < MAX_PATH ? full : ExtendedLength(full);
}

std::wstring ExtendedLength(const std::wstring& fullPath) {
    if (StartsWith(fullPath, L"\\\\?\\") || StartsWith(fullPath, L"\\\\.\\")) return fullPath;
    if (StartsWith(fullPath, L"\\\\")) return L"\\\\?\\UNC\\" + fullPath.substr(2);
    return L"\\\\?\\" + fullPath;
}

std::wstring FinalPathOf(HANDLE file) {
    wchar_t small[MAX_PATH];
    DWORD length = GetFinalPathNameByHandleW(file, small, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < MAX_PATH) return std::wstring(small, length);
    std::wstring name(length, L'\0');
    const DWORD written = GetFinalPathNameByHandleW(file, &name[0], length, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (written == 0 || written >= length) return std::wstring();
    name.resize(written);
    return name;
}

}  // namespace wex::fileio
