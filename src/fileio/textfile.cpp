#include "fileio/textfile.h"

#include <algorithm>
#include <cstring>

#include "fileio/turn.h"
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

bool ReaderSource::Open(const std::wstring& path) {
    WaitWhileReplacing(path);
    file_ = OpenForReading(path);
    if (!file_) return false;
    identified_ = GetFileInformationByHandle(file_.Get(), &identity_) != 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.Get(), &size) || GetFileType(file_.Get()) != FILE_TYPE_DISK ||
        static_cast<unsigned long long>(size.QuadPart) > kWholeReadLimit)
        return true;
    // One more byte than the size, to see the end (or a file that grew).
    bytes_.resize(static_cast<std::size_t>(size.QuadPart) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes_.size()) bytes_.resize(bytes_.size() * 2);
        DWORD read = 0;
        if (!ReadFile(file_.Get(), &bytes_[filled], static_cast<DWORD>(bytes_.size() - filled), &read, nullptr)) {
            failed_ = true;
            break;
        }
        if (read == 0) break;
        filled += read;
    }
    bytes_.resize(filled);
    file_.Reset();
    return true;
}

std::ptrdiff_t ReaderSource::Read(char* into, std::size_t size) {
    if (file_) return FileSource(file_.Get()).Read(into, size);
    if (at_ == bytes_.size()) return failed_ ? -1 : 0;
    const std::size_t take = std::min(size, bytes_.size() - at_);
    std::memcpy(into, bytes_.data() + at_, take);
    at_ += take;
    return static_cast<std::ptrdiff_t>(take);
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

bool ReaderSource::SameFileAs(HANDLE other) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!identified_ || !GetFileInformationByHandle(other, &info)) return false;
    return info.dwVolumeSerialNumber == identity_.dwVolumeSerialNumber &&
           info.nFileIndexHigh == identity_.nFileIndexHigh && info.nFileIndexLow == identity_.nFileIndexLow;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace wex::fileio
