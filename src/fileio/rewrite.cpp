#include "fileio/rewrite.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "fileio/keep.h"
#include "fileio/paths.h"
#include "fileio/textfile.h"
#include "fileio/turn.h"
#include "fileio/waits.h"
#include "frame/diagnostics.h"
#include "frame/unattended.h"
#include "frame/winhandles.h"

namespace wex::fileio {
namespace {

constexpr wchar_t kSiblingMark[] = L".wexlib-new";
constexpr wchar_t kCopyMark[] = L".wexlib-copy";
constexpr wchar_t kMarks[] = L".wexlib-";

// tmpnam's fresh name, created exclusively and held, empty, for the rewrite.
// Delete-on-close: the system removes the file when its handle goes, also
// when the process is ended. The C runtime's name counter is not guarded, so
// a name that another thread took at the same moment is drawn again.
UniqueFileHandle CreateTempFile() {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const char* name = std::tmpnam(nullptr);
        if (!name) break;
        UniqueFileHandle temp(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
        if (temp) return temp;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return UniqueFileHandle();
}

// The file that a target's name leads to, and its attributes. Opened for its
// attributes only, which no sharing mode refuses.
bool Locate(const std::wstring& given, std::wstring& finalPath, DWORD& attributes) {
    Backoff wait(kBriefHoldMs);
    UniqueFileHandle file;
    for (;;) {
        file.Reset(CreateFileW(given.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        if (file) break;
        if (!HeldBySomeone(GetLastError()) || IsDirectory(given) || !wait.Wait()) return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.Get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    attributes = info.dwFileAttributes;
    finalPath = FinalPathOf(file.Get());
    if (finalPath.empty()) finalPath = ExtendedLength(given);
    return true;
}

enum class Opened { Yes, Busy, No };

// The target opened for the rewrite to read, under its turn: others may go
// on reading it, but no one may write it until the rewrite is done. A
// program that has it open for writing, or without sharing, is an editor at
// work: its sharing violation is waited out like a turn.
Opened OpenToRewrite(const std::wstring& path, Backoff& editors, UniqueFileHandle& file) {
    Backoff brief(kBriefHoldMs);
    for (;;) {
        file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) return Opened::Yes;
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            if (!editors.Wait()) return Opened::Busy;
        } else if (error != ERROR_ACCESS_DENIED || !brief.Wait()) {
            return Opened::No;
        }
    }
}

// A fresh sibling: the target's name, ".wexlib-new-", the process id and a
// count. A name that a process of the same id left behind is skipped.
UniqueFileHandle CreateSibling(const std::wstring& target, DWORD attributes, std::wstring& name) {
    static std::atomic<unsigned> count{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t tail[32];
        std::swprintf(tail, sizeof tail / sizeof tail[0], L"-%lx-%u", static_cast<unsigned long>(GetCurrentProcessId()),
                      ++count);
        name = target + kSiblingMark + tail;
        UniqueFileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, 0, nullptr,
                                          CREATE_NEW, attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    name.clear();
    return UniqueFileHandle();
}

// Renames the complete sibling over the target. Replacing a file that anyone
// has open is refused, so the replace must come in a moment when no reader
// holds it: it is tried again at once and often, for a while.
bool Replace(const std::wstring& sibling, const std::wstring& target) {
    Backoff brief(kBriefHoldMs, 1);
    for (;;) {
        if (MoveFileExW(sibling.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (!HeldBySomeone(GetLastError()) || !brief.Wait()) return false;
    }
}

enum class InPlace { Done, NotStarted, Unfinished };

// Copies the complete content in copy over target's own bytes, so that every
// hard link of target sees it, then removes copy. Readers are held off
// meanwhile (they retry) and see the new content once it is all there.
InPlace WriteInPlace(const std::wstring& target, const std::wstring& copy) {
    UniqueFileHandle source(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source) return InPlace::NotStarted;
    Backoff brief(kBriefHoldMs, 1);
    UniqueFileHandle file;
    for (;;) {
        file.Reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) break;
        if (!HeldBySomeone(GetLastError()) || !brief.Wait()) return InPlace::NotStarted;
    }
    std::vector<char> chunk(1 << 20);
    FileSource in(source.Get());
    FileSink out(file.Get());
    for (;;) {
        const std::ptrdiff_t n = in.Read(chunk.data(), chunk.size());
        if (n < 0 || (n > 0 && !out.Write(chunk.data(), static_cast<std::size_t>(n)))) return InPlace::Unfinished;
        if (n == 0) break;
    }
    if (!SetEndOfFile(file.Get()) || !FlushFileBuffers(file.Get())) return InPlace::Unfinished;
    file.Reset();
    source.Reset();
    DeleteFileW(copy.c_str());
    return InPlace::Done;
}

// A sibling that an ended rewrite left. One that an older version of the
// library made read-only loses that attribute first; a live writer's sibling
// is open without sharing and stays.
void RemoveEndedSibling(const std::wstring& sibling) {
    if (DeleteFileW(sibling.c_str()) || GetLastError() != ERROR_ACCESS_DENIED) return;
    const DWORD attributes = GetFileAttributesW(sibling.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
    SetFileAttributesW(sibling.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(sibling.c_str());
}

// What ended edits of the target left beside it, seen to under its turn: an
// in-place write that did not finish is finished (false when that fails),
// and ended rewrites' siblings go.
bool TidyBeside(const std::wstring& target) {
    const std::size_t slash = target.find_last_of(L'\\');
    const std::wstring folder = target.substr(0, slash + 1);
    const std::size_t nameLength = target.size() - folder.size();
    std::vector<std::wstring> siblings;
    bool unfinished = false;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((target + kMarks + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name.size() <= nameLength) continue;
            const std::wstring mark = name.substr(nameLength);
            if (mark.compare(0, sizeof kSiblingMark / sizeof kSiblingMark[0] - 1, kSiblingMark) == 0)
                siblings.push_back(folder + name);
            else if (mark == kCopyMark)
                unfinished = true;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    for (const std::wstring& sibling : siblings) RemoveEndedSibling(sibling);
    return !unfinished || WriteInPlace(target, target + kCopyMark) == InPlace::Done;
}

// The rewrite proper, once the target is open under its turn.
RewriteOutcome RewriteOpened(const std::wstring& targetPath, UniqueFileHandle& source, std::size_t maxPiece,
                             PieceEdit& edit, EditTurn& turn) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(source.Get(), &info)) return RewriteOutcome::ReadFailed;

    std::wstring siblingPath;
    // Declared before the sibling's handle, so that the handle is closed by
    // the time the guard removes the file.
    ScopeExit removeSibling([&] {
        if (!siblingPath.empty()) DeleteFileW(siblingPath.c_str());
    });
    UniqueFileHandle sibling = CreateSibling(targetPath, info.dwFileAttributes & kKeptAttributes, siblingPath);
    if (!sibling) return RewriteOutcome::WriteFailed;

    FileSource in(source.Get());
    FileSink out(sibling.Get());
    TextWriter writer(out);
    TextPieceReader pieces(in, maxPiece);
    for (std::string_view piece; pieces.Next(piece);) {
        if (!edit.Piece(piece, writer)) return RewriteOutcome::Refused;
    }
    // A short read must never reach the target, nor content that is not yet
    // on the disk.
    if (pieces.Failed()) return RewriteOutcome::ReadFailed;
    edit.End(writer);
    if (!writer.Flush()) return RewriteOutcome::WriteFailed;

    const bool hardLinked = info.nNumberOfLinks > 1;
    if (!hardLinked) {
        switch (CarryOver(source.Get(), targetPath, sibling.Get(), siblingPath)) {
        case Kept::All: break;
        case Kept::NotPermissions: return RewriteOutcome::PermissionsNotKept;
        case Kept::NotStreams: return RewriteOutcome::StreamsNotKept;
        }
    }
    if (!FlushFileBuffers(sibling.Get())) return RewriteOutcome::WriteFailed;
    sibling.Reset();
    // The target must be closed before it can be replaced or written.
    source.Reset();
    turn.AnnounceReplace();

    if (hardLinked) {
        const std::wstring copy = targetPath + kCopyMark;
        if (!MoveFileExW(siblingPath.c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return RewriteOutcome::NotReplaced;
        siblingPath.clear();
        switch (WriteInPlace(targetPath, copy)) {
        case InPlace::Done: return RewriteOutcome::Replaced;
        case InPlace::Unfinished: return RewriteOutcome::InPlaceUnfinished;
        case InPlace::NotStarted: break;
        }
        DeleteFileW(copy.c_str());
        return RewriteOutcome::NotReplaced;
    }
    if (!Replace(siblingPath, targetPath)) return RewriteOutcome::NotReplaced;
    siblingPath.clear();
    return RewriteOutcome::Replaced;
}

}  // namespace

RewriteOutcome Rewrite(const std::wstring& target, std::size_t maxPiece, PieceEdit& edit) {
    UniqueFileHandle temp = CreateTempFile();
    if (!temp) return RewriteOutcome::NoTempFile;
    std::wstring targetPath;
    DWORD attributes = 0;
    if (!Locate(target, targetPath, attributes)) return RewriteOutcome::TargetUnreadable;
    if (attributes & FILE_ATTRIBUTE_READONLY) return RewriteOutcome::ReadOnly;

    // One budget for every wait on other editors: the turn, then a program
    // that holds the file itself.
    Backoff editors(static_cast<DWORD>(WaitLimitMs()));
    EditTurn turn;
    if (turn.Take(targetPath, editors) == EditTurn::Outcome::Busy) return RewriteOutcome::Busy;
    if (!TidyBeside(targetPath)) return RewriteOutcome::NotReplaced;
    UniqueFileHandle source;
    switch (OpenToRewrite(targetPath, editors, source)) {
    case Opened::Yes: break;
    case Opened::Busy: return RewriteOutcome::Busy;
    case Opened::No: return RewriteOutcome::TargetUnreadable;
    }
    return RewriteOpened(targetPath, source, maxPiece, edit, turn);
}

void ReportBusy(const char* shownPath) { ErrorLine("File %s is being changed by another program.\n", shownPath); }

int RewriteResult(RewriteOutcome outcome, const char* shownPath, int success) {
    switch (outcome) {
    case RewriteOutcome::Replaced:
        return success;
    case RewriteOutcome::NoTempFile:
        ErrorLine("Could not open temp file.\n");
        break;
    case RewriteOutcome::TargetUnreadable:
        ErrorLine("Could not open file %s for reading.\n", shownPath);
        break;
    case RewriteOutcome::Refused:
        ErrorLine("File %s left unchanged: the edit would remove a line that ends in a lone carriage return.\n",
                  shownPath);
        break;
    case RewriteOutcome::ReadOnly:
        ErrorLine("File %s left unchanged: it is read-only.\n", shownPath);
        break;
    case RewriteOutcome::Busy:
        ReportBusy(shownPath);
        break;
    case RewriteOutcome::ReadFailed:
        ErrorLine("File %s left unchanged: it could not be read to its end.\n", shownPath);
        break;
    case RewriteOutcome::WriteFailed:
        ErrorLine("File %s left unchanged: its new content could not be written.\n", shownPath);
        break;
    case RewriteOutcome::PermissionsNotKept:
        ErrorLine("File %s left unchanged: its permissions could not be kept.\n", shownPath);
        break;
    case RewriteOutcome::StreamsNotKept:
        ErrorLine("File %s left unchanged: its alternate data streams could not be kept.\n", shownPath);
        break;
    case RewriteOutcome::NotReplaced:
        ErrorLine("File %s left unchanged: it could not be replaced.\n", shownPath);
        break;
    case RewriteOutcome::InPlaceUnfinished:
        ErrorLine("File %s could not be written in place: the next edit of it finishes the write.\n", shownPath);
        break;
    }
    return 0;
}

}  // namespace wex::fileio
