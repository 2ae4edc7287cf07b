#include <cstdio>
#include <string>

#include "frame/diagnostics.h"
#include "frame/unique.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "itemfile/linereader.h"
#include "itemfile/rewrite.h"

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
    int replaced = 0;
    LineTransform transform;
    transform.piece = [&](std::string_view piece, std::FILE* out) {
        std::size_t eq = EqualsOffset(piece, name);
        if (eq == kNoItem) {
            WriteText(out, piece);
            return;
        }
        WriteText(out, piece.substr(0, eq + 1));
        WriteText(out, value);
        WriteText(out, "\n");
        ++replaced;
    };
    transform.end = [&](std::FILE* out) {
        if (replaced != 0) return;
        WriteText(out, "\n");
        WriteText(out, name);
        WriteText(out, "=");
        WriteText(out, value);
        WriteText(out, "\n");
    };
    return ResultAfter(RewriteThroughTempFile(path, transform), path, 1);
}

int DeleteItems(const char* path, std::string_view name, const char* filter) {
    int dropped = 0;
    std::string_view wanted = filter ? filter : "";
    LineTransform transform;
    transform.piece = [&](std::string_view piece, std::FILE* out) {
        std::size_t eq = EqualsOffset(piece, name);
        if (eq != kNoItem && piece.substr(eq).find(wanted) != std::string_view::npos) {
            ++dropped;
            return;
        }
        WriteText(out, piece);
    };
    RewriteOutcome outcome = RewriteThroughTempFile(path, transform);
    return ResultAfter(outcome, path, dropped);
}

int SubstituteText(const char* path, std::string_view search, std::string_view replacement) {
    LineTransform transform;
    transform.piece = [&](std::string_view piece, std::FILE* out) {
        WriteText(out, ReplaceAll(piece, search, replacement));
    };
    return ResultAfter(RewriteThroughTempFile(path, transform), path, 1);
}

int AddItem(const char* path, const char* name, const char* value) {
    UniqueFile file = OpenFile(path, "a+t");
    if (!file) {
        ErrorLine("Could not open file %s for reading.\n", path);
        return 0;
    }
    std::fprintf(file.Get(), "\n%s = %s\n", name, value);
    return 1;
}

int AppendFileTo(const char* sourcePath, const char* destinationPath) {
    UniqueFile source = OpenFile(sourcePath, "r");
    if (!source) {
        ErrorLine("Could not open file %s for reading.\n", sourcePath);
        return 0;
    }
    UniqueFile destination = OpenFile(destinationPath, "a");
    if (!destination) {
        ErrorLine("could not open file %s for reading .\n", destinationPath);
        return 0;
    }
    LineReader<kLineBufferSize> reader(source.Get());
    for (std::string_view piece; reader.Next(piece);) WriteText(destination.Get(), piece);
    destination.Reset();
    return 1;
}

}  // namespace wex::itemfile
