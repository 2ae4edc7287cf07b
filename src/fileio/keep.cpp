#include "fileio/keep.h"

#include <vector>

#include "fileio/textfile.h"
#include "frame/winhandles.h"

namespace wex::fileio {
namespace {

// What a volume without permissions answers (FAT): there are none to keep.
bool NoPermissionsHere(DWORD error) { return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION; }

// What FindFirstStreamW answers for a file without named streams, or on a
// volume that has none.
bool NoStreamsHere(DWORD error) {
    return error == ERROR_HANDLE_EOF || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER;
}

constexpr SECURITY_INFORMATION kWhole =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The owner, group and DACL of an open file, self-relative; false with the
// last error when they cannot be read.
bool SecurityOf(HANDLE file, std::vector<BYTE>& descriptor) {
    descriptor.resize(512);
    DWORD size = 0;
    while (!GetKernelObjectSecurity(file, kWhole, descriptor.data(), static_cast<DWORD>(descriptor.size()), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= descriptor.size()) return false;
        descriptor.resize(size);
    }
    descriptor.resize(GetSecurityDescriptorLength(descriptor.data()));
    return true;
}

bool KeepSecurity(HANDLE target, HANDLE sibling) {
    std::vector<BYTE> descriptor, fresh;
    if (!SecurityOf(target, descriptor)) return NoPermissionsHere(GetLastError());
    // A target whose permissions are the ones its folder gives every new
    // file already has them on the sibling: setting them again costs the
    // flush a good deal under Wine and changes nothing.
    if (SecurityOf(sibling, fresh) && fresh == descriptor) return true;
    if (SetKernelObjectSecurity(sibling, kWhole, descriptor.data())) return true;
    return SetKernelObjectSecurity(sibling, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   descriptor.data()) ||
           NoPermissionsHere(GetLastError());
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
    const UniqueFindHandle find(FindFirstStreamW(targetPath.c_str(), FindStreamInfoStandard, &stream, 0));
    if (!find) return NoStreamsHere(GetLastError());
    bool kept = true;
    do {
        const std::wstring name = stream.cStreamName;
        if (name != L"::$DATA") kept = CopyStream(targetPath + name, siblingPath + name);
    } while (kept && FindNextStreamW(find.Get(), &stream));
    return kept;
}

}  // namespace

Kept CarryOver(HANDLE target, const std::wstring& targetPath, HANDLE sibling, const std::wstring& siblingPath) {
    if (!KeepSecurity(target, sibling)) return Kept::NotPermissions;
    KeepCreationTime(target, sibling);
    if (!KeepStreams(targetPath, siblingPath)) return Kept::NotStreams;
    return Kept::All;
}

}  // namespace wex::fileio
