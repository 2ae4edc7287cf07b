// Files as byte sources and sinks for the text streams of textstream.h.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "fileio/textstream.h"
#include "frame/winhandles.h"

namespace wex::fileio {

// Opened the way the C runtime's "r" opens: others may read and write. A
// reader never fails because a writer is at work: the sharing violation that
// a replace causes for a moment (it opens its destination exclusively) is
// retried for kBriefHoldMs.
UniqueFileHandle OpenForReading(const std::wstring& path);

// A file's bytes, read at once where they fit (kWholeReadLimit) and lent to
// the text reader from memory; a larger file, or one of no known size (a
// pipe), is read as it is looked at.
class WholeFileSource : public ByteSource {
public:
    // For a reader: opens the file at path and, when its bytes were read at
    // once, closes it again before they are looked at. A replace of a file
    // can only happen while no one has it open, so readers hold it as
    // briefly as they can; they step aside for a replace that a rewrite
    // announces (turn.h). False when the file cannot be opened (the error
    // stays the last error). With identify, the file's identity is kept for
    // SameFileAs.
    bool Open(const std::wstring& path, bool identify = false);
    // The bytes of a file that the caller holds open, from where it stands.
    void Load(HANDLE file);

    std::ptrdiff_t Read(char* into, std::size_t size) override;
    char* Lend(std::size_t& size) override;
    // True when other is open on the file opened with identify, however its
    // paths are spelled.
    bool SameFileAs(HANDLE other) const;

private:
    UniqueFileHandle file_;   // what Open opened, while it is still read from
    HANDLE stream_ = nullptr;  // the file read as looked at, if it is
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0, at_ = 0;
    bool failed_ = false;  // reading failed after bytes_
    BY_HANDLE_FILE_INFORMATION identity_{};
    bool identified_ = false;
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
