#!/usr/bin/env bash
# The main job: set up, build Wexlib.dll, and run the provisioning script with
# the host under Wine, printing every call and its result. The shipped x86
# build runs it where 32-bit Wine runs; elsewhere the x86 build is built and
# the x64 build runs it. Each step says how long it took.
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
say "main job: set-up first; which build runs the demo is decided once Wine is installed"
wex_step "set-up" wex_setup main

if wex_arch_runs win32; then
    arch=win32
    say "32-bit Wine runs here: the shipped x86 build runs the demo"
elif wex_arch_runs win64; then
    arch=win64
    say "the x86 build (the shipped DLL) is built but not run ($(wex_arch_why_not win32)): the x64 build runs the demo under 64-bit Wine"
else
    say "no build can run here: win32: $(wex_arch_why_not win32); win64: $(wex_arch_why_not win64)" >&2
    exit 1
fi
builds=(win32)
[ "$arch" = win32 ] || builds+=("$arch")
for build in "${builds[@]}"; do
    wex_step "$build build" wex_build "$build" --main
done

wex_wine_use "$arch" "$top/build/wine-main-$arch"
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
wex_step "prefix" wex_wine_up

# A step's commands run where a failure does not end the script by itself
# (bash ignores errexit there): each one that matters returns on failure.
demo() {
    say "running Wexlib.dll ($arch build) under $("$WEX_WINE" --version)"
    # The demo lives on drive C:, where the library's temporary files go too.
    local demo="$WINEPREFIX/drive_c/wexdemo"
    mkdir -p "$demo/bin" || return
    cp "$top/build/$arch/bin/"{wexhost,formserver,testservice,wexwin,makekeys,rootstore}.exe \
       "$top/build/$arch/bin/Wexlib.dll" "$demo/bin/" || return
    cp "$top/examples/provision.wex" "$top/examples/windows.wex" "$demo/" || return
    cd "$demo" || return
    export WEXDEMO='C:\wexdemo'

    # formserver answers two POSTs on 127.0.0.1 (one per run below) and then
    # ends by itself (or after a minute without a client); its port comes
    # back through a file.
    wex_start_form_server 'C:\wexdemo\bin\formserver.exe' "$demo/http" 'C:\wexdemo\http' 2 60000 || return
    export WEXDEMO_HTTP_PORT=${wex_form_server_port:?}

    # The same server over TLS, for SendMsgSecure. Wine's TLS cannot serve,
    # so this one runs on the Linux side (tools/formserver/tlsserver.py); its
    # certificate comes from a test certificate authority made here, which
    # goes into this prefix's machine root store, as a private CA is trusted.
    "$top/tools/formserver/make-certs.sh" "$demo/tls" || return
    "$WEX_WINE" 'C:\wexdemo\bin\rootstore.exe' add 'C:\wexdemo\tls\ca.pem' || return
    mkdir -p "$demo/https" || return
    rm -f "$demo/https/port.txt" "$demo/https/requests.log"
    /usr/bin/python3 "$top/tools/formserver/tlsserver.py" form --cert "$demo/tls/good.pem" \
        --key "$demo/tls/server.key" --port-file "$demo/https/port.txt" --log "$demo/https/requests.log" \
        --count 2 --idle-ms 60000 </dev/null >"$demo/https/server.out" 2>&1 &
    tls_server_pid=$!
    for _ in $(seq 100); do [ -s "$demo/https/port.txt" ] && break; sleep 0.1; done
    if [ ! -s "$demo/https/port.txt" ]; then
        echo "the HTTPS form server did not start:" >&2
        cat "$demo/https/server.out" >&2
        return 1
    fi
    WEXDEMO_HTTPS_PORT=$(tr -d '\r\n' <"$demo/https/port.txt")
    export WEXDEMO_HTTPS_PORT
    say "HTTPS form server listening on 127.0.0.1:$WEXDEMO_HTTPS_PORT (certificate for localhost from the demo's CA)"

    # Message boxes are confirmed by the host and printed as "[box ...]" lines.
    echo "== Attended run: provision.wex, then windows.wex"
    "$WEX_WINE" 'C:\wexdemo\bin\wexhost.exe' --confirm-boxes provision.wex windows.wex || return

    # The same provisioning as a deployment tool runs it: silent, logged,
    # with bounded waits, and nobody to confirm a box (one would stop the
    # run, so the run is given two minutes at most).
    echo
    echo "== Unattended run: provision.wex with WEXLIB_SILENT, WEXLIB_LOG and WEXLIB_WAIT_LIMIT"
    rm -f "$demo/install.log"
    WEXLIB_SILENT=1 WEXLIB_LOG='C:\wexdemo\install.log' WEXLIB_WAIT_LIMIT=15000 \
        timeout 120 "$WEX_WINE" 'C:\wexdemo\bin\wexhost.exe' provision.wex || return
    echo
    echo "== The installer log, C:\wexdemo\install.log"
    tr -d '\r' <"$demo/install.log"
}
wex_step "run" demo
wex_times
