// Registry exports: argument checks, then the work in registry.h.
#include "frame/export.h"
#include "registry/registry.h"

using namespace wex;

extern "C" int WEXCALL RegRemoveValue(const char* subkey, const char* valueName) {
    ExportCall call("RegRemoveValue");
    call.Text(subkey).Text(valueName);
    if (!subkey || !valueName) return call.Return(0);
    return call.Run(0, [&] { return registry::RemoveValue(subkey, valueName); });
}

extern "C" int WEXCALL RegRemovePayComponent(const char* store) {
    ExportCall call("RegRemovePayComponent");
    call.Text(store);
    if (!store) return call.Return(0);
    return call.Run(0, [&] { return registry::RemovePayComponent(store); });
}

extern "C" int WEXCALL SetRegMultiSz(const char* subkey, const char* valueName, char* list) {
    // The list as it came in: the call splits it in place.
    ExportCall call("SetRegMultiSz");
    call.Text(subkey).Text(valueName).Text(list);
    if (!subkey || !valueName || !list) return call.Return(0);
    return call.Run(0, [&] { return registry::SetMultiSz(subkey, valueName, list); });
}

extern "C" int WEXCALL EnumKeys(const char* subkey, int index, char* name) {
    ExportCall call("EnumKeys");
    call.Text(subkey).Number(index).Buffer(name);
    // The path may be null when the enumeration goes on in the open key.
    if (!name) return call.Return(0);
    // Empty at the start of every call: after a result of 0 it reads empty.
    name[0] = '\0';
    return call.Run(0, [&] {
        const std::optional<std::string> found = registry::EnumerateKeys(subkey, index);
        // A key name has at most 255 characters: 256 bytes with the zero.
        if (found) CopyOut(*found, name, registry::kEnumNameCapacity);
        call.Output(name);
        return found ? 1 : 0;
    });
}
