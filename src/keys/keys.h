// Merchant keys: the generator run, the merchant identifier and the move of
// the generated key blocks into the merchant's item file.
#pragma once

#include <string>
#include <string_view>

#include "fileio/paths.h"

namespace wex::keys {

// Starts install root\bin\makekeys.exe on a fresh seed file holding seedText
// (seedfile.h), gives it 1500 ms, deletes the seed file. 1 when the generator
// was started.
int MakeKeys(const char* installRoot, const char* merchant, const char* seedText);

// What SubstituteKeys did: whether the key file opened, the export's result,
// and the public blocks' body lines for the caller's buffer.
struct Substitution {
    bool keyFileOpened = false;
    int result = 0;
    std::string publicKey;
};

// Moves the key blocks of keyFile into itemFile and writes "reginfo.txt"
// beside it (paths in the call's encoding). The result is 1 when exactly two
// blocks were complete and stored.
Substitution SubstituteKeys(const char* keyFile, const char* itemFile);

// The generator's command line: "<root>\bin\makekeys.exe -output
// <root>\merchants\<merchant>\<merchant>.key -input <seed file>", with each
// of the three paths in double quotes when any of root, merchant or seed file
// name holds a space.
std::string GeneratorCommandLine(const std::string& installRoot, const std::string& merchant,
                                 const std::string& seedName);

// The key item writer: stores blockText as item `name` of itemFile through
// the atomic rewrite (fileio/rewrite.h). True when the item file holds the
// block; a failure has written its standard error line.
bool WriteKeyItem(const fileio::FilePath& itemFile, std::string_view name, std::string_view blockText);

// The registration-info writer: "reginfo.txt" beside itemFile with the item
// MERCHANT_ID and the public block text. 1 when written, 0 when itemFile has
// no "\", the name does not fit 256 bytes, or the file cannot be written.
int WriteRegInfo(std::string_view blockText, const fileio::FilePath& itemFile);

}  // namespace wex::keys
