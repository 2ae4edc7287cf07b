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
        if (error != ERROR_SHARING_VIOLATION || !wait.Wait()) {
            SetLastError(error);
            return file;
        }
    }
}

bool WholeFileSource::Open(const std::wstring& path, bool identify) {
    WaitWhileReplacing(path);
    file_ = OpenForReading(path);
    if (!file_) return false;
    // The identity needs the volume's serial number, which is slow to ask
    // for under Wine: only where it is wanted.
    if (identify) identified_ = GetFileInformationByHandle(file_.Get(), &identity_) != 0;
    Load(file_.Get());
    if (!stream_) file_.Reset();
    return true;
}

void WholeFileSource::Load(HANDLE file) {
    FILE_STANDARD_INFO info;
    if (GetFileType(file) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) ||
        static_cast<unsigned long long>(info.EndOfFile.QuadPart) > kWholeReadLimit) {
        stream_ = file;
        return;
    }
    // Not filled in first: every byte is read into it. A file that grew
    // since its size was taken is read on until it ends.
    std::size_t capacity = static_cast<std::size_t>(info.EndOfFile.QuadPart) + 1;
    bytes_.reset(new char[capacity]);
    for (;;) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(capacity - size_);
        if (!ReadFile(file, bytes_.get() + size_, want, &read, nullptr)) {
            failed_ = true;
            return;
        }
        size_ += read;
        // A short read of a file on disk is its end.
        if (read < want) return;
        std::unique_ptr<char[]> larger(new char[capacity * 2]);
        std::memcpy(larger.get(), bytes_.get(), size_);
        bytes_ = std::move(larger);
        capacity *= 2;
    }
}

std::ptrdiff_t WholeFileSource::Read(char* into, std::size_t size) {
    if (stream_) return FileSource(stream_).Read(into, size);
    if (at_ == size_) return failed_ ? -1 : 0;
    const std::size_t take = std::min(size, size_ - at_);
    std::memcpy(into, bytes_.get() + at_, take);
    at_ += take;
    return static_cast<std::ptrdiff_t>(take);
}

char* WholeFileSource::Lend(std::size_t& size) {
    size = stream_ ? 0 : size_ - at_;
    if (size == 0) return nullptr;
    char* lent = bytes_.get() + at_;
    at_ = size_;
    return lent;
}

bool WholeFileSource::SameFileAs(HANDLE other) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!identified_ || !GetFileInformationByHandle(other, &info)) return false;
    return info.dwVolumeSerialNumber == identity_.dwVolumeSerialNumber &&
           info.nFileIndexHigh == identity_.nFileIndexHigh && info.nFileIndexLow == identity_.nFileIndexLow;
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

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace wex::fileio
