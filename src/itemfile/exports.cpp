// Item file exports and their wide twins: argument checks, then the work in
// itemfile.h on the texts in the call's encoding and the paths as the call
// gave them (fileio::FromCaller). The queries return their texts; each export
// copies into the caller's buffer no more than its declaration in wexlib.h
// promises.
#include <limits>

#include "frame/export.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"

using namespace wex;

namespace {

// A null filter or value filter counts as the empty text: any item line.
std::string_view OrEmpty(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// An item value is at most 398 characters: 399 bytes (wchar_t in a twin)
// with the zero.
constexpr std::size_t kItemValueCapacity = itemfile::kLineBufferSize - 1;
// A user name is at most 78 characters: 79 with the zero.
constexpr std::size_t kUserNameCapacity = itemfile::kPasswdLineSize - 1;
// The caller sizes the names buffer for the file at hand (no bound).
constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();

// What a buffer of capacity receives of text, as the caller reads it back:
// up to its first zero.
std::string_view Received(std::string_view text, std::size_t capacity) {
    text = CallPrefix(text, capacity - 1);
    return text.substr(0, text.find('\0'));
}

template <class Char>
int FindFileItemCall(const char* exportName, const Char* givenPath, const Char* givenName, const Char* givenFilter) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath), name(givenName), filter(givenFilter);
    call.Text(path).Text(name).ItemFilter(name, filter);
    if (!path || !name) return call.Return(0);
    return call.Run(0, [&] { return itemfile::FindItem(fileio::FromCaller(path), name.View(), OrEmpty(filter)); });
}

template <class Char>
int GetFileItemCall(const char* exportName, const Char* givenPath, const Char* givenName, Char* value) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath), name(givenName);
    call.Text(path).Text(name).Buffer(value);
    if (!path || !name) return call.Return(0);
    return call.Run(0, [&] {
        std::optional<std::string> found = itemfile::GetItem(fileio::FromCaller(path), name.View());
        if (!found) return 0;
        if (value) {
            CopyOut(*found, value, kItemValueCapacity);
            call.ItemOutput(name, Received(*found, kItemValueCapacity));
        }
        return 1;
    });
}

template <class Char>
int GetAllItemNamesCall(const char* exportName, const Char* givenPath, Char* names) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath);
    call.Text(path).Buffer(names);
    if (!names) return call.Return(0);
    names[0] = 0;
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

template <class Char>
int GetUserNameCall(const char* exportName, const Char* givenPath, Char* user) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText passwdPath(givenPath);
    call.Text(passwdPath).Buffer(user);
    if (!passwdPath || !user) return call.Return(0);
    return call.Run(0, [&] {
        std::optional<std::string> found = itemfile::ReadUserName(fileio::FromCaller(passwdPath));
        if (!found) return 0;
        CopyOut(*found, user, kUserNameCapacity);
        call.Output(Received(*found, kUserNameCapacity));
        return 1;
    });
}

// SetFileItem and AddFileItem: an item and its value.
using ItemWork = int (*)(const fileio::FilePath&, std::string_view, std::string_view);

template <class Char>
int ItemEditCall(const char* exportName, ItemWork work, const Char* givenPath, const Char* givenName,
                 const Char* givenValue) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath), name(givenName), value(givenValue);
    call.Text(path).Text(name).ItemValue(name, value);
    if (!path || !name || !value) return call.Return(0);
    return call.Run(0, [&] { return work(fileio::FromCaller(path), name.View(), value.View()); });
}

template <class Char>
int DeleteFileItemCall(const char* exportName, const Char* givenPath, const Char* givenName,
                       const Char* givenFilter) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath), name(givenName), filter(givenFilter);
    call.Text(path).Text(name).ItemFilter(name, filter);
    if (!path || !name) return call.Return(0);
    return call.Run(0,
                    [&] { return itemfile::DeleteItems(fileio::FromCaller(path), name.View(), OrEmpty(filter)); });
}

template <class Char>
int SubstituteCall(const char* exportName, const Char* givenPath, const Char* givenSearch,
                   const Char* givenReplacement) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText path(givenPath), search(givenSearch), replacement(givenReplacement);
    // What replaces a masked text is the secret from now on.
    if (search && replacement && HoldsMaskedText(search.View())) MaskInLog(replacement.View());
    call.Text(path).Text(search).Text(replacement);
    // An empty search text has no occurrences to replace: refused, file untouched.
    if (!path || !search || !*search || !replacement) return call.Return(0);
    return call.Run(0, [&] { return itemfile::SubstituteText(fileio::FromCaller(path), search.View(), replacement.View()); });
}

template <class Char>
int AppendFileCall(const char* exportName, const Char* givenSource, const Char* givenDestination) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText sourcePath(givenSource), destinationPath(givenDestination);
    call.Text(sourcePath).Text(destinationPath);
    if (!sourcePath || !destinationPath) return call.Return(0);
    return call.Run(0, [&] {
        return itemfile::AppendFileTo(fileio::FromCaller(sourcePath), fileio::FromCaller(destinationPath));
    });
}

}  // namespace

extern "C" int WEXCALL FindFileItem(const char* path, const char* name, const char* filter) {
    return FindFileItemCall("FindFileItem", path, name, filter);
}
extern "C" int WEXCALL FindFileItemW(const wchar_t* path, const wchar_t* name, const wchar_t* filter) {
    return FindFileItemCall("FindFileItemW", path, name, filter);
}

extern "C" int WEXCALL GetFileItem(const char* path, const char* name, char* value) {
    return GetFileItemCall("GetFileItem", path, name, value);
}
extern "C" int WEXCALL GetFileItemW(const wchar_t* path, const wchar_t* name, wchar_t* value) {
    return GetFileItemCall("GetFileItemW", path, name, value);
}

extern "C" int WEXCALL GetAllItemNames(const char* path, char* names) {
    return GetAllItemNamesCall("GetAllItemNames", path, names);
}
extern "C" int WEXCALL GetAllItemNamesW(const wchar_t* path, wchar_t* names) {
    return GetAllItemNamesCall("GetAllItemNamesW", path, names);
}

extern "C" int WEXCALL _GetUserName(const char* passwdPath, char* user) {
    return GetUserNameCall("_GetUserName", passwdPath, user);
}
extern "C" int WEXCALL _GetUserNameW(const wchar_t* passwdPath, wchar_t* user) {
    return GetUserNameCall("_GetUserNameW", passwdPath, user);
}

extern "C" int WEXCALL SetFileItem(const char* path, const char* name, const char* value) {
    return ItemEditCall("SetFileItem", itemfile::SetItem, path, name, value);
}
extern "C" int WEXCALL SetFileItemW(const wchar_t* path, const wchar_t* name, const wchar_t* value) {
    return ItemEditCall("SetFileItemW", itemfile::SetItem, path, name, value);
}

extern "C" int WEXCALL AddFileItem(const char* path, const char* name, const char* value) {
    return ItemEditCall("AddFileItem", itemfile::AddItem, path, name, value);
}
extern "C" int WEXCALL AddFileItemW(const wchar_t* path, const wchar_t* name, const wchar_t* value) {
    return ItemEditCall("AddFileItemW", itemfile::AddItem, path, name, value);
}

extern "C" int WEXCALL DeleteFileItem(const char* path, const char* name, const char* filter) {
    return DeleteFileItemCall("DeleteFileItem", path, name, filter);
}
extern "C" int WEXCALL DeleteFileItemW(const wchar_t* path, const wchar_t* name, const wchar_t* filter) {
    return DeleteFileItemCall("DeleteFileItemW", path, name, filter);
}

extern "C" int WEXCALL Substitute(const char* path, const char* search, const char* replacement) {
    return SubstituteCall("Substitute", path, search, replacement);
}
extern "C" int WEXCALL SubstituteW(const wchar_t* path, const wchar_t* search, const wchar_t* replacement) {
    return SubstituteCall("SubstituteW", path, search, replacement);
}

extern "C" int WEXCALL AppendFile(const char* sourcePath, const char* destinationPath) {
    return AppendFileCall("AppendFile", sourcePath, destinationPath);
}
extern "C" int WEXCALL AppendFileW(const wchar_t* sourcePath, const wchar_t* destinationPath) {
    return AppendFileCall("AppendFileW", sourcePath, destinationPath);
}
