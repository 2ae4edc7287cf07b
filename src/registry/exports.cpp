// Registry exports: argument checks, then the work in registry.h.
#include "frame/export.h"
#include "registry/registry.h"

using namespace wex;

extern "C" int WEXCALL RegRemoveValue(const char* subkey, const char* valueName) {
    if (!subkey || !valueName) return 0;
    return ExportBoundary(0, [&] { return registry::RemoveValue(subkey, valueName); });
}

extern "C" int WEXCALL RegRemovePayComponent(const char* store) {
    if (!store) return 0;
    return ExportBoundary(0, [&] { return registry::RemovePayComponent(store); });
}

extern "C" int WEXCALL SetRegMultiSz(const char* subkey, const char* valueName, char* list) {
    if (!subkey || !valueName || !list) return 0;
    return ExportBoundary(0, [&] { return registry::SetMultiSz(subkey, valueName, list); });
}

extern "C" int WEXCALL EnumKeys(const char* subkey, int index, char* name) {
    // The path may be null when the enumeration goes on in the open key.
    if (!name) return 0;
    return ExportBoundary(0, [&] { return registry::EnumerateKeys(subkey, index, name); });
}
