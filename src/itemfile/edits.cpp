#include "fileio/append.h"
#include "fileio/filetext.h"
#include "fileio/rewrite.h"
#include "fileio/textfile.h"
#include "frame/diagnostics.h"
#include "frame/logsecrets.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"

namespace wex::itemfile {
namespace {

int Rewritten(const FilePath& path, PieceEdit& edit, int success) {
    return fileio::RewriteResult(fileio::Rewrite(path.full, kLineBufferSize - 1, edit), path.shown.c_str(), success);
}

// Which export appends: each has its own line for a file that cannot be
// opened.
enum class Appender { AddFileItem, AppendFile };

// The lines of an append that did not happen.
int AppendResult(fileio::AppendOutcome outcome, const FilePath& path, Appender appender) {
    switch (outcome) {
    case fileio::AppendOutcome::Appended:
        return 1;
    case fileio::AppendOutcome::Unopenable:
        if (appender == Appender::AddFileItem) ErrorLine("Could not open file %s for reading.\n", path.shown.c_str());
        else ErrorLine("could not open file %s for reading .\n", path.shown.c_str());
        break;
    case fileio::AppendOutcome::ReadOnly:
        ErrorLine("File %s left unchanged: it is read-only.\n", path.shown.c_str());
        break;
    case fileio::AppendOutcome::Busy:
        fileio::ReportBusy(path.shown.c_str());
        break;
    case fileio::AppendOutcome::WriteFailed:
        ErrorLine("File %s left unchanged: its new content could not be written.\n", path.shown.c_str());
        break;
    case fileio::AppendOutcome::Refused:
    case fileio::AppendOutcome::ReadFailed:
        // Reported by the work itself, which knows what it refused or read.
        break;
    }
    return 0;
}

class AddedLine : public fileio::AppendWork {
public:
    AddedLine(std::string_view name, std::string_view value, const FilePath& path)
        : names_(fileio::ForFiles(name)), values_(fileio::ForFiles(value)), path_(path) {}
    bool Accepts(HANDLE, FileEncoding encoding) override {
        const std::optional<std::string>& name = names_.In(encoding);
        const std::optional<std::string>& value = values_.In(encoding);
        if (!name || !value) {
            fileio::ReportRefusal(fileio::CannotHold(encoding), path_.shown.c_str());
            return false;
        }
        name_ = *name;
        value_ = *value;
        return true;
    }
    bool Write(TextWriter& out) override {
        out.Write("\n");
        out.Write(name_);
        out.Write(" = ");
        out.Write(value_);
        out.Write("\n");
        return true;
    }

private:
    FileText names_, values_;
    const FilePath& path_;
    std::string_view name_, value_;
};

// The source is read before the destination's turn is waited for, and closed
// again: a replace of the source by another edit is not held up meanwhile.
class CopiedFile : public fileio::AppendWork {
public:
    CopiedFile(fileio::WholeFileSource& source, const FilePath& sourcePath, const FilePath& destinationPath)
        : source_(source), sourcePath_(sourcePath), destinationPath_(destinationPath) {}
    // Appending a file to itself would read its own new end for ever.
    bool Accepts(HANDLE destination, FileEncoding) override {
        if (!source_.SameFileAs(destination)) return true;
        ErrorLine("Could not append file %s to itself (%s).\n", sourcePath_.shown.c_str(),
                  destinationPath_.shown.c_str());
        return false;
    }
    bool Write(TextWriter& out) override {
        TextPieceReader pieces(source_, kLineBufferSize - 1);
        // The appended items pass through unseen: the log masks their hidden values.
        HiddenItemsPassing hidden;
        for (std::string_view piece; pieces.Next(piece);) {
            out.Write(piece);
            hidden.Line(piece);
        }
        if (!pieces.Failed()) return true;
        ErrorLine("Could not read file %s to its end.\n", sourcePath_.shown.c_str());
        return false;
    }

private:
    fileio::WholeFileSource& source_;
    const FilePath& sourcePath_;
    const FilePath& destinationPath_;
};

}  // namespace

int SetItem(const FilePath& path, std::string_view name, std::string_view value) {
    SetItemEdit edit(fileio::ForFiles(name), fileio::ForFiles(value));
    return Rewritten(path, edit, 1);
}

int DeleteItems(const FilePath& path, std::string_view name, std::string_view filter) {
    DeleteItemsEdit edit(fileio::ForFiles(name), fileio::ForFiles(filter));
    const fileio::RewriteOutcome outcome = fileio::Rewrite(path.full, kLineBufferSize - 1, edit);
    return fileio::RewriteResult(outcome, path.shown.c_str(), edit.Dropped());
}

int SubstituteText(const FilePath& path, std::string_view search, std::string_view replacement) {
    SubstituteEdit edit(fileio::ForFiles(search), fileio::ForFiles(replacement));
    return Rewritten(path, edit, 1);
}

// Appends in binary, with the text mode's newlines written by the library:
// the C runtime's text-mode append would drop a Ctrl-Z that ends the file.
int AddItem(const FilePath& path, std::string_view name, std::string_view value) {
    AddedLine line(name, value, path);
    return AppendResult(fileio::Append(path.full, line), path, Appender::AddFileItem);
}

int AppendFileTo(const FilePath& sourcePath, const FilePath& destinationPath) {
    fileio::WholeFileSource source;
    if (!source.Open(sourcePath.full, true)) {
        ErrorLine("Could not open file %s for reading.\n", sourcePath.shown.c_str());
        return 0;
    }
    CopiedFile copy(source, sourcePath, destinationPath);
    return AppendResult(fileio::Append(destinationPath.full, copy), destinationPath, Appender::AppendFile);
}

}  // namespace wex::itemfile
