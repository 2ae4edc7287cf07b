// Merchant keys: the identifier, the key file's blocks and the key items they
// become, each against a reference written from the key file rules.
//
// Input: a control byte, the merchant (and item) name, NUL, the key file's raw
// bytes, NUL, then the item file's raw bytes. The control byte picks how many
// bytes each file's source hands out per read. Each completed block is written
// into the item file in turn, the way key substitution does it, so that a
// later block meets the text that an earlier one left.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/textfiles.h"
#include "keys/keytext.h"

namespace {

using namespace wex::keys;
using namespace wexfuzz;
using Step = KeyBlockReader::Step;

constexpr std::size_t npos = std::string_view::npos;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// ---- Identifier ------------------------------------------------------------

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return lowered;
}

void CheckIdentifier(std::string_view name) {
    // Exactly the sizes the caller is told to provide.
    std::unique_ptr<char[]> buffer = CopyAtAllocationEnd(name);
    std::unique_ptr<char[]> identifier(new char[name.size() + 4]);
    ComputeMerchantId(buffer.get(), identifier.get());
    const std::string lowered = Lowered(name);
    WEX_FUZZ_CHECK(std::string_view(buffer.get(), name.size() + 1) == std::string_view(lowered.c_str(), name.size() + 1));
    const std::string_view id(identifier.get(), name.size() + 4);
    WEX_FUZZ_CHECK(id.substr(0, name.size()) == name);
    const std::string_view suffix = id.substr(name.size());
    WEX_FUZZ_CHECK(suffix[0] == '-' && suffix[1] >= '0' && suffix[1] <= '9' && suffix[2] >= '0' &&
                   suffix[2] <= '9' && suffix[3] == '\0');
    const unsigned check = static_cast<unsigned>((suffix[1] - '0') * 10 + (suffix[2] - '0'));
    WEX_FUZZ_CHECK(check <= 90 && check == CheckNumber(lowered));

    // In one shared buffer the identifier is built from the lowered name.
    std::unique_ptr<char[]> shared(new char[name.size() + 4]);
    std::memcpy(shared.get(), name.data(), name.size());
    shared[name.size()] = '\0';
    ComputeMerchantId(shared.get(), shared.get());
    WEX_FUZZ_CHECK(std::string_view(shared.get(), name.size()) == lowered);
    WEX_FUZZ_CHECK(std::string_view(shared.get() + name.size(), 4) == suffix);
}

// ---- Key file blocks -------------------------------------------------------

class ReferenceBlocks {
public:
    Step Feed(std::string_view piece) {
        if (kind_ == Kind::None) {
            if (StartsWith(piece, "$MerchantPUK")) kind_ = Kind::Public;
            else if (StartsWith(piece, "$MerchantPRK")) kind_ = Kind::Private;
            else return Step::Outside;
            body_.clear();
            overlong_ = false;
            return Step::Started;
        }
        const bool isPublic = kind_ == Kind::Public;
        if (StartsWith(piece, "EOF")) {
            kind_ = Kind::None;
            if (overlong_) return Step::Refused;
            text_ = "{\n" + body_;
            if (!body_.empty() && body_.back() != '\n') text_ += '\n';
            text_ += '}';
            return isPublic ? Step::PublicDone : Step::PrivateDone;
        }
        if (overlong_ || body_.size() + piece.size() > 2044) {
            overlong_ = true;
            return Step::Overlong;
        }
        body_ += piece;
        return isPublic ? Step::PublicLine : Step::PrivateLine;
    }
    const std::string& Text() const { return text_; }

private:
    enum class Kind { None, Public, Private };
    Kind kind_ = Kind::None;
    bool overlong_ = false;
    std::string body_, text_;
};

// ---- Key items -------------------------------------------------------------

bool OpensBlock(std::string_view valuePart) {
    std::size_t end = valuePart.size();
    while (end > 0 && std::string_view(" \t\r\n").find(valuePart[end - 1]) != npos) --end;
    return end > 0 && valuePart[end - 1] == '{';
}

bool ClosesBlock(std::string_view line) {
    std::size_t first = 0;
    while (first < line.size() && line[first] == ' ') ++first;
    if (first < line.size() && line[first] == '}') return true;
    std::size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
    return end >= 2 && line[end - 1] == '}' && line[end - 2] != ' ' && line[end - 2] != '\t';
}

struct KeyEdit {
    bool refused = false;
    std::string text;  // translated: newlines as '\n'
    int replaced = 0;
};

KeyEdit ReferenceKeyEdit(const std::vector<std::string>& pieces, std::string_view name, std::string_view block) {
    KeyEdit r;
    bool holding = false, heldCrossesCr = false;
    std::string held;
    for (const std::string& piece : pieces) {
        if (holding) {
            held += piece;
            heldCrossesCr = heldCrossesCr || LeavesLineBehindLoneCr(piece);
            if (ClosesBlock(piece)) {
                if (heldCrossesCr) return {true, "", 0};
                holding = false;
                held.clear();
            }
            continue;
        }
        const std::size_t eq = EqualsOfItemLine(piece, name);
        if (eq == npos) {
            r.text += piece;
            continue;
        }
        const std::string_view valuePart = std::string_view(piece).substr(eq + 1);
        if (LeavesLineBehindLoneCr(valuePart)) return {true, "", 0};
        r.text += piece.substr(0, eq + 1);
        r.text += block;
        r.text += '\n';
        ++r.replaced;
        holding = OpensBlock(valuePart);
        heldCrossesCr = false;
    }
    // An old block that never closes keeps its lines.
    if (holding) r.text += held;
    if (r.replaced == 0) {
        if (!r.text.empty() && r.text.back() != '\n') r.text += '\n';
        r.text += std::string(name) + "=" + std::string(block) + "\n";
    }
    return r;
}

KeyEdit RunKeyEdit(std::string_view raw, std::size_t chunk, std::string_view name, std::string_view block) {
    ChunkedSource source(raw, chunk, false);
    wex::fileio::TextPieceReader pieces(source, 399);
    KeyItemEditor editor(name, block);
    KeyEdit r;
    for (std::string_view piece; pieces.Next(piece);) {
        if (!editor.Piece(piece, r.text)) return {true, "", 0};
    }
    editor.End(r.text);
    r.replaced = editor.Replaced();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const unsigned char control = input.Control();
    const std::string_view name = input.Field();
    const std::string_view keyFile = input.Field();
    std::string itemFile(input.Rest());

    CheckIdentifier(name);

    ChunkedSource keySource(keyFile, ChunkFor(control), false);
    wex::fileio::TextPieceReader keyPieces(keySource, kKeyLineSize - 1);
    KeyBlockReader blocks;
    ReferenceBlocks expected;
    std::vector<std::string> done;
    for (std::string_view piece; keyPieces.Next(piece);) {
        const Step step = blocks.Feed(piece);
        WEX_FUZZ_CHECK(step == expected.Feed(piece));
        if (step != Step::PublicDone && step != Step::PrivateDone) continue;
        const std::string& text = blocks.BlockText();
        WEX_FUZZ_CHECK(text == expected.Text());
        // "{\n", at most 2044 characters of body, and "}" on a line of its
        // own (a newline put in before it may make 2048).
        WEX_FUZZ_CHECK(StartsWith(text, "{\n") && text.size() >= 3 && text.size() <= 2048);
        WEX_FUZZ_CHECK(text[text.size() - 2] == '\n' && text.back() == '}');
        done.push_back(text);
    }

    // Every block goes into the item file in turn; without one, a block of
    // the usual shape still exercises the editor.
    if (done.empty()) done.push_back("{\nAAAA\n}");
    if (done.size() > 4) done.resize(4);
    const std::size_t itemChunk = ChunkFor(control >> 3);
    for (const std::string& block : done) {
        const KeyEdit got = RunKeyEdit(itemFile, itemChunk, name, block);
        const KeyEdit want = ReferenceKeyEdit(Cut(Translated(itemFile), 399), name, block);
        WEX_FUZZ_CHECK(got.refused == want.refused);
        if (want.refused) break;
        WEX_FUZZ_CHECK(got.text == want.text);
        WEX_FUZZ_CHECK(got.replaced == want.replaced);
        itemFile = OnDisk(got.text);
    }
    return 0;
}
