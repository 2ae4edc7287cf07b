#!/usr/bin/env bash
# The HTTPS form server of a build's NSIS installer cases (the
# nsis_form_server fixture): tools/formserver/tlsserver.py in its form mode,
# on the Linux side (Wine's TLS cannot serve), with the tests' certificates
# (the tls_certificates fixture; their authority is in the prefix's machine
# root store, the tls_root fixture).
#   form-server.sh start CERTS FOLDER   answers posts over TLS until stopped
#   form-server.sh stop FOLDER
# CERTS holds good.pem and server.key; FOLDER takes port.txt, requests.log,
# server.out and server.pid.
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
case "${1:-}" in
    start)
        [ $# -eq 3 ] || { echo "usage: form-server.sh start CERTS FOLDER" >&2; exit 2; }
        certs=$2 folder=$3
        mkdir -p "$folder"
        rm -f "$folder/port.txt" "$folder/requests.log"
        # None of the fixture's streams may stay open in the server.
        python3 "$top/tools/formserver/tlsserver.py" form --cert "$certs/good.pem" --key "$certs/server.key" \
            --port-file "$folder/port.txt" --log "$folder/requests.log" --count 1000000 --idle-ms 3600000 \
            </dev/null >"$folder/server.out" 2>&1 &
        echo $! >"$folder/server.pid"
        for _ in $(seq 100); do [ -s "$folder/port.txt" ] && break; sleep 0.1; done
        if [ ! -s "$folder/port.txt" ]; then
            echo "the HTTPS form server did not start:" >&2
            cat "$folder/server.out" >&2
            exit 1
        fi
        say "HTTPS form server listening on 127.0.0.1:$(tr -d '\r\n' <"$folder/port.txt")"
        ;;
    stop)
        [ $# -eq 2 ] || { echo "usage: form-server.sh stop FOLDER" >&2; exit 2; }
        if [ -s "$2/server.pid" ]; then
            kill "$(cat "$2/server.pid")" 2>/dev/null || true
            rm -f "$2/server.pid"
        fi
        say "HTTPS form server stopped"
        ;;
    *) echo "usage: form-server.sh start CERTS FOLDER | stop FOLDER" >&2; exit 2 ;;
esac
