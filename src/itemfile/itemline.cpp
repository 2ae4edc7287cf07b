#include "itemfile/itemline.h"

namespace wex::itemfile {

std::size_t EqualsOffset(std::string_view line, std::string_view name) {
    std::size_t at = line.find(name);
    if (at == std::string_view::npos) return kNoItem;
    at += name.size();
    while (at < line.size() && line[at] == ' ') ++at;
    return at < line.size() && line[at] == '=' ? at : kNoItem;
}

std::size_t ValuePartOffset(std::string_view line, std::string_view name) {
    std::size_t eq = EqualsOffset(line, name);
    return eq == kNoItem ? kNoItem : eq + 1;
}

std::string_view ItemValue(std::string_view valuePart) {
    std::size_t first = valuePart.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    valuePart.remove_prefix(first);
    if (!valuePart.empty() && valuePart.back() == '\n') valuePart.remove_suffix(1);
    return valuePart;
}

bool NameBeforeEquals(std::string_view line, std::string_view& name) {
    std::size_t start = line.find_first_not_of("\n\r ");
    if (start == std::string_view::npos) return false;
    std::string_view rest = line.substr(start);
    std::size_t eq = rest.find('=');
    if (eq == std::string_view::npos) return false;
    std::size_t end = eq;
    while (end > 0 && rest[end - 1] == ' ') --end;
    name = rest.substr(0, end);
    return true;
}

std::string ReplaceAll(std::string_view piece, std::string_view search, std::string_view replacement) {
    if (search.empty()) return std::string(piece);
    std::string out;
    out.reserve(piece.size());
    std::size_t scan = 0;
    for (std::size_t hit; (hit = piece.find(search, scan)) != std::string_view::npos;
         scan = hit + search.size()) {
        out.append(piece, scan, hit - scan);
        out.append(replacement);
    }
    out.append(piece, scan);
    return out;
}

std::string_view UserNameOf(std::string_view firstLine) {
    std::size_t colon = firstLine.find(':');
    return colon == std::string_view::npos ? std::string_view{} : firstLine.substr(0, colon);
}

bool DropCrossesLoneCr(std::string_view dropped) {
    if (!dropped.empty() && dropped.back() == '\n') dropped.remove_suffix(1);
    const std::size_t cr = dropped.find('\r');
    return cr != std::string_view::npos && dropped.find_first_not_of('\r', cr) != std::string_view::npos;
}

}  // namespace wex::itemfile
