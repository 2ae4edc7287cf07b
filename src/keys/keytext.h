// The text rules of merchant keys, kept free of the platform so they can be
// built and fuzzed natively: the merchant identifier's check number, the key
// file's blocks, and how a key item replaces its old value in an item file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wex::keys {

// ---- Merchant identifier -------------------------------------------------

// The check number of a lowercased name: 0 to 90.
unsigned CheckNumber(std::string_view lowercasedName);

// ComputeMerchID's two buffers: identifier receives the identifier of name
// as given, name is lowercased in place (A-Z only). identifier must hold
// strlen(name) + 4 bytes; it may be name itself (it then carries the
// lowercased name), but must not overlap it otherwise.
void ComputeMerchantId(char* name, char* identifier);

// ---- Key file --------------------------------------------------------------

// Key files are read 256 bytes at a time: at most 255 characters a read.
constexpr std::size_t kKeyLineSize = 256;

// The block text of one key is "{\n", the body lines, "}" in 2048 bytes: a
// body holds at most 2044 characters.
constexpr std::size_t kBlockTextSize = 2048;
constexpr std::size_t kMaxBlockBody = kBlockTextSize - 4;

// Follows the blocks of a key file, fed one line piece at a time:
// "$MerchantPUK" or "$MerchantPRK" (first 12 characters) starts a block, a
// line starting with "EOF" ends it; only the terminator is recognised inside
// a block.
class KeyBlockReader {
public:
    enum class Step {
        Outside,      // a line outside any block: ignored
        Started,      // a header line
        PublicLine,   // a body line of a public block, taken into the block
        PrivateLine,  // a body line of a private block, taken into the block
        Overlong,     // a body line that does not fit: the block is refused
        PublicDone,   // terminator of a public block: BlockText() is complete
        PrivateDone,  // terminator of a private block
        Refused,      // terminator of a block whose body did not fit
    };

    Step Feed(std::string_view piece);

    // "{\n", the body lines, then "}" once the block is done. The "}" always
    // starts a line of its own: after a last body piece without a newline
    // (key text that "EOF" follows on the same line) one is put in.
    const std::string& BlockText() const { return text_; }

private:
    enum class State { Outside, Public, Private };
    State state_ = State::Outside;
    bool overlong_ = false;
    std::string text_ = "{\n";
};

// ---- Key items in an item file ---------------------------------------------

// Rewrites an item file's pieces so that item `name` holds blockText:
// each item line for name becomes its text up to and including the "=",
// the block text and a newline. When that item line opens a brace block (its
// value ends in "{"), the old block's lines through its closing line are left
// out; when no closing line comes, they are kept. A closing line is one whose
// first non-space character is "}", or one whose key text ends in a glued "}"
// (as blocks whose last key line had no newline were once stored). Without
// any item line, "name=blockText\n" is appended at the end, on a line of its
// own.
class KeyItemEditor {
public:
    KeyItemEditor(std::string_view name, std::string_view blockText) : name_(name), block_(blockText) {}

    // Appends to out what replaces this piece. False refuses the edit: what
    // it would leave out holds a line that ends in a lone CR.
    bool Piece(std::string_view piece, std::string& out);
    // Appends to out what follows the last piece.
    void End(std::string& out);

    // The number of item lines replaced.
    int Replaced() const { return replaced_; }

private:
    std::string_view name_;
    std::string_view block_;
    int replaced_ = 0;
    bool holding_ = false;      // inside an old block, waiting for its "}"
    std::string held_;          // the old block's lines so far
    bool heldCrossesCr_ = false;  // dropping them would take a lone-CR line along
    bool lineOpen_ = false;     // the text written so far ends inside a line
};

// True when the value part of an item line ends in "{" (trailing spaces, tabs
// and the line end aside): the item opens a brace block.
bool OpensBraceBlock(std::string_view valuePart);

// True when the first character after leading spaces is "}".
bool ClosesBraceBlock(std::string_view line);

// True when the line's text, its line end aside, ends in a "}" glued to the
// key text before it (neither a space nor a tab).
bool EndsInGluedBrace(std::string_view line);

}  // namespace wex::keys
