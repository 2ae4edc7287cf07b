#include "fileio/filetext.h"
#include "fileio/textfile.h"
#include "frame/diagnostics.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"

namespace wex::itemfile {
namespace {

bool OpenItemFile(const FilePath& path, fileio::WholeFileSource& source) {
    if (source.Open(path.full)) return true;
    ErrorLine("Could not open file %s for reading.\n", path.shown.c_str());
    return false;
}

// A file whose reading failed part-way is no shorter file: the query fails,
// after this line.
bool ReadWhole(const TextPieceReader& pieces, const FilePath& path) {
    if (!pieces.Failed()) return true;
    ErrorLine("Could not read file %s to its end.\n", path.shown.c_str());
    return false;
}

}  // namespace

// A name or filter that the file cannot hold is in none of its lines.
int FindItem(const FilePath& path, std::string_view name, std::string_view filter) {
    const FileText names = fileio::ForFiles(name), filters = fileio::ForFiles(filter);
    fileio::WholeFileSource source;
    if (!OpenItemFile(path, source)) return 0;
    TextPieceReader pieces(source, kLineBufferSize - 1);
    const FileEncoding encoding = fileio::TakeEncoding(pieces);
    const std::optional<std::string>& fileName = names.In(encoding);
    const std::optional<std::string>& fileFilter = filters.In(encoding);
    if (!fileName || !fileFilter) return 0;
    if (FindItemIn(pieces, *fileName, *fileFilter)) return 1;
    ReadWhole(pieces, path);
    return 0;
}

std::optional<std::string> GetStoredItem(const FilePath& path, std::string_view name, FileEncoding& encoding) {
    const FileText names = fileio::ForFiles(name);
    fileio::WholeFileSource source;
    if (!OpenItemFile(path, source)) return std::nullopt;
    TextPieceReader pieces(source, kLineBufferSize - 1);
    encoding = fileio::TakeEncoding(pieces);
    const std::optional<std::string>& fileName = names.In(encoding);
    if (!fileName) return std::nullopt;
    std::optional<std::string> value = ItemValueIn(pieces, *fileName);
    if (!value) ReadWhole(pieces, path);
    return value;
}

std::optional<std::string> GetItem(const FilePath& path, std::string_view name) {
    FileEncoding encoding = FileEncoding::Ansi;
    std::optional<std::string> value = GetStoredItem(path, name, encoding);
    if (!value) return value;
    return fileio::FromFile(*value, encoding);
}

std::optional<ItemNames> GetAllNames(const FilePath& path) {
    fileio::WholeFileSource source;
    if (!OpenItemFile(path, source)) {
        ShowBox("Could not open file", path.shown.c_str());
        return std::nullopt;
    }
    TextPieceReader pieces(source, kLineBufferSize - 1);
    const FileEncoding encoding = fileio::TakeEncoding(pieces);
    ItemNames names = AllNamesIn(pieces);
    if (!ReadWhole(pieces, path)) return std::nullopt;
    names.joined = fileio::FromFile(names.joined, encoding);
    return names;
}

std::optional<std::string> ReadUserName(const FilePath& passwdPath) {
    fileio::WholeFileSource source;
    if (!source.Open(passwdPath.full)) {
        ErrorLine("Could not open passwd file %s for reading.\n", passwdPath.shown.c_str());
        return std::nullopt;
    }
    TextPieceReader pieces(source, kPasswdLineSize - 1);
    const FileEncoding encoding = fileio::TakeEncoding(pieces);
    std::string_view firstLine;
    const bool read = pieces.Next(firstLine);
    if (!ReadWhole(pieces, passwdPath)) return std::nullopt;
    return fileio::FromFile(read ? UserNameOf(firstLine) : std::string_view{}, encoding);
}

}  // namespace wex::itemfile
