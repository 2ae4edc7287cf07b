#!/usr/bin/env bash
# A build's own Wine prefix for its CTest cases (the wine_prefix fixture):
#   wine-prefix.sh up ARCH STATE [HOLD]
#                                    a fresh prefix in STATE/prefix, an Xvfb
#                                    screen and a persistent wineserver;
#                                    STATE/env holds the environment that
#                                    runs Wine there (STATE/run sources it);
#                                    HOLD, desktophold.exe, holds the desktop
#                                    process for the cases
#   wine-prefix.sh down ARCH STATE   ends the wineserver and the screen
# What "up" starts holds none of its output streams, so CTest sees the
# fixture end while the prefix stays up for the cases.
source "$(dirname "$0")/common.sh"
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: wine-prefix.sh up|down ARCH STATE [HOLD]" >&2; exit 2; }
action=$1 arch=$2 state=$3
export WEX_DESKTOP_HOLD=${4:-}
wex_arch_runs "$arch" || { echo "wine-prefix: the $arch build cannot run here: $(wex_arch_why_not "$arch")" >&2; exit 1; }
wex_wine_use "$arch" "$state"
case "$action" in
    up) wex_wine_up ;;
    down) wex_wine_down; say "the $arch prefix's wineserver and screen are stopped" ;;
    *) echo "usage: wine-prefix.sh up|down ARCH STATE [HOLD]" >&2; exit 2 ;;
esac
