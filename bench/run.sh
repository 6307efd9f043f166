#!/bin/bash
# bench/run.sh - how fast a daily-closing pass reads a large protocol file,
# against cat and grep over the same file.
#
# Builds the Release tools into build-bench/ (SPK_BENCH_BUILD overrides) if
# needed, generates bench/data/protocol-YYYYMMDD.log (about 1 GiB, today's
# lines last; SPK_BENCH_SIZE overrides the size, SPK_BENCH_DATA the folder)
# and a CR LF twin if missing,
# warms the page cache and prints the median of SPK_BENCH_RUNS (5) runs, taken
# in turns, of:
#   cat FILE > /dev/null
#   grep -c -F <today> FILE
#   scan_bench FILE          the line reader alone (NextContaining today)
#   spekolar                 a full TAGESABSCHLUSS Typ=2 pass over FILE, in a
#                            throwaway installation with a private MariaDB
#                            server (skipped with a note when the program or
#                            the server is not available)
# with MB/s, CPU seconds, peak RSS and the ratios to grep and cat. The table
# is also written to bench/data/results.md. Nothing here runs under ctest.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPK_BENCH_BUILD:-$root/build-bench}
runs=${SPK_BENCH_RUNS:-5}
size=${SPK_BENCH_SIZE:-1073741824}
data=${SPK_BENCH_DATA:-$root/bench/data}
mkdir -p "$data"

note() { echo "bench: $*" >&2; }

# --- build ---------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSPEKOLAR_TESTS=OFF >/dev/null
fi
if ! cmake --build "$build" --target gen_protocol scan_bench -j2 >"$data/build.log" 2>&1; then
  cat "$data/build.log" >&2
  exit 1
fi
full_pass=yes
if ! cmake --build "$build" --target spekolar spekolar-encrypt -j2 >"$data/build.log" 2>&1; then
  note "spekolar does not build (see $data/build.log): full pass skipped"
  full_pass=no
fi

# --- data ------------------------------------------------------------------
today=$(date +%d.%m.%Y)
stamp=$(date +%Y%m%d)
file=$data/protocol-$stamp.log
crlf_file=$data/protocol-crlf-$stamp.log
if [ ! -f "$file" ]; then
  rm -f "$data"/protocol-*.log
  note "generating $file"
  "$build/bench/gen_protocol" "$file" --size "$size" --today "$today"
fi
if [ ! -f "$crlf_file" ]; then
  note "generating $crlf_file"
  "$build/bench/gen_protocol" "$crlf_file" --size "$size" --today "$today" --crlf --seed 2
fi

# --- measuring -------------------------------------------------------------
# The commands take turns, one run each per round, so that a change in the
# machine's load hits all of them alike.
# timed NAME CMD...: one run of CMD (output to a file: GNU grep stops at its
# first match when its output is /dev/null); appends its wall
# seconds, CPU seconds (user + system) and peak RSS (KiB) to NAME's samples.
gnu_time=
if /usr/bin/time -f %M true >/dev/null 2>&1; then gnu_time=/usr/bin/time; fi
timed() {
  local name=$1 t0 t1 u s m
  shift
  t0=$(date +%s%N)
  if [ -n "$gnu_time" ]; then
    $gnu_time -f "%U %S %M" -o "$data/time.out" "$@" >"$data/out.txt"
    read -r u s m <"$data/time.out"
  else
    local TIMEFORMAT="%U %S"
    { time "$@" >"$data/out.txt" 2>&1; } 2>"$data/time.out"
    read -r u s <"$data/time.out"
    m=0
  fi
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" -v u="$u" -v s="$s" -v m="$m" \
    'BEGIN {printf "%.4f %.2f %d\n", (b - a) / 1e9, u + s, m}' >>"$data/$name.samples"
}
# stats NAME: MED_WALL and MED_CPU (medians) and MAX_RSS of NAME's samples.
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
stats() {
  local f=$data/$1.samples
  MED_WALL=$(cut -d' ' -f1 "$f" | median)
  MED_CPU=$(cut -d' ' -f2 "$f" | median)
  MAX_RSS=$(cut -d' ' -f3 "$f" | sort -n | tail -1)
  note "$1: wall $(cut -d' ' -f1 "$f" | tr '\n' ' ')s"
}

results=$data/results.md
{
  echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)," \
    "load average before: $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs; $(date +%d.%m.%Y)"
  echo
  echo "| file | command | wall s | MB/s | CPU s | peak RSS MiB | vs grep | vs cat |"
  echo "|---|---|---|---|---|---|---|---|"
} >"$results"

# row FILE-LABEL COMMAND-LABEL BYTES: one table line from MED_WALL, MED_CPU
# and MAX_RSS, with the ratios to GREP_WALL and CAT_WALL.
row() {
  local mbs vs_grep vs_cat
  mbs=$(awk -v b="$3" -v w="$MED_WALL" 'BEGIN {printf "%.0f", b / 1e6 / w}')
  vs_grep=$(awk -v w="$MED_WALL" -v g="$GREP_WALL" 'BEGIN {printf "%.2f", w / g}')
  vs_cat=$(awk -v w="$MED_WALL" -v c="$CAT_WALL" 'BEGIN {printf "%.2f", w / c}')
  printf '| %s | %s | %.3f | %s | %s | %s | %s | %s |\n' "$1" "$2" "$MED_WALL" "$mbs" "$MED_CPU" \
    "$(awk -v k="$MAX_RSS" 'BEGIN {printf "%.1f", k / 1024}')" "$vs_grep" "$vs_cat" | tee -a "$results"
}

# The throwaway installation for the full pass (setup_installation, pass,
# write_config, logdir).
# shellcheck source=bench/installation.sh
. "$root/bench/installation.sh"
trap cleanup_installation EXIT

if [ "$full_pass" = yes ] && ! setup_installation; then full_pass=no; fi

notes=()
for f in "$file" "$crlf_file"; do
  label=$(basename "$f")
  bytes=$(stat -c %s "$f")
  cat "$f" >/dev/null
  cat "$f" >/dev/null
  rm -f "$data"/*.samples
  with_pass=no
  if [ "$full_pass" = yes ]; then
    write_config "$f"
    rm -f "$(logdir)"/SPEKOLAR.TXT*
    if "${pass[@]}" >/dev/null 2>&1; then
      with_pass=yes
      findings=$(cat "$(logdir)"/SPEKOLAR.TXT* 2>/dev/null | grep -c "TAGESABSCHLUSS;2" || true)
      notes+=("One full pass over $label gave $findings findings.")
    else
      note "the full pass failed (exit $?), see $(logdir)"
    fi
  fi
  for ((round = 0; round < runs; round++)); do
    timed cat sh -c 'cat "$1" >/dev/null' sh "$f"
    timed grep grep -c -F "$today" "$f"
    timed scan "$build/bench/scan_bench" "$f" "$today"
    if [ "$with_pass" = yes ]; then timed pass "${pass[@]}"; fi
  done
  CAT_WALL=$(cut -d' ' -f1 "$data/cat.samples" | median)
  GREP_WALL=$(cut -d' ' -f1 "$data/grep.samples" | median)
  stats cat
  row "$label" "cat" "$bytes"
  stats grep
  row "$label" "grep -c -F $today" "$bytes"
  stats scan
  row "$label" "scan_bench (LineReader)" "$bytes"
  if [ "$with_pass" = yes ]; then
    stats pass
    row "$label" "spekolar TAGESABSCHLUSS Typ=2" "$bytes"
  fi
done
if [ ${#notes[@]} -gt 0 ]; then
  echo >>"$results"
  printf '%s\n' "${notes[@]}" | tee -a "$results"
fi
