#include "frame/diagnostics.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "fileio/textfile.h"

namespace wex::itemfile {
namespace {

UniqueFileHandle OpenItemFile(const char* path) {
    UniqueFileHandle file = fileio::OpenForReading(path);
    if (!file) ErrorLine("Could not open file %s for reading.\n", path);
    return file;
}

}  // namespace

int FindItem(const char* path, std::string_view name, std::string_view filter) {
    UniqueFileHandle file = OpenItemFile(path);
    if (!file) return 0;
    fileio::FileSource source(file.Get());
    TextPieceReader pieces(source, kLineBufferSize - 1);
    return FindItemIn(pieces, name, filter) ? 1 : 0;
}

std::optional<std::string> GetItem(const char* path, std::string_view name) {
    UniqueFileHandle file = OpenItemFile(path);
    if (!file) return std::nullopt;
    fileio::FileSource source(file.Get());
    TextPieceReader pieces(source, kLineBufferSize - 1);
    return ItemValueIn(pieces, name);
}

std::optional<ItemNames> GetAllNames(const char* path) {
    UniqueFileHandle file = OpenItemFile(path);
    if (!file) {
        ShowBox("Could not open file", path);
        return std::nullopt;
    }
    fileio::FileSource source(file.Get());
    TextPieceReader pieces(source, kLineBufferSize - 1);
    return AllNamesIn(pieces);
}

std::optional<std::string> ReadUserName(const char* passwdPath) {
    UniqueFileHandle file = fileio::OpenForReading(passwdPath);
    if (!file) {
        ErrorLine("Could not open passwd file %s for reading.\n", passwdPath);
        return std::nullopt;
    }
    fileio::FileSource source(file.Get());
    TextPieceReader pieces(source, kPasswdLineSize - 1);
    std::string_view firstLine;
    return std::string(pieces.Next(firstLine) ? UserNameOf(firstLine) : std::string_view{});
}

}  // namespace wex::itemfile
