// Merchant key exports and their wide twins: argument checks, then the work
// in keys.h on the texts in the call's encoding.
#include <cwchar>

#include "frame/diagnostics.h"
#include "frame/export.h"
#include "keys/keys.h"
#include "keys/keytext.h"

using namespace wex;

namespace {

template <class Char>
int SubstituteKeysCall(const char* exportName, const Char* givenKeyFile, const Char* givenItemFile, Char* publicKey) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText keyFile(givenKeyFile), itemFile(givenItemFile);
    call.Text(keyFile).Text(itemFile).Buffer(publicKey);
    if (!keyFile || !itemFile || !publicKey) return call.Return(0);
    return call.Run(0, [&] {
        keys::Substitution done = keys::SubstituteKeys(keyFile, itemFile);
        // The caller sizes the buffer for every public block of its key file:
        // at most 2044 characters a block, so no bound is applied here.
        if (done.keyFileOpened) {
            CopyOut(done.publicKey, publicKey, done.publicKey.size() + 1);
            const std::string_view received(done.publicKey);
            call.ItemOutput("MERCHANT_PUBLIC_KEY", received.substr(0, received.find('\0')));
        }
        return done.result;
    });
}

template <class Char>
int MakeKeysCall(const char* exportName, const Char* givenRoot, const Char* givenMerchant, const Char* givenSeed) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText installRoot(givenRoot), merchant(givenMerchant), seedText(givenSeed);
    if (seedText) MaskInLog(seedText.View());
    call.Text(installRoot).Text(merchant).Secret(seedText);
    if (!installRoot || !merchant || !seedText) return call.Return(0);
    return call.Run(0, [&] { return keys::MakeKeys(installRoot, merchant, seedText); });
}

}  // namespace

extern "C" int WEXCALL SubstituteKeys(const char* keyFile, const char* itemFile, char* publicKey) {
    return SubstituteKeysCall("SubstituteKeys", keyFile, itemFile, publicKey);
}
extern "C" int WEXCALL SubstituteKeysW(const wchar_t* keyFile, const wchar_t* itemFile, wchar_t* publicKey) {
    return SubstituteKeysCall("SubstituteKeysW", keyFile, itemFile, publicKey);
}

extern "C" int WEXCALL MakeKeys(const char* installRoot, const char* merchant, const char* seedText) {
    return MakeKeysCall("MakeKeys", installRoot, merchant, seedText);
}
extern "C" int WEXCALL MakeKeysW(const wchar_t* installRoot, const wchar_t* merchant, const wchar_t* seedText) {
    return MakeKeysCall("MakeKeysW", installRoot, merchant, seedText);
}

// Always 0, also for null arguments (then nothing is written).
extern "C" int WEXCALL ComputeMerchID(char* name, char* identifier) {
    ExportCall call("ComputeMerchID");
    call.Text(name).Buffer(identifier);
    if (!name || !identifier) return call.Return(0);
    return call.Run(0, [&] {
        keys::ComputeMerchantId(name, identifier);
        call.Output(identifier);
        return 0;
    });
}

// The identifier is the one ComputeMerchID gives for the name's bytes in the
// ANSI code page, so that both twins name a merchant alike; a name that the
// code page cannot hold has none, and then neither buffer changes but the
// identifier's, which holds the empty text.
extern "C" int WEXCALL ComputeMerchIDW(wchar_t* name, wchar_t* identifier) {
    ExportCall call("ComputeMerchIDW", CallEncoding::Wtf8);
    const InText given(name);
    call.Text(given).Buffer(identifier);
    if (!given || !identifier) return call.Return(0);
    return call.Run(0, [&] {
        const std::size_t length = std::wcslen(name);
        const std::optional<std::string> bytes = AnsiExactly(std::wstring_view(name, length));
        if (!bytes) {
            identifier[0] = L'\0';
            call.Output("");
            ErrorLine("Merchant name %s has a character outside the ANSI code page: no identifier.\n",
                      static_cast<const char*>(given));
            return 0;
        }
        // The A export's buffers for these bytes, the identifier's zeroed.
        std::string nameBuffer(*bytes), idBuffer(bytes->size() + 4, '\0');
        nameBuffer.resize(bytes->size() + 4, '\0');
        const bool same = identifier == name;
        keys::ComputeMerchantId(&nameBuffer[0], same ? &nameBuffer[0] : &idBuffer[0]);
        const std::string lowered = FromWide(FromAnsi(nameBuffer.c_str()).c_str());
        const std::string id = FromWide(FromAnsi((same ? nameBuffer : idBuffer).c_str()).c_str());
        if (!same) CopyOut(lowered, name, length + 1);
        CopyOut(id, identifier, length + 4);
        call.Output(id);
        return 0;
    });
}
