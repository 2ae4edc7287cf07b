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

// True when both handles name the same file (volume serial number and file
// index), however its paths are spelled.
bool SameFile(HANDLE a, HANDLE b);

// True when path names a directory.
bool IsDirectory(const std::wstring& path);

}  // namespace wex::fileio
