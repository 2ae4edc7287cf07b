// Key file substitution: the key file's blocks become brace block items of the
// merchant's item file, and the public key also goes to "reginfo.txt".
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/diagnostics.h"
#include "frame/unique.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "itemfile/linereader.h"
#include "itemfile/rewrite.h"
#include "keys/keys.h"
#include "keys/keytext.h"

namespace wex::keys {
namespace {

// "reginfo.txt"'s full name is built in 256 bytes; the merchant identifier is
// read into 80 bytes.
constexpr std::size_t kRegInfoPathSize = 256;
constexpr std::size_t kMerchantIdSize = 80;

// Appends to the caller's public key buffer without rescanning it.
class PublicKeyOut {
public:
    explicit PublicKeyOut(char* buffer) : end_(buffer) { *end_ = '\0'; }
    void Append(std::string_view line) {
        std::memcpy(end_, line.data(), line.size());
        end_ += line.size();
        *end_ = '\0';
    }

private:
    char* end_;
};

}  // namespace

int WriteKeyItem(const char* itemFile, std::string_view name, std::string_view blockText) {
    KeyItemEditor editor(name, blockText);
    std::string text;
    itemfile::LineTransform transform;
    transform.piece = [&](std::string_view piece, std::FILE* out) {
        text.clear();
        editor.Piece(piece, text);
        itemfile::WriteText(out, text);
    };
    transform.end = [&](std::FILE* out) {
        text.clear();
        editor.End(text);
        itemfile::WriteText(out, text);
    };
    itemfile::RewriteOutcome outcome = itemfile::RewriteThroughTempFile(itemFile, transform);
    itemfile::ReportRewrite(outcome, itemFile);
    return outcome == itemfile::RewriteOutcome::Replaced ? editor.Replaced() : 0;
}

int WriteRegInfo(std::string_view blockText, const char* itemFile) {
    const char* slash = std::strrchr(itemFile, '\\');
    if (!slash) return 0;
    std::string path(itemFile, static_cast<std::size_t>(slash - itemFile));
    path += "\\reginfo.txt";
    if (path.size() >= kRegInfoPathSize) return 0;  // refused: the name does not fit

    UniqueFile file = OpenFile(path.c_str(), "w");
    if (!file) return 0;

    // The item file now already holds the new public key. An identifier is
    // at most 79 characters here: a longer value is cut there.
    char value[itemfile::kLineBufferSize] = "";
    if (!itemfile::GetItem(itemFile, "MERCHANT_ID", value)) value[0] = '\0';
    value[kMerchantIdSize - 1] = '\0';

    std::fprintf(file.Get(), "MERHANT_ID = %s\n", value);
    std::fputs("Public Key =", file.Get());
    itemfile::WriteText(file.Get(), blockText);
    std::fputs("\n", file.Get());
    bool written = !std::ferror(file.Get());
    if (std::fclose(file.Release()) != 0) written = false;
    return written ? 1 : 0;
}

int SubstituteKeys(const char* keyFile, const char* itemFile, char* publicKey) {
    UniqueFile keys = OpenFile(keyFile, "r");
    if (!keys) {
        std::string text = "Unable to open key file : ";
        text += keyFile;
        text += ".";
        ShowBox(text.c_str(), "Info");
        return 0;
    }
    PublicKeyOut publicOut(publicKey);
    KeyBlockReader blocks;
    int completed = 0;
    bool reportedOverlong = false;

    itemfile::LineReader<kKeyLineSize> reader(keys.Get());
    for (std::string_view piece; reader.Next(piece);) {
        switch (blocks.Feed(piece)) {
        case KeyBlockReader::Step::PublicLine:
            publicOut.Append(piece);
            break;
        case KeyBlockReader::Step::PublicDone:
            WriteKeyItem(itemFile, "MERCHANT_PUBLIC_KEY", blocks.BlockText());
            if (!WriteRegInfo(blocks.BlockText(), itemFile)) ShowBox("Unable to create reginfo file.", "Info");
            ++completed;
            break;
        case KeyBlockReader::Step::PrivateDone:
            WriteKeyItem(itemFile, "MERCHANT_PRIVATE_KEY", blocks.BlockText());
            ++completed;
            break;
        case KeyBlockReader::Step::Overlong:
            // A cut key would be a wrong key: the block is not stored at all.
            if (!reportedOverlong) {
                ErrorLine("Key block in %s is longer than %u characters: not stored.\n", keyFile,
                          static_cast<unsigned>(kMaxBlockBody));
                reportedOverlong = true;
            }
            break;
        case KeyBlockReader::Step::Started:
            reportedOverlong = false;
            break;
        case KeyBlockReader::Step::Outside:
        case KeyBlockReader::Step::PrivateLine:
        case KeyBlockReader::Step::Refused:
            break;
        }
    }
    return completed == 2 ? 1 : 0;
}

}  // namespace wex::keys
