#!/bin/bash
# bench/new_only.sh - what reporting each finding once a day (--new-only)
# costs: a daily-closing pass (TAGESABSCHLUSS Typ=2) over a protocol with
# SPK_BENCH_FINDINGS (100,000) error lines of today among four times as many
# ordinary lines, with and without --new-only, in turns, SPK_BENCH_RUNS (5)
# runs each, in a throwaway installation with a private MariaDB server.
#
# Prints the median wall and CPU seconds of
#   plain      the pass without the option
#   new-only   the pass with it and no state yet: every finding is new, so it
#              does all the plain pass does and also hashes, counts and
#              saves every finding (SPEKOLAR.GEMELDET)
#   repeat     the pass with it over the state the new-only pass left:
#              nothing is reported again (for information)
# the ratio new-only / plain (target at most 1.10) and the state file's size
# (target under 4 MiB). Nothing here runs under ctest.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPK_BENCH_BUILD:-$root/build-bench}
runs=${SPK_BENCH_RUNS:-5}
findings=${SPK_BENCH_FINDINGS:-100000}
data=${SPK_BENCH_DATA:-$root/bench/data}
mkdir -p "$data"
note() { echo "bench: $*" >&2; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSPEKOLAR_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target spekolar spekolar-encrypt -j2 >"$data/build.log" 2>&1 ||
  { cat "$data/build.log" >&2; exit 1; }

# shellcheck source=bench/installation.sh
. "$root/bench/installation.sh"
trap cleanup_installation EXIT
setup_installation || exit 1

# Today's closing run: every fifth line an error with its own booking
# number (so that each is a finding of its own), the others ordinary.
today=$(date +%d.%m.%Y)
file=$data/tagab-findings.log
awk -v d="$today" -v n="$findings" 'BEGIN {
  printf "%s 00:00:00 Tagesabschluss wird gestartet\n", d
  for (i = 0; i < 5 * n; i++) {
    t = sprintf("%s %02d:%02d:%02d ", d, int(i / 360000) % 24, int(i / 6000) % 60, int(i / 100) % 60)
    if (i % 5 == 4) printf "%sFehler beim Schreiben der Buchung %d: Satz gesperrt\n", t, i
    else printf "%sBuchung %d verarbeitet, Konto %d, Betrag %d,%02d EUR\n", t, i, i % 9973, i % 5000, i % 100
  }
  printf "%s 23:59:00 Tagesabschluss beendet\n", d
}' >"$file"
write_config "$file" 2
log=$(logdir)
cat "$file" >/dev/null

samples() { echo "$data/new_only-$1.samples"; }
rm -f "$data"/new_only-*.samples
# timed NAME [OPTION]: one pass, its wall and CPU seconds appended to NAME's
# samples.
timed() {
  local name=$1 t0 t1 u s
  shift
  t0=$(date +%s%N)
  /usr/bin/time -f "%U %S" -o "$data/time.out" \
    "${pass[@]:0:${#pass_env[@]}}" "${pass[@]:${#pass_env[@]}:1}" "$@" \
    "${pass[@]:$((${#pass_env[@]} + 1))}" >/dev/null 2>&1 ||
    { note "the $name pass failed, see $log"; exit 1; }
  t1=$(date +%s%N)
  read -r u s <"$data/time.out"
  awk -v a="$t0" -v b="$t1" -v u="$u" -v s="$s" 'BEGIN {printf "%.4f %.2f\n", (b - a) / 1e9, u + s}' \
    >>"$(samples "$name")"
}
fresh() { rm -f "$log"/SPEKOLAR.TXT* "$log"/SPEKOLAR.NRT* "$log"/SPEKOLAR.GEMELDET "$log"/SPEKOLAR.log*; }

for ((round = 0; round < runs; round++)); do
  fresh
  timed plain
  plain_records=$(cat "$log"/SPEKOLAR.TXT* | wc -l)
  fresh
  timed new-only --new-only
  new_records=$(cat "$log"/SPEKOLAR.TXT* | wc -l)
  state_bytes=$(stat -c %s "$log/SPEKOLAR.GEMELDET")
  rm -f "$log"/SPEKOLAR.TXT*
  timed repeat --new-only
  repeat_records=$( (cat "$log"/SPEKOLAR.TXT* 2>/dev/null || true) | wc -l)
done

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
wall() { cut -d' ' -f1 "$(samples "$1")" | median; }
cpu() { cut -d' ' -f2 "$(samples "$1")" | median; }
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs;" \
  "$(wc -c <"$file") bytes, $findings error lines of today"
for name in plain new-only repeat; do
  printf '%-9s wall %.3f s (runs: %s), CPU %.2f s\n' "$name" "$(wall "$name")" \
    "$(cut -d' ' -f1 "$(samples "$name")" | tr '\n' ' ' | sed 's/ $//')" "$(cpu "$name")"
done
echo "records: plain $plain_records, new-only $new_records, repeat $repeat_records"
awk -v n="$(wall new-only)" -v p="$(wall plain)" -v nc="$(cpu new-only)" -v pc="$(cpu plain)" \
  'BEGIN {printf "new-only / plain: wall %.3f, CPU %.3f (target <= 1.10)\n", n / p, (pc > 0 ? nc / pc : 0)}'
awk -v b="$state_bytes" 'BEGIN {printf "state file: %d bytes = %.2f MiB (target < 4 MiB)\n", b, b / 1048576}'
rm -f "$file"
