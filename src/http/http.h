// The form post client: one HTTP/1.0 POST over a plain socket or inside a
// TLS session, every reply line shown in a box captioned with the export's
// name and echoed to standard output.
#pragma once

namespace wex::http {

enum class Transport { Plain, Tls };

// Posts body (already form-encoded, sent unchanged) to path on host:port.
// name is the export's, for the box caption and the message lines.
// 1 when the first reply line holds " 200 "; else 0.
int PostForm(const char* name, Transport transport, const char* host, const char* port, const char* path,
             const char* body);

}  // namespace wex::http
