// File names as the file layer takes them: wide, full, and in the
// extended-length form ("\\?\C:\...") where they would pass MAX_PATH.
#pragma once

#include <windows.h>

#include <string>

namespace wex::fileio {

// A file an export works on: its full wide name, and the text that its
// standard error lines show (the path as the caller gave it).
struct FilePath {
    std::wstring full;
    std::string shown;
};

// A path that the caller gave, in the call's encoding (frame/encoding.h: the
// ANSI code page for an A export), made full.
FilePath FromCaller(const char* path);

// path made full against the current directory, in the extended-length
// form when it would pass MAX_PATH; the path as it is when the platform
// cannot make it full.
std::wstring FullPath(const std::wstring& path);

// A full path in the extended-length form, for the names built beside a
// file, which may pass MAX_PATH where the file's own name does not.
std::wstring ExtendedLength(const std::wstring& fullPath);

// The name of the file an open handle refers to, with every symbolic link
// and junction followed, in the extended-length form; empty when the
// platform cannot tell.
std::wstring FinalPathOf(HANDLE file);

}  // namespace wex::fileio
