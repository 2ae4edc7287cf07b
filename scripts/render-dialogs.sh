#!/usr/bin/env bash
# Renders each dialog template of Wexlib.dll as the host shows it (the
# platform's dialog manager under Wine, on an Xvfb screen) and keeps the
# screenshots as docs/dialogs/NAME.png.
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
wex_setup main
if ! command -v import >/dev/null 2>&1; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    echo "render-dialogs: installing imagemagick"
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
if wex_arch_runs win32; then arch=win32; else arch=win64; fi
wex_build "$arch" --main
wex_wine_use "$arch" "$top/build/wine-dialogs-$arch"
trap wex_wine_down EXIT
wex_wine_up

out="$top/docs/dialogs"
mkdir -p "$out"
log=$(mktemp)
trap 'rm -f "$log"; wex_wine_down' EXIT
cd "$top/build/$arch/bin" || exit 1
for name in ISU_ASKOPTION ISU_FINISH ISU_MULEDIT ISU_PASSWORD ISU_SELECT ISU_SELECTMUL \
            ISU_SHOWEDIT4 ISU_SHOWFOLDER ISU_SHOWINFO; do
    # The host prints "shown NAME x y width height" once the dialog is on the
    # screen and ends it by itself after --close-after.
    "$WEX_WINE" wexhost.exe --dialog "$name" --product "Wexlib" --close-after 3000 >"$log" 2>&1 &
    host=$!
    geometry=""
    for _ in $(seq 150); do
        geometry=$(sed -n "s/^shown $name \([-0-9]*\) \([-0-9]*\) \([0-9]*\) \([0-9]*\)\r*$/\3x\4+\1+\2/p" "$log")
        [ -n "$geometry" ] && break
        kill -0 "$host" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$geometry" ]; then
        echo "render-dialogs: $name was not shown:" >&2
        cat "$log" >&2
        wait "$host" || true
        exit 1
    fi
    sleep 0.7  # let Wine's drawing reach the X server
    import -display "$DISPLAY" -window root -crop "$geometry" +repage "$out/$name.png"
    wait "$host"
    echo "$out/$name.png ($geometry)"
done
