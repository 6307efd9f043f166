#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGS...] - runs a Windows program under Wine,
# headless, in the Wine prefix PREFIX, and exits with its exit code.
#
# The prefix is created on first use (about half a minute and 700 MiB;
# concurrent first uses wait for one another). A wineserver of its own is
# started for the prefix when none runs, detached from our output, and kept
# for five minutes after its last program: a wineserver started by the
# program itself would inherit the program's output pipes and hold them open
# for seconds after the program ended. wine-stop.sh PREFIX ends it at once.
#
# Wine speaks for Windows here, not as Windows: docs/windows.md lists where
# the two are known to differ.
set -u
[ $# -ge 2 ] || { echo "usage: wine-run.sh PREFIX PROGRAM [ARGS...]" >&2; exit 2; }
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No window may ever appear: without a display Wine falls back to its null
# driver.
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
# The lock's descriptor is closed for everything started under it: the
# wineserver would otherwise hold the lock for as long as it runs.
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&-
  fi
  # A second server for the same prefix refuses to start, so this is cheap
  # when one runs.
  wineserver -p300 </dev/null >/dev/null 2>&1 9>&-
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"

exec wine "$@"
