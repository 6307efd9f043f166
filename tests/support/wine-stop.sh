#!/usr/bin/env bash
# wine-stop.sh PREFIX - ends the wineserver of the Wine prefix PREFIX and
# every Windows program still running in it (none should be).
set -u
[ $# -eq 1 ] || { echo "usage: wine-stop.sh PREFIX" >&2; exit 2; }
[ -d "$1" ] || exit 0
WINEPREFIX=$1 wineserver -k </dev/null >/dev/null 2>&1
exit 0
