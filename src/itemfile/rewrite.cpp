#include "itemfile/rewrite.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "frame/diagnostics.h"
#include "frame/unique.h"
#include "itemfile/itemline.h"
#include "itemfile/linereader.h"

namespace wex::itemfile {
namespace {

// Deletes the temporary file on every path out of the rewrite.
class TempFileName {
public:
    TempFileName() {
        // tmpnam keeps one static buffer per process: take a copy at once.
        if (const char* name = std::tmpnam(nullptr)) name_ = name;
    }
    ~TempFileName() {
        if (created_) std::remove(name_.c_str());
    }
    TempFileName(const TempFileName&) = delete;
    TempFileName& operator=(const TempFileName&) = delete;

    bool Valid() const { return !name_.empty(); }
    const char* Path() const { return name_.c_str(); }
    void MarkCreated() { created_ = true; }

private:
    std::string name_;
    bool created_ = false;
};

}  // namespace

RewriteOutcome RewriteThroughTempFile(const char* target, const LineTransform& transform) {
    TempFileName tempName;
    UniqueFile temp = tempName.Valid() ? OpenFile(tempName.Path(), "w") : UniqueFile();
    if (!temp) return RewriteOutcome::NoTempFile;
    tempName.MarkCreated();

    UniqueFile source = OpenFile(target, "r");
    if (!source) return RewriteOutcome::TargetUnreadable;

    LineReader<kLineBufferSize> reader(source.Get());
    for (std::string_view piece; reader.Next(piece);) transform.piece(piece, temp.Get());
    if (transform.end) transform.end(temp.Get());

    // A short read or write would copy a truncated file over the target.
    bool complete = !std::ferror(source.Get()) && !std::ferror(temp.Get());
    source.Reset();
    if (std::fclose(temp.Release()) != 0) complete = false;
    if (!complete) return RewriteOutcome::NotReplaced;

    if (!CopyFileA(tempName.Path(), target, FALSE)) return RewriteOutcome::NotReplaced;
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
    case RewriteOutcome::Replaced:
    case RewriteOutcome::NotReplaced:
        break;
    }
}

}  // namespace wex::itemfile
