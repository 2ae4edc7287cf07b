// Key file substitution: the key file's blocks become brace block items of the
// merchant's item file, and the public key also goes to "reginfo.txt".
#include <cstring>
#include <string>

#include "fileio/filetext.h"
#include "fileio/rewrite.h"
#include "fileio/textfile.h"
#include "frame/diagnostics.h"
#include "frame/encoding.h"
#include "frame/logsecrets.h"
#include "itemfile/itemfile.h"
#include "itemfile/itemline.h"
#include "keys/keys.h"
#include "keys/keytext.h"

namespace wex::keys {
namespace {

// "reginfo.txt"'s full name is built in 256 bytes; the merchant identifier is
// read into 80 bytes.
constexpr std::size_t kRegInfoPathSize = 256;
constexpr std::size_t kMerchantIdSize = 80;

// The key item writer's rules as an edit of the item file's pieces.
class KeyItemEdit : public fileio::PieceEdit {
public:
    KeyItemEdit(std::string_view name, std::string_view blockText) : editor_(name, blockText) {}
    bool Piece(std::string_view piece, fileio::TextWriter& out) override {
        text_.clear();
        if (!editor_.Piece(piece, text_)) return false;
        out.Write(text_);
        return true;
    }
    void End(fileio::TextWriter& out) override {
        text_.clear();
        editor_.End(text_);
        out.Write(text_);
    }

private:
    KeyItemEditor editor_;
    std::string text_;
};

}  // namespace

bool WriteKeyItem(const fileio::FilePath& itemFile, std::string_view name, std::string_view blockText) {
    KeyItemEdit edit(name, blockText);
    const fileio::RewriteOutcome outcome = fileio::Rewrite(itemFile.full, itemfile::kLineBufferSize - 1, edit);
    return fileio::RewriteResult(outcome, itemFile.shown.c_str(), 1) == 1;
}

int WriteRegInfo(std::string_view blockText, const fileio::FilePath& itemFile) {
    const std::string& itemPath = itemFile.shown;
    const std::size_t slash = itemPath.rfind('\\');
    if (slash == std::string::npos) return 0;
    std::string path = itemPath.substr(0, slash);
    path += "\\reginfo.txt";
    if (CallLength(path) >= kRegInfoPathSize) return 0;  // refused: the name does not fit

    UniqueFileHandle file(CreateFileW(fileio::FromCaller(path.c_str()).full.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;

    // The item file now already holds the new public key. An identifier is
    // at most 79 bytes here: a longer value is cut there. The file takes the
    // item file's encoding, and the identifier as that file holds it.
    fileio::FileEncoding encoding = fileio::FileEncoding::Ansi;
    std::string id = itemfile::GetStoredItem(itemFile, "MERCHANT_ID", encoding).value_or(std::string());
    if (id.size() > kMerchantIdSize - 1) id.resize(kMerchantIdSize - 1);

    fileio::FileSink sink(file.Get());
    fileio::TextWriter out(sink);
    if (encoding == fileio::FileEncoding::Utf8) out.WriteRaw(fileio::kUtf8Mark);
    out.Write("MERHANT_ID = ");
    out.Write(id);
    out.Write("\nPublic Key =");
    out.Write(blockText);
    out.Write("\n");
    return out.Flush() ? 1 : 0;
}

Substitution SubstituteKeys(const char* keyFile, const char* itemFilePath) {
    Substitution done;
    const fileio::FilePath itemFile = fileio::FromCaller(itemFilePath);
    fileio::WholeFileSource source;
    if (!source.Open(fileio::FromCaller(keyFile).full)) {
        std::string text = "Unable to open key file : ";
        text += keyFile;
        text += ".";
        ShowBox(text.c_str(), "Info");
        return done;
    }
    done.keyFileOpened = true;
    KeyBlockReader blocks;
    int completed = 0;
    bool reportedOverlong = false;

    fileio::TextPieceReader pieces(source, kKeyLineSize - 1);
    const fileio::FileEncoding keyEncoding = fileio::TakeEncoding(pieces);
    for (std::string_view piece; pieces.Next(piece);) {
        switch (blocks.Feed(piece)) {
        case KeyBlockReader::Step::PublicLine:
            done.publicKey.append(piece);
            break;
        case KeyBlockReader::Step::PublicDone:
            MaskKeyBlockInLog(blocks.BlockText());
            // A block that could not be stored is no completed block.
            if (WriteKeyItem(itemFile, "MERCHANT_PUBLIC_KEY", blocks.BlockText())) ++completed;
            if (!WriteRegInfo(blocks.BlockText(), itemFile)) ShowBox("Unable to create reginfo file.", "Info");
            break;
        case KeyBlockReader::Step::PrivateDone:
            MaskKeyBlockInLog(blocks.BlockText());
            if (WriteKeyItem(itemFile, "MERCHANT_PRIVATE_KEY", blocks.BlockText())) ++completed;
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
    done.publicKey = fileio::FromFile(done.publicKey, keyEncoding);
    // A key file that could not be read to its end may have lost a block.
    if (pieces.Failed()) {
        ErrorLine("Could not read file %s to its end.\n", keyFile);
        return done;
    }
    done.result = completed == 2 ? 1 : 0;
    return done;
}

}  // namespace wex::keys
