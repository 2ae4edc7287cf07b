// Scratch state that a test owns: a fresh folder on drive C: that is removed
// with everything in it when the test ends, and helpers for exact file bytes.
#pragma once

#include <set>
#include <string>

namespace wextest {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Root() const { return root_; }
    // Root + "\" + name.
    std::string Path(const std::string& name) const;

private:
    std::string root_;
};

// Whole files, byte for byte (binary mode: CR LF stays CR LF). A path given
// as std::wstring may name a file in any language.
void WriteBytes(const std::string& path, const std::string& bytes);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::string& path);
bool FileExists(const std::wstring& path);

// UTF-8 and UTF-16, for tests that name things in any language.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// The names of the files in a directory (not its subdirectories).
std::set<std::string> FilesIn(const std::string& directory);

// Removes a directory tree (path in UTF-8); read-only files and names in any
// language included.
void RemoveTree(const std::string& path);

}  // namespace wextest
