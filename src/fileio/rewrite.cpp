#include "fileio/rewrite.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "fileio/filetext.h"
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

// tmpnam's fresh name, created exclusively and held, empty, for the rewrite.
// Delete-on-close: the system removes the file when its handle goes, also
// when the process is ended. The C runtime's name counter is not guarded, so
// a name that another thread took at the same moment is drawn again.
UniqueFileHandle CreateTempFile() {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const char* name = std::tmpnam(nullptr);
        if (!name) break;
        UniqueFileHandle temp(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (temp) return temp;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return UniqueFileHandle();
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
        } else if (error != ERROR_ACCESS_DENIED || IsDirectory(path) || !brief.Wait()) {
            return Opened::No;
        }
    }
}

// Whether two full names name the same file the way the platform compares
// names: regardless of letter case.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// A sibling that an ended rewrite left. One that an older version of the
// library made read-only loses that attribute first; a live writer's sibling
// is open without sharing and stays. True when it is gone.
bool RemoveEndedSibling(const std::wstring& sibling) {
    if (DeleteFileW(sibling.c_str())) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    const DWORD attributes = GetFileAttributesW(sibling.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    SetFileAttributesW(sibling.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(sibling.c_str()) != 0;
}

// Every sibling that ended rewrites left beside the target. Looking through
// the folder is slow under Wine, so it is done only once a leftover has been
// seen.
void RemoveEndedSiblings(const std::wstring& target) {
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    std::vector<std::wstring> siblings;
    WIN32_FIND_DATAW found;
    {
        const UniqueFindHandle find(FindFirstFileW((target + kSiblingMark + L"*").c_str(), &found));
        if (!find) return;
        do {
            siblings.push_back(folder + found.cFileName);
        } while (FindNextFileW(find.Get(), &found));
    }
    for (const std::wstring& sibling : siblings) RemoveEndedSibling(sibling);
}

// A fresh sibling: the target's name, ".wexlib-new-" and the smallest number
// that no other sibling has, so that its name is its own while the rewrite
// lasts. A number that is taken is a live writer's sibling, or one that an
// ended rewrite left: then every leftover goes first.
UniqueFileHandle CreateSibling(const std::wstring& target, DWORD attributes, std::wstring& name) {
    bool tidied = false;
    for (unsigned number = 1; number <= 64; ++number) {
        name = target + kSiblingMark + L"-" + std::to_wstring(number);
        UniqueFileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, 0, nullptr,
                                          CREATE_NEW, attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        if (!tidied) {
            RemoveEndedSiblings(target);
            tidied = true;
            --number;
        }
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

// What ended edits of the target left beside it, seen to under its turn
// before the target is opened: an in-place write that did not finish is
// finished (false when that fails), and the one sibling name of older
// versions of the library is looked for (the siblings of this version turn
// up when their names are taken).
bool TidyBeside(const std::wstring& target) {
    if (GetFileAttributesW((target + kSiblingMark).c_str()) != INVALID_FILE_ATTRIBUTES) RemoveEndedSiblings(target);
    const std::wstring copy = target + kCopyMark;
    return GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES || WriteInPlace(target, copy) == InPlace::Done;
}

// The rewrite proper, once the target is open under its turn.
RewriteOutcome RewriteOpened(const std::wstring& targetPath, UniqueFileHandle& source, const FILE_BASIC_INFO& basic,
                             std::size_t maxPiece, PieceEdit& edit, EditTurn& turn) {
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(source.Get(), FileStandardInfo, &standard, sizeof standard))
        return RewriteOutcome::ReadFailed;

    std::wstring siblingPath;
    // Declared before the sibling's handle, so that the handle is closed by
    // the time the guard removes the file.
    ScopeExit removeSibling([&] {
        if (!siblingPath.empty()) DeleteFileW(siblingPath.c_str());
    });
    UniqueFileHandle sibling = CreateSibling(targetPath, basic.FileAttributes & kKeptAttributes, siblingPath);
    if (!sibling) return RewriteOutcome::WriteFailed;

    WholeFileSource in;
    in.Load(source.Get());
    FileSink out(sibling.Get());
    TextWriter writer(out);
    TextPieceReader pieces(in, maxPiece);
    if (!ApplyEdit(pieces, edit, writer)) {
        switch (edit.Refusal()) {
        case EditRefusal::LoneCr: return RewriteOutcome::Refused;
        case EditRefusal::NotInAnsiCodePage: return RewriteOutcome::NotInAnsiCodePage;
        case EditRefusal::NotInUtf8: return RewriteOutcome::NotInUtf8;
        case EditRefusal::NothingToChange: return RewriteOutcome::Unchanged;
        }
        return RewriteOutcome::Refused;
    }
    // A short read must never reach the target, nor content that is not yet
    // on the disk.
    if (pieces.Failed()) return RewriteOutcome::ReadFailed;
    if (!writer.Flush()) return RewriteOutcome::WriteFailed;

    const bool hardLinked = standard.NumberOfLinks > 1;
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

    // One budget for every wait on other editors: the turn, then a program
    // that holds the file itself. The turn goes by the name given; when that
    // name leads to another file (a symbolic link), by that file's name.
    Backoff editors(static_cast<DWORD>(WaitLimitMs()));
    EditTurn turn;
    UniqueFileHandle source;
    std::wstring targetPath = ExtendedLength(target);
    for (bool followed = false;;) {
        if (turn.Take(targetPath, editors) == EditTurn::Outcome::Busy) return RewriteOutcome::Busy;
        const bool tidy = TidyBeside(targetPath);
        switch (OpenToRewrite(targetPath, editors, source)) {
        case Opened::Yes: break;
        case Opened::Busy: return RewriteOutcome::Busy;
        case Opened::No: return RewriteOutcome::TargetUnreadable;
        }
        const std::wstring finalPath = FinalPathOf(source.Get());
        if (followed || finalPath.empty() || SameName(finalPath, targetPath)) {
            if (!tidy) return RewriteOutcome::NotReplaced;
            break;
        }
        source.Reset();
        turn.Release();
        targetPath = finalPath;
        followed = true;
    }
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &basic, sizeof basic))
        return RewriteOutcome::ReadFailed;
    if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) return RewriteOutcome::ReadOnly;
    return RewriteOpened(targetPath, source, basic, maxPiece, edit, turn);
}

void ReportBusy(const char* shownPath) { ErrorLine("File %s is being changed by another program.\n", shownPath); }

int RewriteResult(RewriteOutcome outcome, const char* shownPath, int success) {
    switch (outcome) {
    case RewriteOutcome::Replaced:
    case RewriteOutcome::Unchanged:
        return success;
    case RewriteOutcome::NoTempFile:
        ErrorLine("Could not open temp file.\n");
        break;
    case RewriteOutcome::TargetUnreadable:
        ErrorLine("Could not open file %s for reading.\n", shownPath);
        break;
    case RewriteOutcome::Refused:
        ReportRefusal(EditRefusal::LoneCr, shownPath);
        break;
    case RewriteOutcome::NotInAnsiCodePage:
        ReportRefusal(EditRefusal::NotInAnsiCodePage, shownPath);
        break;
    case RewriteOutcome::NotInUtf8:
        ReportRefusal(EditRefusal::NotInUtf8, shownPath);
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
