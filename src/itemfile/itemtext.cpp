#include "itemfile/itemtext.h"

#include "itemfile/itemline.h"

namespace wex::itemfile {
namespace {

// Only a piece that holds the name can be an item line for it: the lines
// without it may go by unseen.
bool NextWith(TextPieceReader& pieces, std::string_view name, std::string_view& piece) {
    std::string_view passed;
    pieces.SkipToLineOf(name, passed);
    return pieces.Next(piece);
}

}  // namespace

bool FindItemIn(TextPieceReader& pieces, std::string_view name, std::string_view filter) {
    for (std::string_view piece; NextWith(pieces, name, piece);) {
        const std::size_t value = ValuePartOffset(piece, name);
        if (value != kNoItem && piece.substr(value).find(filter) != std::string_view::npos) return true;
    }
    return false;
}

std::optional<std::string> ItemValueIn(TextPieceReader& pieces, std::string_view name) {
    for (std::string_view piece; NextWith(pieces, name, piece);) {
        const std::size_t value = ValuePartOffset(piece, name);
        if (value != kNoItem) return std::string(ItemValue(piece.substr(value)));
    }
    return std::nullopt;
}

ItemNames AllNamesIn(TextPieceReader& pieces) {
    ItemNames names;
    for (std::string_view piece; pieces.Next(piece);) {
        std::string_view name;
        if (!NameBeforeEquals(piece, name)) continue;
        names.joined.append(name);
        names.joined.push_back('&');
        ++names.count;
    }
    return names;
}

bool SetItemEdit::Begin(FileEncoding encoding) {
    const std::optional<std::string>& name = names_.In(encoding);
    const std::optional<std::string>& value = values_.In(encoding);
    if (!name || !value) {
        refusal_ = fileio::CannotHold(encoding);
        return false;
    }
    name_ = *name;
    value_ = *value;
    return true;
}

bool SetItemEdit::Piece(std::string_view piece, TextWriter& out) {
    const std::size_t eq = EqualsOffset(piece, name_);
    if (eq == kNoItem) {
        out.Write(piece);
        return true;
    }
    // The old value part goes; it must not take a further line with it.
    if (DropCrossesLoneCr(piece.substr(eq + 1))) return false;
    out.Write(piece.substr(0, eq + 1));
    out.Write(value_);
    out.Write("\n");
    ++replaced_;
    return true;
}

void SetItemEdit::End(TextWriter& out) {
    if (replaced_ != 0) return;
    out.Write("\n");
    out.Write(name_);
    out.Write("=");
    out.Write(value_);
    out.Write("\n");
}

bool DeleteItemsEdit::Begin(FileEncoding encoding) {
    const std::optional<std::string>& name = names_.In(encoding);
    const std::optional<std::string>& filter = filters_.In(encoding);
    if (!name || !filter) {
        refusal_ = EditRefusal::NothingToChange;
        return false;
    }
    name_ = *name;
    filter_ = *filter;
    return true;
}

bool DeleteItemsEdit::Piece(std::string_view piece, TextWriter& out) {
    const std::size_t eq = EqualsOffset(piece, name_);
    if (eq != kNoItem && piece.substr(eq).find(filter_) != std::string_view::npos) {
        if (DropCrossesLoneCr(piece)) return false;
        ++dropped_;
        return true;
    }
    out.Write(piece);
    return true;
}

bool SubstituteEdit::Begin(FileEncoding encoding) {
    const std::optional<std::string>& search = searches_.In(encoding);
    if (!search) {
        refusal_ = EditRefusal::NothingToChange;
        return false;
    }
    search_ = *search;
    replacement_ = &replacements_.In(encoding);
    refusal_ = fileio::CannotHold(encoding);
    return true;
}

bool SubstituteEdit::Piece(std::string_view piece, TextWriter& out) {
    if (search_.empty() || piece.find(search_) == std::string_view::npos) {
        out.Write(piece);
        return true;
    }
    if (!*replacement_) return false;
    out.Write(ReplaceAll(piece, search_, **replacement_));
    return true;
}

}  // namespace wex::itemfile
