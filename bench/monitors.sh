#!/bin/bash
# bench/monitors.sh - how fast each protocol monitor's pass reads a large file
# of its own form, against grep over the same file; then one pass over a
# configuration of all eleven sections against cat of all their files.
#
# For each format of bench/gen_protocol, generates a file of SPK_BENCH_SIZE
# bytes (1 GiB) with today's lines last, and its adversarial twin with one
# stray mention of today's date at 1 % of the file (--stray); warms the page
# cache and prints the median of SPK_BENCH_RUNS (5) runs, taken in turns, of
#   grep -c -F <the monitor's date text> FILE
#   spekolar       a full pass of the monitor's section and Typ over FILE
# with the ratio pass/grep and the pass's peak RSS. Files are deleted after
# their format has been measured (SPK_BENCH_KEEP=1 keeps them).
# SPK_BENCH_ONLY=format,format limits the formats; SPK_BENCH_WHOLE=0 skips
# the whole-configuration run, whose files have SPK_BENCH_WHOLE_SIZE bytes
# each (256 MiB). Tables go to stdout and bench/data/monitors.md.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPK_BENCH_BUILD:-$root/build-bench}
runs=${SPK_BENCH_RUNS:-5}
size=${SPK_BENCH_SIZE:-1073741824}
whole_size=${SPK_BENCH_WHOLE_SIZE:-268435456}
data=${SPK_BENCH_DATA:-$root/bench/data}
mkdir -p "$data"
note() { echo "bench: $*" >&2; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSPEKOLAR_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target gen_protocol spekolar spekolar-encrypt -j2 >"$data/build.log" 2>&1 ||
  { cat "$data/build.log" >&2; exit 1; }

# shellcheck source=bench/installation.sh
. "$root/bench/installation.sh"
trap cleanup_installation EXIT
setup_installation || exit 1

d=$(date +%d) m=$(date +%m) y=$(date +%Y)
month=$(LC_ALL=C date +%B)
# The cases: format, file name (markers in it choose the reading form),
# section, Typ, the date text the monitor searches for.
cases=(
  "tagesabschluss tagab.log TAGESABSCHLUSS 1 $d.$m.$y"
  "tagesabschluss tagab.log TAGESABSCHLUSS 2 $d.$m.$y"
  "jobcontroller jobctl.log JOBCONTROLLER 2 $y-$m-$d"
  "download download.log TERMINAL_DOWNLOAD 1 $d-$m-$y"
  "download download.log TERMINAL_DOWNLOAD 2 $d-$m-$y"
  "termcomm TERMCOMMLOG.log TERMINAL_DOWNLOAD 2 $d$m$y"
  "upload TERMUPL_NEU.log TERMINAL_UPLOAD 1 $d-$m-$y"
  "upload TERMUPL_NEU.log TERMINAL_UPLOAD 2 $d-$m-$y"
  "rechen rechen.log RECHENPROGRAMME 2 $d.$m.$y"
  "morvasten MORVASTEN.log RECHENPROGRAMME 2 $d.$m.${y:2:2}"
  "payroll lug.log LUG 2 $d.$m.$y"
  "gruppe1 gruppe1.log GRUPPE1 2 $d.${month} $y"
  "gruppe2 gruppe2.log GRUPPE2 2 $d.${month} $y"
  "gruppe3 gruppe3.log GRUPPE3 2 $d-$m-$y"
  "gruppe4 gruppe4.log GRUPPE4 2 $d$m$y"
)

gnu_time=/usr/bin/time
# timed NAME CMD...: appends wall seconds and peak RSS (KiB) of one run.
# Output goes to a file, not /dev/null: GNU grep stops at its first match
# when its output is /dev/null, and -c would count nothing. (cat is timed
# through sh with its own output to /dev/null, so that it writes no file.)
timed() {
  local name=$1 t0 t1 u s mem
  shift
  t0=$(date +%s%N)
  $gnu_time -f "%U %S %M" -o "$data/time.out" "$@" >"$data/out.txt" 2>&1 || true
  t1=$(date +%s%N)
  read -r u s mem <"$data/time.out"
  awk -v a="$t0" -v b="$t1" -v m="$mem" 'BEGIN {printf "%.4f %d\n", (b - a) / 1e9, m}' >>"$data/$name.samples"
}
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
wall() { cut -d' ' -f1 "$data/$1.samples" | median; }
rss() { cut -d' ' -f2 "$data/$1.samples" | sort -n | tail -1 | awk '{printf "%.1f", $1 / 1024}'; }

results=$data/monitors.md
{
  echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)," \
    "load average before: $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs; $(date +%d.%m.%Y)"
  echo
  echo "| format | section, Typ | file | grep s | pass s | pass / grep | peak RSS MiB | findings |"
  echo "|---|---|---|---|---|---|---|---|"
} >"$results"

only=${SPK_BENCH_ONLY:-}
formats=$(printf '%s\n' "${cases[@]}" | cut -d' ' -f1 | uniq)
for format in $formats; do
  if [ -n "$only" ] && [[ ",$only," != *",$format,"* ]]; then continue; fi
  for variant in plain stray; do
    mapfile -t mine < <(printf '%s\n' "${cases[@]}" | awk -v f="$format" '$1 == f')
    name=$(echo "${mine[0]}" | cut -d' ' -f2)
    dir=$data/$format-$variant
    mkdir -p "$dir"
    file=$dir/$name
    if [ ! -f "$file" ]; then
      note "generating $file"
      flags=()
      [ "$variant" = stray ] && flags+=(--stray)
      "$build/bench/gen_protocol" "$file" --format "$format" --size "$size" --today "$d.$m.$y" "${flags[@]}"
    fi
    cat "$file" >/dev/null
    for c in "${mine[@]}"; do
      read -r _ _ section typ key <<<"$c"
      section=${section//_/ }
      write_sections "$section" "$typ" "$file"
      rm -f "$data"/*.samples
      for ((round = 0; round < runs; round++)); do
        timed grep grep -c -F "$key" "$file"
        rm -f "$(logdir)"/SPEKOLAR.TXT*
        timed pass "${pass[@]}"
      done
      findings=$( (cat "$(logdir)"/SPEKOLAR.TXT* 2>/dev/null || true) | wc -l)
      printf '| %s | %s %s | %s | %.3f | %.3f | %.2f | %s | %s |\n' "$format" "$section" "$typ" \
        "$variant" "$(wall grep)" "$(wall pass)" "$(awk -v p="$(wall pass)" -v g="$(wall grep)" 'BEGIN {print p / g}')" \
        "$(rss pass)" "$findings" | tee -a "$results"
    done
    [ "${SPK_BENCH_KEEP:-0}" = 1 ] || rm -rf "$dir"
  done
done

# --- one pass over all eleven sections --------------------------------------
if [ "${SPK_BENCH_WHOLE:-1}" = 1 ]; then
  dir=$data/whole
  mkdir -p "$dir"
  files=()
  for format in $formats; do
    name=$(printf '%s\n' "${cases[@]}" | awk -v f="$format" '$1 == f {print $2; exit}')
    f=$dir/$name
    [ -f "$f" ] || "$build/bench/gen_protocol" "$f" --format "$format" --size "$whole_size" --today "$d.$m.$y"
    files+=("$f")
  done
  write_sections TAGESABSCHLUSS 12 "$dir/tagab.log" JOBCONTROLLER 12 "$dir/jobctl.log" \
    "TERMINAL DOWNLOAD" 12 "$dir/download.log,$dir/TERMCOMMLOG.log" \
    "TERMINAL UPLOAD" 12 "$dir/TERMUPL_NEU.log" RECHENPROGRAMME 12 "$dir/rechen.log,$dir/MORVASTEN.log" \
    LUG 12 "$dir/lug.log" GRUPPE1 12 "$dir/gruppe1.log" GRUPPE2 12 "$dir/gruppe2.log" \
    GRUPPE3 12 "$dir/gruppe3.log" GRUPPE4 12 "$dir/gruppe4.log"
  printf '[LAUFWERK]\nMinGroesse=1M\nID=%s,%s\n' "$dir" /tmp >>"$inst/work/settings/Spekolar.ini"
  bytes=$(cat "${files[@]}" | wc -c)
  cat "${files[@]}" >/dev/null
  rm -f "$data"/*.samples
  for ((round = 0; round < runs; round++)); do
    timed cat sh -c 'cat "$@" >/dev/null' sh "${files[@]}"
    rm -f "$(logdir)"/SPEKOLAR.TXT*
    timed pass "${pass[@]}"
  done
  {
    echo
    echo "| all eleven sections | bytes | cat s | pass s | pass / cat | peak RSS MiB |"
    echo "|---|---|---|---|---|---|"
  } | tee -a "$results"
  printf '| %d files | %s | %.3f | %.3f | %.2f | %s |\n' "${#files[@]}" "$bytes" "$(wall cat)" "$(wall pass)" \
    "$(awk -v p="$(wall pass)" -v c="$(wall cat)" 'BEGIN {print p / c}')" "$(rss pass)" | tee -a "$results"
  [ "${SPK_BENCH_KEEP:-0}" = 1 ] || rm -rf "$dir"
fi
