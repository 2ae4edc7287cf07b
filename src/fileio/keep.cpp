#include "fileio/keep.h"

#include <vector>

#include "fileio/textfile.h"
#include "frame/winhandles.h"

namespace wex::fileio {
namespace {

bool KeepSecurity(HANDLE target, HANDLE sibling) {
    constexpr SECURITY_INFORMATION kWhole =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetKernelObjectSecurity(target, kWhole, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> descriptor(size);
    if (!GetKernelObjectSecurity(target, kWhole, descriptor.data(), size, &size)) return false;
    if (SetKernelObjectSecurity(sibling, kWhole, descriptor.data())) return true;
    return SetKernelObjectSecurity(sibling, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   descriptor.data()) != 0;
}

void KeepCreationTime(HANDLE target, HANDLE sibling) {
    FILETIME created;
    if (GetFileTime(target, &created, nullptr, nullptr)) SetFileTime(sibling, &created, nullptr, nullptr);
}

bool CopyStream(const std::wstring& from, const std::wstring& to) {
    UniqueFileHandle source = OpenForReading(from);
    if (!source) return false;
    UniqueFileHandle destination(
        CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!destination) return false;
    std::vector<char> chunk(64 * 1024);
    FileSource in(source.Get());
    FileSink out(destination.Get());
    for (;;) {
        const std::ptrdiff_t n = in.Read(chunk.data(), chunk.size());
        if (n < 0) return false;
        if (n == 0) return true;
        if (!out.Write(chunk.data(), static_cast<std::size_t>(n))) return false;
    }
}

// Each named stream (":name:$DATA") copied onto the sibling; the file's own
// content is the unnamed one ("::$DATA").
bool KeepStreams(const std::wstring& targetPath, const std::wstring& siblingPath) {
    WIN32_FIND_STREAM_DATA stream;
    HANDLE find = FindFirstStreamW(targetPath.c_str(), FindStreamInfoStandard, &stream, 0);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_HANDLE_EOF;
    bool kept = true;
    do {
        const std::wstring name = stream.cStreamName;
        if (name != L"::$DATA") kept = CopyStream(targetPath + name, siblingPath + name);
    } while (kept && FindNextStreamW(find, &stream));
    FindClose(find);
    return kept;
}

}  // namespace

Kept CarryOver(HANDLE target, const std::wstring& targetPath, HANDLE sibling, const std::wstring& siblingPath) {
    DWORD volume = 0;
    // A volume that does not say what it keeps is asked for everything.
    if (!GetVolumeInformationByHandleW(target, nullptr, 0, nullptr, nullptr, &volume, nullptr, 0))
        volume = FILE_PERSISTENT_ACLS | FILE_NAMED_STREAMS;
    if ((volume & FILE_PERSISTENT_ACLS) && !KeepSecurity(target, sibling)) return Kept::NotPermissions;
    KeepCreationTime(target, sibling);
    if ((volume & FILE_NAMED_STREAMS) && !KeepStreams(targetPath, siblingPath)) return Kept::NotStreams;
    return Kept::All;
}

}  // namespace wex::fileio
