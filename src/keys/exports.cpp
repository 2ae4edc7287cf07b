// Merchant key exports: argument checks, then the work in keys.h.
#include <limits>

#include "frame/export.h"
#include "keys/keys.h"
#include "keys/keytext.h"

using namespace wex;

extern "C" int WEXCALL SubstituteKeys(const char* keyFile, const char* itemFile, char* publicKey) {
    ExportCall call("SubstituteKeys");
    call.Text(keyFile).Text(itemFile).Buffer(publicKey);
    if (!keyFile || !itemFile || !publicKey) return call.Return(0);
    return call.Run(0, [&] {
        keys::Substitution done = keys::SubstituteKeys(keyFile, itemFile);
        // The caller sizes the buffer for every public block of its key file:
        // at most 2044 characters a block, so no bound is applied here.
        if (done.keyFileOpened) {
            CopyOut(done.publicKey, publicKey, std::numeric_limits<std::size_t>::max());
            call.ItemOutput("MERCHANT_PUBLIC_KEY", publicKey);
        }
        return done.result;
    });
}

extern "C" int WEXCALL MakeKeys(const char* installRoot, const char* merchant, const char* seedText) {
    ExportCall call("MakeKeys");
    if (seedText) MaskInLog(seedText);
    call.Text(installRoot).Text(merchant).Secret(seedText);
    if (!installRoot || !merchant || !seedText) return call.Return(0);
    return call.Run(0, [&] { return keys::MakeKeys(installRoot, merchant, seedText); });
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
