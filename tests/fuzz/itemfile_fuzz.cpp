// Item files: the text-mode reader, the queries and the edits, each against a
// reference that translates the whole file at once, cuts it into pieces and
// applies the item-line rules with plain loops.
//
// Input: a control byte, the item name, NUL, the filter / value / search text,
// NUL, then the file's raw bytes. The control byte picks the piece size, how
// many bytes the source hands out per read, whether the source ends in a
// read error, and whether it lends all its bytes at once instead (as a whole
// file read into memory is lent: then the queries and edits skip to the
// lines that hold the name or search text).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/textfiles.h"
#include "itemfile/itemtext.h"

namespace {

using namespace wex::itemfile;
using namespace wex::fileio;
using namespace wexfuzz;

constexpr std::size_t npos = std::string_view::npos;

// ---- Reference ---------------------------------------------------------------

std::string ValueOf(std::string_view valuePart) {
    std::size_t start = 0;
    while (start < valuePart.size() && valuePart[start] == ' ') ++start;
    std::string value(valuePart.substr(start));
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

struct EditResult {
    bool refused = false;
    std::string bytes;  // as written to disk
    int count = 0;      // items replaced or dropped
};

EditResult ReferenceSet(const std::vector<std::string>& pieces, std::string_view name, std::string_view value) {
    EditResult r;
    std::string text;
    for (const std::string& piece : pieces) {
        const std::size_t eq = EqualsOfItemLine(piece, name);
        if (eq == npos) {
            text += piece;
            continue;
        }
        if (LeavesLineBehindLoneCr(std::string_view(piece).substr(eq + 1))) return {true, "", 0};
        text += piece.substr(0, eq + 1);
        text += value;
        text += '\n';
        ++r.count;
    }
    if (r.count == 0) text += "\n" + std::string(name) + "=" + std::string(value) + "\n";
    r.bytes = OnDisk(text);
    return r;
}

EditResult ReferenceDelete(const std::vector<std::string>& pieces, std::string_view name,
                           std::string_view filter) {
    EditResult r;
    std::string text;
    for (const std::string& piece : pieces) {
        const std::size_t eq = EqualsOfItemLine(piece, name);
        if (eq != npos && Contains(std::string_view(piece).substr(eq), filter)) {
            if (LeavesLineBehindLoneCr(piece)) return {true, "", 0};
            ++r.count;
            continue;
        }
        text += piece;
    }
    r.bytes = OnDisk(text);
    return r;
}

EditResult ReferenceSubstitute(const std::vector<std::string>& pieces, std::string_view search,
                               std::string_view replacement) {
    std::string text;
    for (const std::string& piece : pieces) {
        for (std::size_t i = 0; i < piece.size();) {
            if (!search.empty() && piece.compare(i, search.size(), search) == 0) {
                text += replacement;
                i += search.size();
            } else {
                text += piece[i++];
            }
        }
    }
    return {false, OnDisk(text), 0};
}

// ---- The cores, fed the way the item file exports feed them ----------------

struct Setup {
    std::string_view raw;
    std::size_t maxPiece;
    std::size_t chunk;
    bool failAtEnd;
    bool lend;
};

// A fresh reader over the file for each query or edit, as each export opens
// the file anew.
struct FreshReader {
    explicit FreshReader(const Setup& s)
        : source(s.raw, s.chunk, s.failAtEnd, s.lend), pieces(source, s.maxPiece) {}
    ChunkedSource source;
    TextPieceReader pieces;
};

EditResult RunEdit(const Setup& setup, PieceEdit& edit) {
    FreshReader reader(setup);
    StringSink sink;
    TextWriter out(sink);
    if (!ApplyEdit(reader.pieces, edit, out)) return {true, "", 0};
    WEX_FUZZ_CHECK(out.Flush());
    return {false, sink.written, 0};
}

void CheckEdit(const EditResult& got, int gotCount, const EditResult& want) {
    WEX_FUZZ_CHECK(got.refused == want.refused);
    if (want.refused) return;
    WEX_FUZZ_CHECK(got.bytes == want.bytes);
    WEX_FUZZ_CHECK(gotCount == want.count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexfuzz::FuzzInput input(data, size);
    // The item and key files' own piece sizes, and small ones that cut
    // short inputs often.
    static const std::size_t kPieceSizes[] = {399, 255, 1, 2, 3, 8, 40, 399};
    const unsigned char control = input.Control();
    const std::string_view name = input.Field();
    const std::string_view argument = input.Field();
    const Setup setup{input.Rest(), kPieceSizes[control & 7], ChunkFor(control >> 3), (control & 0x40) != 0,
                      (control & 0x80) != 0};

    // The reader loses no byte, cuts where fgets would and stops at the
    // limit; a read error shows once the pieces run out.
    const std::vector<std::string> pieces = Cut(Translated(setup.raw), setup.maxPiece);
    {
        FreshReader reader(setup);
        std::vector<std::string> got;
        for (std::string_view piece; reader.pieces.Next(piece);) {
            WEX_FUZZ_CHECK(!piece.empty() && piece.size() <= setup.maxPiece);
            got.emplace_back(piece);
        }
        WEX_FUZZ_CHECK(got == pieces);
        WEX_FUZZ_CHECK(reader.pieces.Failed() == setup.failAtEnd);
        std::string_view piece;
        WEX_FUZZ_CHECK(!reader.pieces.Next(piece));
    }

    // Queries.
    {
        bool found = false;
        std::optional<std::string> value;
        std::string names;
        int nameCount = 0;
        for (const std::string& piece : pieces) {
            const std::size_t eq = EqualsOfItemLine(piece, name);
            if (eq != npos) {
                found = found || Contains(std::string_view(piece).substr(eq + 1), argument);
                if (!value) value = ValueOf(std::string_view(piece).substr(eq + 1));
            }
            std::size_t start = 0;
            while (start < piece.size() && (piece[start] == '\n' || piece[start] == '\r' || piece[start] == ' '))
                ++start;
            const std::size_t equals = piece.find('=', start);
            if (start == piece.size() || equals == npos) continue;
            std::size_t end = equals;
            while (end > start && piece[end - 1] == ' ') --end;
            names += piece.substr(start, end - start) + "&";
            ++nameCount;
        }
        FreshReader forFind(setup), forValue(setup), forNames(setup);
        WEX_FUZZ_CHECK(FindItemIn(forFind.pieces, name, argument) == found);
        WEX_FUZZ_CHECK(ItemValueIn(forValue.pieces, name) == value);
        const ItemNames all = AllNamesIn(forNames.pieces);
        WEX_FUZZ_CHECK(all.joined == names);
        WEX_FUZZ_CHECK(all.count == nameCount);
    }

    // Edits. A UTF-8 mark that starts the file is written first as it
    // stands, and the edit sees the pieces of the rest.
    const bool marked = setup.raw.substr(0, kUtf8Mark.size()) == kUtf8Mark;
    const std::vector<std::string> editPieces =
        marked ? Cut(Translated(setup.raw.substr(kUtf8Mark.size())), setup.maxPiece) : pieces;
    auto withMark = [&](EditResult want) {
        if (marked && !want.refused) want.bytes.insert(0, kUtf8Mark);
        return want;
    };
    {
        SetItemEdit set(name, argument);
        const EditResult got = RunEdit(setup, set);
        CheckEdit(got, set.Replaced(), withMark(ReferenceSet(editPieces, name, argument)));
    }
    {
        DeleteItemsEdit drop(name, argument);
        const EditResult got = RunEdit(setup, drop);
        CheckEdit(got, drop.Dropped(), withMark(ReferenceDelete(editPieces, name, argument)));
    }
    {
        SubstituteEdit substitute(name, argument);
        const EditResult got = RunEdit(setup, substitute);
        CheckEdit(got, 0, withMark(ReferenceSubstitute(editPieces, name, argument)));
    }

    // A rewrite that changes nothing gives back the translated file byte for
    // byte, every newline as CR LF: a search longer than any piece never
    // occurs in one.
    {
        const std::string never(setup.maxPiece + 1, 'x');
        SubstituteEdit unchanged(never, "y");
        const EditResult got = RunEdit(setup, unchanged);
        WEX_FUZZ_CHECK(!got.refused && got.bytes == OnDisk(Translated(setup.raw)));
    }
    return 0;
}
