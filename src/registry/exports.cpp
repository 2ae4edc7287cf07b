// Registry exports and their wide twins: argument checks, then the work in
// registry.h, which takes the texts in the call's encoding.
#include <cstring>
#include <string>

#include "frame/export.h"
#include "frame/unique.h"
#include "registry/multisz.h"
#include "registry/registry.h"

using namespace wex;

namespace {

template <class Char>
int RegRemoveValueCall(const char* exportName, const Char* givenSubkey, const Char* givenValue) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText subkey(givenSubkey), valueName(givenValue);
    call.Text(subkey).Text(valueName);
    if (!subkey || !valueName) return call.Return(0);
    return call.Run(0, [&] { return registry::RemoveValue(subkey, valueName); });
}

template <class Char>
int RegRemovePayComponentCall(const char* exportName, const Char* givenStore) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText store(givenStore);
    call.Text(store);
    if (!store) return call.Return(0);
    return call.Run(0, [&] { return registry::RemovePayComponent(store); });
}

// The list that SetRegMultiSz splits in place: an A export's own bytes, or a
// W export's text as WTF-8, whose split goes back into the caller's UTF-16
// when the call ends.
class SplitList {
public:
    explicit SplitList(char* list) noexcept : text_(list) {}
    explicit SplitList(wchar_t* list) noexcept : wide_(list) {
        if (!list) return;
        try {
            copy_ = FromWide(list);
            text_ = &copy_[0];
        } catch (...) {
        }
    }
    SplitList(const SplitList&) = delete;
    SplitList& operator=(const SplitList&) = delete;

    char* Text() const noexcept { return text_; }
    // Carries the split (if any) into the caller's text.
    void WriteBack() noexcept {
        static_assert(sizeof(wchar_t) == sizeof(char16_t), "the platform's wide characters are UTF-16 units");
        if (wide_ && text_) registry::CarrySplit(copy_, reinterpret_cast<char16_t*>(wide_));
    }

private:
    wchar_t* wide_ = nullptr;
    std::string copy_;
    char* text_ = nullptr;
};

template <class Char>
int SetRegMultiSzCall(const char* exportName, const Char* givenSubkey, const Char* givenValue, Char* givenList) {
    // The list as it came in: the call splits it in place.
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText subkey(givenSubkey), valueName(givenValue);
    SplitList list(givenList);
    call.Text(subkey).Text(valueName).Text(list.Text());
    if (!subkey || !valueName || !list.Text()) return call.Return(0);
    // Also when the work stops half-way: the caller sees what was split.
    ScopeExit writeBack([&] { list.WriteBack(); });
    return call.Run(0, [&] { return registry::SetMultiSz(subkey, valueName, list.Text()); });
}

template <class Char>
int EnumKeysCall(const char* exportName, const Char* givenSubkey, int index, Char* name) {
    ExportCall call(exportName, kEncodingOf<Char>);
    const InText subkey(givenSubkey);
    call.Text(subkey).Number(index).Buffer(name);
    // The path may be null when the enumeration goes on in the open key; a
    // path given that could not be converted names no key.
    if (!name || (givenSubkey && !subkey)) {
        if (name) name[0] = 0;
        return call.Return(0);
    }
    // Empty at the start of every call: after a result of 0 it reads empty.
    name[0] = 0;
    return call.Run(0, [&] {
        const std::optional<std::string> found = registry::EnumerateKeys(subkey, index);
        // A key name has at most 255 characters: 256 with the zero.
        const std::string_view received = found ? std::string_view(*found) : std::string_view();
        CopyOut(received, name, registry::kEnumNameCapacity);
        call.Output(received);
        return found ? 1 : 0;
    });
}

}  // namespace

extern "C" int WEXCALL RegRemoveValue(const char* subkey, const char* valueName) {
    return RegRemoveValueCall("RegRemoveValue", subkey, valueName);
}

extern "C" int WEXCALL RegRemoveValueW(const wchar_t* subkey, const wchar_t* valueName) {
    return RegRemoveValueCall("RegRemoveValueW", subkey, valueName);
}

extern "C" int WEXCALL RegRemovePayComponent(const char* store) {
    return RegRemovePayComponentCall("RegRemovePayComponent", store);
}

extern "C" int WEXCALL RegRemovePayComponentW(const wchar_t* store) {
    return RegRemovePayComponentCall("RegRemovePayComponentW", store);
}

extern "C" int WEXCALL SetRegMultiSz(const char* subkey, const char* valueName, char* list) {
    return SetRegMultiSzCall("SetRegMultiSz", subkey, valueName, list);
}

extern "C" int WEXCALL SetRegMultiSzW(const wchar_t* subkey, const wchar_t* valueName, wchar_t* list) {
    return SetRegMultiSzCall("SetRegMultiSzW", subkey, valueName, list);
}

extern "C" int WEXCALL EnumKeys(const char* subkey, int index, char* name) {
    return EnumKeysCall("EnumKeys", subkey, index, name);
}

extern "C" int WEXCALL EnumKeysW(const wchar_t* subkey, int index, wchar_t* name) {
    return EnumKeysCall("EnumKeysW", subkey, index, name);
}
