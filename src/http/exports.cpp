// Form post client exports: argument checks, then the work in http.h. Each
// has a wide twin that runs the same code on its UTF-16 texts.
#include <memory>
#include <string_view>

#include "frame/diagnostics.h"
#include "frame/export.h"
#include "http/formpost.h"
#include "http/http.h"

using namespace wex;

namespace {

// name: the export's own, for the log; caption: the family's, for the boxes
// and the message lines (a twin shows the same texts as its export).
template <class Char>
int SendMsgCall(const char* name, const char* caption, http::Transport transport, const Char* host, const Char* port,
                const Char* path, const Char* body) {
    // The body may carry what the merchant registers: never logged in clear.
    ExportCall call(name, kEncodingOf<Char>);
    const InText h(host), p(port), a(path), b(body);
    call.Text(h).Text(p).Text(a).Secret(b);
    if (!h || !p || !a || !b) return call.Return(0);
    return call.Run(0, [&] { return http::PostForm(caption, transport, h, p, a, b); });
}

template <class Char>
int URLEncodeCall(const char* name, const Char* text, Char* out) {
    ExportCall call(name, kEncodingOf<Char>);
    // A twin's text is converted (copied) first, so that out may be text's
    // own buffer.
    const InText given(text);
    call.Text(given).Buffer(out);
    if (!out) return call.Return(0);
    if (!text) {
        out[0] = 0;
        return call.Return(0);
    }
    // A text that could not even be converted gets nothing written.
    if (!given) return call.Return(0);
    return call.Run(0, [&] {
        const std::string_view bytes(given);
        // A twin encodes its text's UTF-8, which has no form for a lone
        // surrogate: the empty text then, rather than bytes that are no text.
        if (sizeof(Char) > 1 && !utf::IsUtf8(bytes)) {
            ErrorLine("URLEncode: the text holds a lone surrogate, which has no UTF-8 form\n");
            out[0] = 0;
            call.Output("");
            return 0;
        }
        // The encoded copy is made first, so that out may be text's own
        // buffer; without memory for it nothing is written.
        std::unique_ptr<char[]> encoded = http::EncodeFormText(bytes);
        if (encoded) {
            // The room the caller is told to provide (bytes, or a twin's
            // wchar_t: 3 x the text's UTF-8 length + 1); the encoder never
            // makes more of a text than three bytes a byte.
            CopyOut(encoded.get(), out, 3 * bytes.size() + 1);
            call.Output(encoded.get());
        }
        return 0;
    });
}

}  // namespace

extern "C" int WEXCALL SendMsg(const char* host, const char* port, const char* path, const char* body) {
    return SendMsgCall("SendMsg", "SendMsg", http::Transport::Plain, host, port, path, body);
}

extern "C" int WEXCALL SendMsgW(const wchar_t* host, const wchar_t* port, const wchar_t* path, const wchar_t* body) {
    return SendMsgCall("SendMsgW", "SendMsg", http::Transport::Plain, host, port, path, body);
}

extern "C" int WEXCALL SendMsgSecure(const char* host, const char* port, const char* path, const char* body) {
    return SendMsgCall("SendMsgSecure", "SendMsgSecure", http::Transport::Tls, host, port, path, body);
}

extern "C" int WEXCALL SendMsgSecureW(const wchar_t* host, const wchar_t* port, const wchar_t* path,
                                      const wchar_t* body) {
    return SendMsgCall("SendMsgSecureW", "SendMsgSecure", http::Transport::Tls, host, port, path, body);
}

extern "C" int WEXCALL URLEncode(const char* text, char* out) { return URLEncodeCall("URLEncode", text, out); }

extern "C" int WEXCALL URLEncodeW(const wchar_t* text, wchar_t* out) { return URLEncodeCall("URLEncodeW", text, out); }
