// What the item file queries and edits do with a file's text, piece by piece.
// Free of the platform: the files themselves are opened in queries.cpp and
// edits.cpp (through src/fileio), so that these rules are also built and
// fuzzed natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fileio/textstream.h"

namespace wex::itemfile {

using fileio::PieceEdit;
using fileio::TextPieceReader;
using fileio::TextWriter;

// ---- Queries ----------------------------------------------------------------

// True when a piece is an item line for name whose value part contains filter
// (an empty filter: any item line for name).
bool FindItemIn(TextPieceReader& pieces, std::string_view name, std::string_view filter);

// The item value of the first item line for name, or nothing.
std::optional<std::string> ItemValueIn(TextPieceReader& pieces, std::string_view name);

// Every name that precedes a "=" on a piece, each followed by "&".
struct ItemNames {
    int count = 0;
    std::string joined;
};
ItemNames AllNamesIn(TextPieceReader& pieces);

// ---- Edits ------------------------------------------------------------------

// Every item line for name becomes its text up to and including the "=",
// then value and a newline; without one, "\nname=value\n" is appended.
class SetItemEdit : public PieceEdit {
public:
    SetItemEdit(std::string_view name, std::string_view value) : name_(name), value_(value) {}
    bool Piece(std::string_view piece, TextWriter& out) override;
    void End(TextWriter& out) override;
    std::string_view Needle() const override { return name_; }
    int Replaced() const { return replaced_; }

private:
    std::string_view name_, value_;
    int replaced_ = 0;
};

// Leaves out every item line for name whose text from the "=" on contains
// filter (an empty filter: every item line for name).
class DeleteItemsEdit : public PieceEdit {
public:
    DeleteItemsEdit(std::string_view name, std::string_view filter) : name_(name), filter_(filter) {}
    bool Piece(std::string_view piece, TextWriter& out) override;
    std::string_view Needle() const override { return name_; }
    int Dropped() const { return dropped_; }

private:
    std::string_view name_, filter_;
    int dropped_ = 0;
};

// Replaces every occurrence of search within each piece.
class SubstituteEdit : public PieceEdit {
public:
    SubstituteEdit(std::string_view search, std::string_view replacement)
        : search_(search), replacement_(replacement) {}
    bool Piece(std::string_view piece, TextWriter& out) override;
    std::string_view Needle() const override { return search_; }

private:
    std::string_view search_, replacement_;
};

}  // namespace wex::itemfile
