#!/usr/bin/env bash
# The form server (tools/formserver) of a build's CTest cases (the
# form_server fixture), run in the build's prepared Wine prefix:
#   form-server.sh start STATE EXE FOLDER WINFOLDER
#   form-server.sh stop STATE FOLDER
# STATE is the prefix's state folder (STATE/env), EXE formserver.exe's
# Windows path, FOLDER the server's folder (port.txt, requests.log,
# server.out, server.pid) and WINFOLDER the same folder as Windows names it.
# It answers posts until it is stopped.
source "$(dirname "$0")/common.sh"
action=${1:-}
case "$action" in
    start)
        [ $# -eq 5 ] || { echo "usage: form-server.sh start STATE EXE FOLDER WINFOLDER" >&2; exit 2; }
        # shellcheck source=/dev/null
        source "$2/env"
        # The server's own streams go to FOLDER/server.out, none of the fixture's.
        wex_start_form_server "$3" "$4" "$5" 1000000 3600000
        ;;
    stop)
        [ $# -eq 3 ] || { echo "usage: form-server.sh stop STATE FOLDER" >&2; exit 2; }
        if [ -s "$3/server.pid" ]; then
            kill "$(cat "$3/server.pid")" 2>/dev/null || true
            rm -f "$3/server.pid"
        fi
        say "form server stopped"
        ;;
    *) echo "usage: form-server.sh start|stop ..." >&2; exit 2 ;;
esac
