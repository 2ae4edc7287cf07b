// Registry edits below HKEY_LOCAL_MACHINE. Every key an operation opens is
// closed before it returns, except the enumeration key that EnumerateKeys
// keeps open from one call to the next.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace wex::registry {

// Texts come in the call's encoding (frame/encoding.h), and every limit here
// counts characters as CallLength does: bytes for an A export, UTF-16 units
// for a W export.
//
// Process-wide buffers: the subkey path copied by SetMultiSz and
// EnumerateKeys (so at most 287 characters), and the assembled multi-string
// (at most 400 characters with its zeros).
constexpr std::size_t kPathBufferSize = 288;
constexpr std::size_t kMultiSzBufferSize = 400;
constexpr char kStoresPath[] = "SOFTWARE\\Microsoft\\MerchantServer\\Stores";
constexpr char kComponentsPathFormat[] = "SOFTWARE\\Microsoft\\MerchantServer\\Stores\\%s\\Components";
// The components path has room for 255 characters; its fixed text (the
// format without "%s") takes 52, and the name gets what is left: 203.
constexpr std::size_t kComponentsPathSize = 256;
constexpr std::size_t kComponentsPathFixedText = sizeof kComponentsPathFormat - 1 - 2;
constexpr std::size_t kMaxStoreName = kComponentsPathSize - kComponentsPathFixedText - 1;
static_assert(kMaxStoreName == 203, "the store name limit that the header promises");
constexpr char kPaymentValue[] = "Components_Payment";

// 1 when the value was deleted and the key still holds a value.
int RemoveValue(const char* subkey, const char* valueName);
// Deletes one subkey (no walk through its own subkeys). 1 when deleted.
int RemoveSubkey(const char* parent, const char* name);
// Deletes the store's "Components_Payment"; when that was the last value of
// the components key, asks for the store's key to be deleted.
int RemovePayComponent(const char* store);
// Writes a REG_MULTI_SZ value from a "+"-separated list, splitting the list
// text in place. The value holds the same UTF-16 for the same text whichever
// encoding it came in.
int SetMultiSz(const char* subkey, const char* valueName, char* list);
// A subkey name as EnumKeys hands it out: 255 characters and the zero.
constexpr std::size_t kEnumNameCapacity = 256;

// The name of subkey number index (at most 255 characters), keeping the key
// open for the next index; nothing when there is none or on failure.
std::optional<std::string> EnumerateKeys(const char* subkey, int index);

}  // namespace wex::registry
