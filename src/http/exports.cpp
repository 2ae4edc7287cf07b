// Form post client exports: argument checks, then the work in http.h.
#include "frame/export.h"
#include "http/http.h"

using namespace wex;

extern "C" int WEXCALL SendMsg(const char* host, const char* port, const char* path, const char* body) {
    if (!host || !port || !path || !body) return 0;
    return ExportBoundary(0, [&] { return http::PostForm(host, port, path, body); });
}

extern "C" int WEXCALL URLEncode(const char* text, char* out) {
    if (!out) return 0;
    if (!text) {
        out[0] = '\0';
        return 0;
    }
    return ExportBoundary(0, [&] { return http::EncodeInto(text, out); });
}
