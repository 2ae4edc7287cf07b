// Item file exports: argument checks, then the work in itemfile.h.
#include "frame/export.h"
#include "itemfile/itemfile.h"

using namespace wex;

extern "C" int WEXCALL FindFileItem(const char* path, const char* name, const char* filter) {
    if (!path || !name) return 0;
    return ExportBoundary(0, [&] { return itemfile::FindItem(path, name, filter); });
}

extern "C" int WEXCALL GetFileItem(const char* path, const char* name, char* value) {
    if (!path || !name) return 0;
    return ExportBoundary(0, [&] { return itemfile::GetItem(path, name, value); });
}

extern "C" int WEXCALL GetAllItemNames(const char* path, char* names) {
    if (!names) return 0;
    if (!path) {
        names[0] = '\0';
        return 0;
    }
    return ExportBoundary(0, [&] { return itemfile::GetAllNames(path, names); });
}

extern "C" int WEXCALL _GetUserName(const char* passwdPath, char* user) {
    if (!passwdPath || !user) return 0;
    return ExportBoundary(0, [&] { return itemfile::GetUserName(passwdPath, user); });
}

extern "C" int WEXCALL SetFileItem(const char* path, const char* name, const char* value) {
    if (!path || !name || !value) return 0;
    return ExportBoundary(0, [&] { return itemfile::SetItem(path, name, value); });
}

extern "C" int WEXCALL AddFileItem(const char* path, const char* name, const char* value) {
    if (!path || !name || !value) return 0;
    return ExportBoundary(0, [&] { return itemfile::AddItem(path, name, value); });
}

extern "C" int WEXCALL DeleteFileItem(const char* path, const char* name, const char* filter) {
    if (!path || !name) return 0;
    return ExportBoundary(0, [&] { return itemfile::DeleteItems(path, name, filter); });
}

extern "C" int WEXCALL Substitute(const char* path, const char* search, const char* replacement) {
    // An empty search text has no occurrences to replace: refused, file untouched.
    if (!path || !search || !*search || !replacement) return 0;
    return ExportBoundary(0, [&] { return itemfile::SubstituteText(path, search, replacement); });
}

extern "C" int WEXCALL AppendFile(const char* sourcePath, const char* destinationPath) {
    if (!sourcePath || !destinationPath) return 0;
    return ExportBoundary(0, [&] { return itemfile::AppendFileTo(sourcePath, destinationPath); });
}
