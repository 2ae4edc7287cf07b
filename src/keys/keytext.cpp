#include "keys/keytext.h"

#include <cstdint>
#include <cstring>

#include "frame/ascii.h"
#include "frame/copyout.h"
#include "itemfile/itemline.h"

namespace wex::keys {

unsigned CheckNumber(std::string_view lowercasedName) {
    std::uint32_t a = 1241;
    for (char c : lowercasedName) {
        // Each byte counts as a signed 8-bit value: 0xE9 is -23.
        const std::int32_t v = static_cast<signed char>(c);
        const std::int32_t r = v % 43;  // truncates toward zero: sign of v
        a = a + static_cast<std::uint32_t>(r) + (a ^ static_cast<std::uint32_t>(v));
    }
    return a % 91;
}

namespace {

// name with A to Z lowercased; every other byte stays.
std::string LowercasedName(std::string_view name) {
    std::string lowered(name);
    for (char& c : lowered) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
    return lowered;
}

// name as given, "-" and the check number of its lowercased form as two
// digits.
std::string MerchantIdentifier(std::string_view name) {
    const unsigned check = CheckNumber(LowercasedName(name));
    std::string identifier(name);
    identifier += '-';
    identifier += static_cast<char>('0' + check / 10);
    identifier += static_cast<char>('0' + check % 10);
    return identifier;
}

}  // namespace

void ComputeMerchantId(char* name, char* identifier) {
    const std::string_view given(name);
    const std::size_t length = given.size();
    const std::string lowered = LowercasedName(given);
    // Both texts are made before either buffer is written. When identifier
    // is name itself it carries the lowercased name, as when the name was
    // copied first and lowercased in place after.
    const std::string id = MerchantIdentifier(identifier == name ? std::string_view(lowered) : given);
    CopyOut(lowered, name, length + 1);
    CopyOut(id, identifier, length + 4);
}

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

KeyBlockReader::Step KeyBlockReader::Feed(std::string_view piece) {
    if (state_ == State::Outside) {
        if (StartsWith(piece, "$MerchantPUK")) {
            state_ = State::Public;
        } else if (StartsWith(piece, "$MerchantPRK")) {
            state_ = State::Private;
        } else {
            return Step::Outside;
        }
        text_ = "{\n";
        overlong_ = false;
        return Step::Started;
    }
    const bool isPublic = state_ == State::Public;
    if (StartsWith(piece, "EOF")) {
        state_ = State::Outside;
        if (overlong_) return Step::Refused;
        if (text_.back() != '\n') text_ += '\n';
        text_ += '}';
        return isPublic ? Step::PublicDone : Step::PrivateDone;
    }
    // "{\n" takes two of the text's characters.
    if (overlong_ || text_.size() - 2 + piece.size() > kMaxBlockBody) {
        overlong_ = true;
        return Step::Overlong;
    }
    text_.append(piece);
    return isPublic ? Step::PublicLine : Step::PrivateLine;
}

bool OpensBraceBlock(std::string_view valuePart) {
    std::size_t end = valuePart.find_last_not_of(" \t\r\n");
    return end != std::string_view::npos && valuePart[end] == '{';
}

bool ClosesBraceBlock(std::string_view line) {
    std::size_t first = line.find_first_not_of(' ');
    return first != std::string_view::npos && line[first] == '}';
}

bool EndsInGluedBrace(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.size() < 2 || line.back() != '}') return false;
    const char before = line[line.size() - 2];
    return before != ' ' && before != '\t';
}

bool KeyItemEditor::Piece(std::string_view piece, std::string& out) {
    if (holding_) {
        held_.append(piece);
        if (itemfile::DropCrossesLoneCr(piece)) heldCrossesCr_ = true;
        if (ClosesBraceBlock(piece) || EndsInGluedBrace(piece)) {
            if (heldCrossesCr_) return false;
            holding_ = false;
            held_.clear();
        }
        return true;
    }
    const std::size_t eq = itemfile::EqualsOffset(piece, name_);
    if (eq == itemfile::kNoItem) {
        out.append(piece);
        if (!piece.empty()) lineOpen_ = piece.back() != '\n';
        return true;
    }
    if (itemfile::DropCrossesLoneCr(piece.substr(eq + 1))) return false;
    out.append(piece.substr(0, eq + 1));
    out.append(block_);
    out.push_back('\n');
    lineOpen_ = false;
    ++replaced_;
    holding_ = OpensBraceBlock(piece.substr(eq + 1));
    heldCrossesCr_ = false;
    return true;
}

void KeyItemEditor::End(std::string& out) {
    if (holding_) {
        // An old block that never closes: its lines are not part of it.
        out.append(held_);
        if (!held_.empty()) lineOpen_ = held_.back() != '\n';
        held_.clear();
        holding_ = false;
        heldCrossesCr_ = false;
    }
    if (replaced_ != 0) return;
    if (lineOpen_) out.push_back('\n');
    out.append(name_);
    out.push_back('=');
    out.append(block_);
    out.push_back('\n');
    lineOpen_ = false;
}

}  // namespace wex::keys
