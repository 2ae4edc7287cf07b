#include "fileio/textfile.h"

#include <algorithm>

#include "fileio/waits.h"

namespace wex::fileio {

UniqueFileHandle OpenForReading(const std::wstring& path) {
    Backoff wait(kBriefHoldMs);
    for (;;) {
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) return file;
        const DWORD error = GetLastError();
        // A directory refuses to open as a file for good.
        if (!HeldBySomeone(error) || IsDirectory(path) || !wait.Wait()) {
            SetLastError(error);
            return file;
        }
    }
}

std::ptrdiff_t FileSource::Read(char* into, std::size_t size) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(file_, into, want, &read, nullptr)) return -1;
    return static_cast<std::ptrdiff_t>(read);
}

bool FileSink::Write(const char* bytes, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(file_, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(a, &x) || !GetFileInformationByHandle(b, &y)) return false;
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace wex::fileio
