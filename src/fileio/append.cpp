#include "fileio/append.h"

#include "fileio/filetext.h"
#include "fileio/paths.h"
#include "fileio/textfile.h"
#include "fileio/turn.h"
#include "fileio/waits.h"
#include "frame/unattended.h"
#include "frame/winhandles.h"

namespace wex::fileio {
namespace {

enum class Opened { Yes, Busy, No };

// Opened to write at its end, created when missing; others may read it
// meanwhile, no one may write it. A program that has it open for writing,
// or without sharing, is an editor at work, waited out like a turn.
Opened OpenToAppend(const std::wstring& path, Backoff& editors, UniqueFileHandle& file, bool& created) {
    Backoff brief(kBriefHoldMs);
    for (;;) {
        file.Reset(CreateFileW(path.c_str(), FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
        const DWORD error = GetLastError();
        if (file) {
            created = error != ERROR_ALREADY_EXISTS;
            return Opened::Yes;
        }
        if (error == ERROR_SHARING_VIOLATION) {
            if (!editors.Wait()) return Opened::Busy;
        } else if (error != ERROR_ACCESS_DENIED || IsDirectory(path) || !brief.Wait()) {
            return Opened::No;
        }
    }
}

}  // namespace

AppendOutcome Append(const std::wstring& path, AppendWork& work) {
    // An existing file is the one its name leads to; a missing one is made
    // under the name given.
    std::wstring finalPath = ExtendedLength(path);
    {
        UniqueFileHandle existing(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        FILE_BASIC_INFO info;
        if (existing && GetFileInformationByHandleEx(existing.Get(), FileBasicInfo, &info, sizeof info)) {
            if ((info.FileAttributes & FILE_ATTRIBUTE_READONLY) && !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                return AppendOutcome::ReadOnly;
            const std::wstring resolved = FinalPathOf(existing.Get());
            if (!resolved.empty()) finalPath = resolved;
        }
    }

    Backoff editors(static_cast<DWORD>(WaitLimitMs()));
    EditTurn turn;
    if (turn.Take(finalPath, editors) == EditTurn::Outcome::Busy) return AppendOutcome::Busy;
    UniqueFileHandle file;
    bool created = false;
    switch (OpenToAppend(finalPath, editors, file, created)) {
    case Opened::Yes: break;
    case Opened::Busy: return AppendOutcome::Busy;
    case Opened::No: return AppendOutcome::Unopenable;
    }
    // What a failure takes back: a file it created, or what it wrote.
    auto takeBack = [&](LARGE_INTEGER end) {
        if (created) {
            file.Reset();
            DeleteFileW(finalPath.c_str());
        } else if (SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN)) {
            SetEndOfFile(file.Get());
        }
    };

    LARGE_INTEGER end{};
    const LARGE_INTEGER zero{};
    const FileEncoding encoding = created ? FileEncoding::Ansi : EncodingOfOpen(file.Get());
    if (!SetFilePointerEx(file.Get(), zero, &end, FILE_END)) return AppendOutcome::WriteFailed;
    if (!work.Accepts(file.Get(), encoding)) {
        if (created) takeBack(end);
        return AppendOutcome::Refused;
    }
    FileSink sink(file.Get());
    TextWriter out(sink);
    const bool read = work.Write(out);
    const bool written = out.Flush();
    if (read && written) return AppendOutcome::Appended;
    takeBack(end);
    return read ? AppendOutcome::WriteFailed : AppendOutcome::ReadFailed;
}

}  // namespace wex::fileio
