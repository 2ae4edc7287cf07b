#include <cstring>

#include "frame/diagnostics.h"
#include "frame/unique.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "itemfile/linereader.h"

namespace wex::itemfile {
namespace {

UniqueFile OpenItemFile(const char* path) {
    UniqueFile file = OpenFile(path, "r");
    if (!file) ErrorLine("Could not open file %s for reading.\n", path);
    return file;
}

void CopyText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
}

}  // namespace

int FindItem(const char* path, std::string_view name, const char* filter) {
    UniqueFile file = OpenItemFile(path);
    if (!file) return 0;
    std::string_view wanted = filter ? filter : "";
    LineReader<kLineBufferSize> reader(file.Get());
    for (std::string_view piece; reader.Next(piece);) {
        std::size_t value = ValuePartOffset(piece, name);
        if (value != kNoItem && piece.substr(value).find(wanted) != std::string_view::npos) return 1;
    }
    return 0;
}

int GetItem(const char* path, std::string_view name, char* value) {
    UniqueFile file = OpenItemFile(path);
    if (!file) return 0;
    LineReader<kLineBufferSize> reader(file.Get());
    for (std::string_view piece; reader.Next(piece);) {
        std::size_t at = ValuePartOffset(piece, name);
        if (at == kNoItem) continue;
        if (value) CopyText(ItemValue(piece.substr(at)), value);
        return 1;
    }
    return 0;
}

int GetAllNames(const char* path, char* names) {
    names[0] = '\0';
    UniqueFile file = OpenItemFile(path);
    if (!file) {
        ShowBox("Could not open file", path);
        return 0;
    }
    int count = 0;
    char* end = names;
    LineReader<kLineBufferSize> reader(file.Get());
    for (std::string_view piece; reader.Next(piece);) {
        std::string_view name;
        if (!NameBeforeEquals(piece, name)) continue;
        std::memcpy(end, name.data(), name.size());
        end += name.size();
        *end++ = '&';
        *end = '\0';
        ++count;
    }
    return count;
}

int GetUserName(const char* passwdPath, char* user) {
    UniqueFile file = OpenFile(passwdPath, "r");
    if (!file) {
        ErrorLine("Could not open passwd file %s for reading.\n", passwdPath);
        return 0;
    }
    LineReader<kPasswdLineSize> reader(file.Get());
    std::string_view firstLine;
    CopyText(reader.Next(firstLine) ? UserNameOf(firstLine) : std::string_view{}, user);
    return 1;
}

}  // namespace wex::itemfile
