// Form post client exports: argument checks, then the work in http.h.
#include <cstring>

#include "frame/export.h"
#include "http/formpost.h"
#include "http/http.h"

using namespace wex;

extern "C" int WEXCALL SendMsg(const char* host, const char* port, const char* path, const char* body) {
    // The body may carry what the merchant registers: never logged in clear.
    ExportCall call("SendMsg");
    call.Text(host).Text(port).Text(path).Secret(body);
    if (!host || !port || !path || !body) return call.Return(0);
    return call.Run(0, [&] { return http::PostForm("SendMsg", http::Transport::Plain, host, port, path, body); });
}

extern "C" int WEXCALL SendMsgSecure(const char* host, const char* port, const char* path, const char* body) {
    ExportCall call("SendMsgSecure");
    call.Text(host).Text(port).Text(path).Secret(body);
    if (!host || !port || !path || !body) return call.Return(0);
    return call.Run(0, [&] { return http::PostForm("SendMsgSecure", http::Transport::Tls, host, port, path, body); });
}

extern "C" int WEXCALL URLEncode(const char* text, char* out) {
    ExportCall call("URLEncode");
    call.Text(text).Buffer(out);
    if (!out) return call.Return(0);
    if (!text) {
        out[0] = '\0';
        return call.Return(0);
    }
    return call.Run(0, [&] {
        // The encoded copy is made first, so that out may be text's own
        // buffer; without memory for it nothing is written.
        const std::size_t length = std::strlen(text);
        std::unique_ptr<char[]> encoded = http::EncodeFormText(std::string_view(text, length));
        if (encoded) {
            // The room the caller is told to provide; the encoder never
            // makes more of a text than three bytes a byte.
            CopyOut(encoded.get(), out, 3 * length + 1);
            call.Output(out);
        }
        return 0;
    });
}
