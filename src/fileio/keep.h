// What a file is besides its content, given to the new content that takes
// its place: its security descriptor (owner, group, DACL), creation time and
// alternate data streams. Its attributes come along when the new file is
// created (kKeptAttributes).
#pragma once

#include <windows.h>

#include <string>

namespace wex::fileio {

// The attributes that the new content takes over from the target. A
// read-only target is never rewritten, so that attribute is not among them.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

enum class Kept {
    All,
    NotPermissions,  // the target's permissions could not be read or given on
    NotStreams,      // one of its alternate data streams could not be copied
};

// Gives what target is to sibling, before sibling takes its place. target is
// open for reading (READ_CONTROL), sibling for writing with WRITE_DAC and
// WRITE_OWNER; the paths name the same files, for their streams.
//
// The owner is kept where the editor may name it (its own account, a group
// it may assign as owner, or with the restore privilege enabled); elsewhere
// the new content belongs to the editor, with the target's group and DACL,
// since the editor could not have given the file away itself. A volume
// without permissions or named streams (FAT) has none to keep, and a
// creation time that the volume does not take is let go.
Kept CarryOver(HANDLE target, const std::wstring& targetPath, HANDLE sibling, const std::wstring& siblingPath);

}  // namespace wex::fileio
