// Item file exports: argument checks, then the work in itemfile.h, on the
// paths as the call gave them (fileio::FromCaller). The queries return their
// texts; each export copies into the caller's buffer no more than its
// declaration in wexlib.h promises.
#include <limits>

#include "frame/export.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"

using namespace wex;

namespace {

// A null filter or value filter counts as the empty text: any item line.
std::string_view OrEmpty(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// An item value is at most 398 characters: 399 bytes with the zero.
constexpr std::size_t kItemValueCapacity = itemfile::kLineBufferSize - 1;
// A user name is at most 78 characters: 79 bytes with the zero.
constexpr std::size_t kUserNameCapacity = itemfile::kPasswdLineSize - 1;
// The caller sizes the names buffer for the file at hand (no bound).
constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();

}  // namespace

extern "C" int WEXCALL FindFileItem(const char* path, const char* name, const char* filter) {
    ExportCall call("FindFileItem");
    call.Text(path).Text(name).ItemFilter(name, filter);
    if (!path || !name) return call.Return(0);
    return call.Run(0, [&] { return itemfile::FindItem(fileio::FromCaller(path), name, OrEmpty(filter)); });
}

extern "C" int WEXCALL GetFileItem(const char* path, const char* name, char* value) {
    ExportCall call("GetFileItem");
    call.Text(path).Text(name).Buffer(value);
    if (!path || !name) return call.Return(0);
    return call.Run(0, [&] {
        std::optional<std::string> found = itemfile::GetItem(fileio::FromCaller(path), name);
        if (!found) return 0;
        if (value) {
            CopyOut(*found, value, kItemValueCapacity);
            call.ItemOutput(name, value);
        }
        return 1;
    });
}

extern "C" int WEXCALL GetAllItemNames(const char* path, char* names) {
    ExportCall call("GetAllItemNames");
    call.Text(path).Buffer(names);
    if (!names) return call.Return(0);
    names[0] = '\0';
    if (!path) return call.Return(0);
    return call.Run(0, [&] {
        std::optional<itemfile::ItemNames> found = itemfile::GetAllNames(fileio::FromCaller(path));
        if (!found) {
            call.Output("");
            return 0;
        }
        CopyOut(found->joined, names, kUnbounded);
        call.Output(found->joined);
        return found->count;
    });
}

extern "C" int WEXCALL _GetUserName(const char* passwdPath, char* user) {
    ExportCall call("_GetUserName");
    call.Text(passwdPath).Buffer(user);
    if (!passwdPath || !user) return call.Return(0);
    return call.Run(0, [&] {
        std::optional<std::string> found = itemfile::ReadUserName(fileio::FromCaller(passwdPath));
        if (!found) return 0;
        CopyOut(*found, user, kUserNameCapacity);
        call.Output(user);
        return 1;
    });
}

extern "C" int WEXCALL SetFileItem(const char* path, const char* name, const char* value) {
    ExportCall call("SetFileItem");
    call.Text(path).Text(name).ItemValue(name, value);
    if (!path || !name || !value) return call.Return(0);
    return call.Run(0, [&] { return itemfile::SetItem(fileio::FromCaller(path), name, value); });
}

extern "C" int WEXCALL AddFileItem(const char* path, const char* name, const char* value) {
    ExportCall call("AddFileItem");
    call.Text(path).Text(name).ItemValue(name, value);
    if (!path || !name || !value) return call.Return(0);
    return call.Run(0, [&] { return itemfile::AddItem(fileio::FromCaller(path), name, value); });
}

extern "C" int WEXCALL DeleteFileItem(const char* path, const char* name, const char* filter) {
    ExportCall call("DeleteFileItem");
    call.Text(path).Text(name).ItemFilter(name, filter);
    if (!path || !name) return call.Return(0);
    return call.Run(0,
                    [&] { return itemfile::DeleteItems(fileio::FromCaller(path), name, OrEmpty(filter)); });
}

extern "C" int WEXCALL Substitute(const char* path, const char* search, const char* replacement) {
    ExportCall call("Substitute");
    // What replaces a masked text is the secret from now on.
    if (search && replacement && HoldsMaskedText(search)) MaskInLog(replacement);
    call.Text(path).Text(search).Text(replacement);
    // An empty search text has no occurrences to replace: refused, file untouched.
    if (!path || !search || !*search || !replacement) return call.Return(0);
    return call.Run(0, [&] { return itemfile::SubstituteText(fileio::FromCaller(path), search, replacement); });
}

extern "C" int WEXCALL AppendFile(const char* sourcePath, const char* destinationPath) {
    ExportCall call("AppendFile");
    call.Text(sourcePath).Text(destinationPath);
    if (!sourcePath || !destinationPath) return call.Return(0);
    return call.Run(0, [&] {
        return itemfile::AppendFileTo(fileio::FromCaller(sourcePath), fileio::FromCaller(destinationPath));
    });
}
