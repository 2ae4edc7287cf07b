// Files as byte sources and sinks for the text streams of textstream.h.
#pragma once

#include <windows.h>

#include <string>

#include "fileio/textstream.h"
#include "frame/winhandles.h"

namespace wex::fileio {

// Opened the way the C runtime's "r" opens: others may read and write. A
// reader never fails because a writer is at work: the sharing or access
// violation that a replace causes for a moment is retried for kBriefHoldMs.
UniqueFileHandle OpenForReading(const std::wstring& path);

// A file's bytes for a reader. A file of up to kWholeReadLimit bytes is read
// at once and closed again before its bytes are looked at: a replace of the
// file can only happen while no one has it open, so readers hold it as
// briefly as they can. A larger file, or one of no known size (a pipe), is
// read as it is looked at.
class ReaderSource : public ByteSource {
public:
    // False when the file cannot be opened (the error stays the last error).
    bool Open(const std::wstring& path);
    std::ptrdiff_t Read(char* into, std::size_t size) override;
    // True when other is open on the same file, however its paths are spelled.
    bool SameFileAs(HANDLE other) const;

private:
    UniqueFileHandle file_;  // open only while the file is read as looked at
    BY_HANDLE_FILE_INFORMATION identity_{};
    bool identified_ = false;
    std::string bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;  // reading the whole file failed after bytes_
};

constexpr std::size_t kWholeReadLimit = 64u << 20;

class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override;

private:
    HANDLE file_;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    bool Write(const char* bytes, std::size_t size) override;

private:
    HANDLE file_;
};


// True when path names a directory.
bool IsDirectory(const std::wstring& path);

}  // namespace wex::fileio
