// Files as byte sources and sinks for the text streams of textstream.h.
#pragma once

#include <windows.h>

#include "frame/winhandles.h"
#include "fileio/textstream.h"

namespace wex::fileio {

// Opened the way the C runtime's "r" opens: others may read and write.
UniqueFileHandle OpenForReading(const char* path);

// Opened for appending, created when missing (the C runtime's "a").
UniqueFileHandle OpenForAppending(const char* path);

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

}  // namespace wex::fileio
