#!/usr/bin/env bash
# The main job: set up, build Wexlib.dll, and run the provisioning script with
# the host under Wine, printing every call and its result.
source "$(dirname "$0")/common.sh"
wex_explain_archs
arch=$(wex_wine_arch)
wex_prepare $(printf '%s\n' win32 "$arch" | sort -u)
wex_wine_use "$arch"
# The local HTTP and HTTPS servers that SendMsg and SendMsgSecure post to are
# stopped on every way out.
tls_server_pid=""
stop_tls_server() {
    if [ -n "$tls_server_pid" ]; then
        kill "$tls_server_pid" 2>/dev/null || true
        wait "$tls_server_pid" 2>/dev/null || true
    fi
}
trap 'wex_stop_form_server; stop_tls_server; wex_wine_down' EXIT
wex_wine_up

say "running Wexlib.dll ($arch build) under $("$WEX_WINE" --version)"
# The demo lives on drive C:, where the library's temporary files go too.
demo="$WINEPREFIX/drive_c/wexdemo"
mkdir -p "$demo/bin"
cp "$top/build/$arch/bin/"*.exe "$top/build/$arch/bin/Wexlib.dll" "$demo/bin/"
cp "$top/examples/provision.wex" "$top/examples/windows.wex" "$demo/"
cd "$demo"
export WEXDEMO='C:\wexdemo'

# formserver answers two POSTs on 127.0.0.1 (one per run below) and then ends
# by itself (or after a minute without a client); its port comes back through
# a file.
wex_start_form_server 'C:\wexdemo\bin\formserver.exe' "$demo/http" 'C:\wexdemo\http' 2 60000
export WEXDEMO_HTTP_PORT=$wex_form_server_port

# The same server over TLS, for SendMsgSecure. Wine's TLS cannot serve, so
# this one runs on the Linux side (tools/formserver/tlsserver.py); its
# certificate comes from a test certificate authority made here, which goes
# into this prefix's machine root store, as a private CA is trusted.
"$top/tools/formserver/make-certs.sh" "$demo/tls"
"$WEX_WINE" 'C:\wexdemo\bin\rootstore.exe' add 'C:\wexdemo\tls\ca.pem'
mkdir -p "$demo/https"
rm -f "$demo/https/port.txt" "$demo/https/requests.log"
/usr/bin/python3 "$top/tools/formserver/tlsserver.py" form --cert "$demo/tls/good.pem" --key "$demo/tls/server.key" \
    --port-file "$demo/https/port.txt" --log "$demo/https/requests.log" --count 2 --idle-ms 60000 \
    </dev/null >"$demo/https/server.out" 2>&1 &
tls_server_pid=$!
for _ in $(seq 100); do [ -s "$demo/https/port.txt" ] && break; sleep 0.1; done
[ -s "$demo/https/port.txt" ] || { echo "the HTTPS form server did not start:" >&2; cat "$demo/https/server.out" >&2; exit 1; }
WEXDEMO_HTTPS_PORT=$(tr -d '\r\n' <"$demo/https/port.txt")
export WEXDEMO_HTTPS_PORT
say "HTTPS form server listening on 127.0.0.1:$WEXDEMO_HTTPS_PORT (certificate for localhost from the demo's CA)"

# Message boxes are confirmed by the host and printed as "[box ...]" lines.
echo "== Attended run: provision.wex, then windows.wex"
"$WEX_WINE" 'C:\wexdemo\bin\wexhost.exe' --confirm-boxes provision.wex windows.wex

# The same provisioning as a deployment tool runs it: silent, logged, with
# bounded waits, and nobody to confirm a box (one would stop the run, so the
# run is given two minutes at most).
echo
echo "== Unattended run: provision.wex with WEXLIB_SILENT, WEXLIB_LOG and WEXLIB_WAIT_LIMIT"
rm -f "$demo/install.log"
WEXLIB_SILENT=1 WEXLIB_LOG='C:\wexdemo\install.log' WEXLIB_WAIT_LIMIT=15000 \
    timeout 120 "$WEX_WINE" 'C:\wexdemo\bin\wexhost.exe' provision.wex
echo
echo "== The installer log, C:\wexdemo\install.log"
tr -d '\r' <"$demo/install.log"
