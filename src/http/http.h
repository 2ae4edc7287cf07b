// The form post client: one HTTP/1.0 POST over a plain socket, every reply
// line shown in a "SendMsg" box and echoed to standard output.
#pragma once

namespace wex::http {

// Posts body (already form-encoded, sent unchanged) to path on host:port.
// 1 when the first reply line holds " 200 "; else 0.
int PostForm(const char* host, const char* port, const char* path, const char* body);

}  // namespace wex::http
