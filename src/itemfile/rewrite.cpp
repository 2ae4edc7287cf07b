#include "itemfile/rewrite.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "frame/diagnostics.h"
#include "frame/winhandles.h"
#include "itemfile/itemline.h"
#include "fileio/textfile.h"

namespace wex::itemfile {
namespace {

constexpr wchar_t kSiblingSuffix[] = L".wexlib-new";

// The attributes that the new content takes over from the target.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// One write goes to both files.
class TeeSink : public fileio::ByteSink {
public:
    TeeSink(fileio::ByteSink& first, fileio::ByteSink& second) : first_(first), second_(second) {}
    bool Write(const char* bytes, std::size_t size) override {
        const bool a = first_.Write(bytes, size);
        const bool b = second_.Write(bytes, size);
        return a && b;
    }

private:
    fileio::ByteSink& first_;
    fileio::ByteSink& second_;
};

// tmpnam's fresh name, created exclusively. Delete-on-close: the system
// removes the file when its last handle goes, also when the process is ended.
UniqueFileHandle CreateTempFile() {
    const char* name = std::tmpnam(nullptr);
    if (!name) return UniqueFileHandle();
    return UniqueFileHandle(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
}

// The target's full name in the extended-length form ("\\?\C:\..."), so
// that the sibling's longer name works for every target that opens at all.
std::wstring LongPath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length);
    const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (fullLength == 0) return std::wstring();
    std::wstring full(fullLength, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), fullLength, &full[0], nullptr);
    if (written == 0 || written >= fullLength) return std::wstring();
    full.resize(written);
    if (full.compare(0, 4, L"\\\\?\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A read-only sibling (one that took over a read-only target's attributes)
// must lose that attribute before it can go.
void RemoveSibling(const std::wstring& sibling) {
    SetFileAttributesW(sibling.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(sibling.c_str());
}

}  // namespace

RewriteOutcome RewriteThroughTempFile(const char* target, PieceEdit& edit) {
    UniqueFileHandle temp = CreateTempFile();
    if (!temp) return RewriteOutcome::NoTempFile;
    UniqueFileHandle source = fileio::OpenForReading(target);
    if (!source) return RewriteOutcome::TargetUnreadable;

    DWORD attributes = GetFileAttributesA(target);
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & kKeptAttributes;
    const std::wstring targetPath = LongPath(target);
    if (targetPath.empty()) return RewriteOutcome::NotReplaced;
    const std::wstring sibling = targetPath + kSiblingSuffix;
    // A sibling left by an ended rewrite of this target goes first. The
    // guard is declared before the sibling's handle, so that the handle is
    // closed by the time the guard removes the file.
    RemoveSibling(sibling);
    ScopeExit removeSibling([&] { RemoveSibling(sibling); });
    UniqueFileHandle next(CreateFileW(sibling.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!next) return RewriteOutcome::NotReplaced;

    fileio::FileSource in(source.Get());
    fileio::FileSink tempOut(temp.Get()), siblingOut(next.Get());
    TeeSink both(tempOut, siblingOut);
    TextWriter out(both);
    TextPieceReader pieces(in, kLineBufferSize - 1);
    for (std::string_view piece; pieces.Next(piece);) {
        if (!edit.Piece(piece, out)) return RewriteOutcome::Refused;
    }
    edit.End(out);

    // A short read or write must never reach the target; neither may content
    // that is not yet on the disk.
    bool complete = out.Flush() && !pieces.Failed();
    if (complete && !FlushFileBuffers(next.Get())) complete = false;
    next.Reset();
    // The target must be closed before it can be replaced.
    source.Reset();
    if (!complete) return RewriteOutcome::NotReplaced;
    if (!MoveFileExW(sibling.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return RewriteOutcome::NotReplaced;
    removeSibling.Dismiss();
    return RewriteOutcome::Replaced;
}

void ReportRewrite(RewriteOutcome outcome, const char* target) {
    switch (outcome) {
    case RewriteOutcome::NoTempFile:
        ErrorLine("Could not open temp file.\n");
        break;
    case RewriteOutcome::TargetUnreadable:
        ErrorLine("Could not open file %s for reading.\n", target);
        break;
    case RewriteOutcome::Refused:
        ErrorLine("File %s left unchanged: the edit would remove a line that ends in a lone carriage return.\n",
                  target);
        break;
    case RewriteOutcome::Replaced:
    case RewriteOutcome::NotReplaced:
        break;
    }
}

}  // namespace wex::itemfile
