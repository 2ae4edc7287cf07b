#include "frame/diagnostics.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "itemfile/rewrite.h"
#include "fileio/textfile.h"

namespace wex::itemfile {
namespace {

// The result an edit reports after its rewrite: a target that was not
// replaced is a failure, even when the new content was complete.
int ResultAfter(RewriteOutcome outcome, const char* path, int success) {
    ReportRewrite(outcome, path);
    return outcome == RewriteOutcome::Replaced ? success : 0;
}

}  // namespace

int SetItem(const char* path, std::string_view name, std::string_view value) {
    SetItemEdit edit(name, value);
    return ResultAfter(RewriteThroughTempFile(path, edit), path, 1);
}

int DeleteItems(const char* path, std::string_view name, std::string_view filter) {
    DeleteItemsEdit edit(name, filter);
    const RewriteOutcome outcome = RewriteThroughTempFile(path, edit);
    return ResultAfter(outcome, path, edit.Dropped());
}

int SubstituteText(const char* path, std::string_view search, std::string_view replacement) {
    SubstituteEdit edit(search, replacement);
    return ResultAfter(RewriteThroughTempFile(path, edit), path, 1);
}

// Appends in binary, with the text mode's newlines written by the library:
// the C runtime's text-mode append would drop a Ctrl-Z that ends the file.
int AddItem(const char* path, std::string_view name, std::string_view value) {
    UniqueFileHandle file = fileio::OpenForAppending(path);
    if (!file) {
        ErrorLine("Could not open file %s for reading.\n", path);
        return 0;
    }
    fileio::FileSink sink(file.Get());
    TextWriter out(sink);
    out.Write("\n");
    out.Write(name);
    out.Write(" = ");
    out.Write(value);
    out.Write("\n");
    // A write that fails (a full disk) is a failure, not a success.
    return out.Flush() ? 1 : 0;
}

int AppendFileTo(const char* sourcePath, const char* destinationPath) {
    UniqueFileHandle source = fileio::OpenForReading(sourcePath);
    if (!source) {
        ErrorLine("Could not open file %s for reading.\n", sourcePath);
        return 0;
    }
    UniqueFileHandle destination = fileio::OpenForAppending(destinationPath);
    if (!destination) {
        ErrorLine("could not open file %s for reading .\n", destinationPath);
        return 0;
    }
    // Appending a file to itself would read its own new end for ever.
    if (fileio::SameFile(source.Get(), destination.Get())) {
        ErrorLine("Could not append file %s to itself (%s).\n", sourcePath, destinationPath);
        return 0;
    }
    fileio::FileSource in(source.Get());
    fileio::FileSink sink(destination.Get());
    TextWriter out(sink);
    TextPieceReader pieces(in, kLineBufferSize - 1);
    for (std::string_view piece; pieces.Next(piece);) out.Write(piece);
    return out.Flush() && !pieces.Failed() ? 1 : 0;
}

}  // namespace wex::itemfile
