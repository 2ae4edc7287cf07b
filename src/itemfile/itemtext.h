// What the item file queries and edits do with a file's text, piece by piece.
// Free of the platform: the files themselves are opened in queries.cpp and
// edits.cpp (through src/fileio), so that these rules are also built and
// fuzzed natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fileio/textstream.h"

namespace wex::itemfile {

using fileio::EditRefusal;
using fileio::FileEncoding;
using fileio::FileText;
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

// The edits take their texts in both file encodings and use the file's own
// (Begin); one whose text the file cannot hold writes nothing.

// Every item line for name becomes its text up to and including the "=",
// then value and a newline; without one, "\nname=value\n" is appended.
// Refused when the file cannot hold the name or the value.
class SetItemEdit : public PieceEdit {
public:
    SetItemEdit(FileText name, FileText value) : names_(std::move(name)), values_(std::move(value)) {}
    bool Begin(FileEncoding encoding) override;
    bool Piece(std::string_view piece, TextWriter& out) override;
    void End(TextWriter& out) override;
    std::string_view Needle() const override { return name_; }
    EditRefusal Refusal() const override { return refusal_; }
    int Replaced() const { return replaced_; }

private:
    FileText names_, values_;
    std::string_view name_, value_;
    EditRefusal refusal_ = EditRefusal::LoneCr;
    int replaced_ = 0;
};

// Leaves out every item line for name whose text from the "=" on contains
// filter (an empty filter: every item line for name). A name or filter that
// the file cannot hold is in no line: the edit has nothing to change.
class DeleteItemsEdit : public PieceEdit {
public:
    DeleteItemsEdit(FileText name, FileText filter) : names_(std::move(name)), filters_(std::move(filter)) {}
    bool Begin(FileEncoding encoding) override;
    bool Piece(std::string_view piece, TextWriter& out) override;
    std::string_view Needle() const override { return name_; }
    EditRefusal Refusal() const override { return refusal_; }
    int Dropped() const { return dropped_; }

private:
    FileText names_, filters_;
    std::string_view name_, filter_;
    EditRefusal refusal_ = EditRefusal::LoneCr;
    int dropped_ = 0;
};

// Replaces every occurrence of search within each piece. A search text that
// the file cannot hold occurs nowhere: nothing to change; a replacement that
// it cannot hold is refused where the search text occurs.
class SubstituteEdit : public PieceEdit {
public:
    SubstituteEdit(FileText search, FileText replacement)
        : searches_(std::move(search)), replacements_(std::move(replacement)) {}
    bool Begin(FileEncoding encoding) override;
    bool Piece(std::string_view piece, TextWriter& out) override;
    std::string_view Needle() const override { return search_; }
    EditRefusal Refusal() const override { return refusal_; }

private:
    FileText searches_, replacements_;
    std::string_view search_;
    const std::optional<std::string>* replacement_ = nullptr;
    EditRefusal refusal_ = EditRefusal::LoneCr;
};

}  // namespace wex::itemfile
