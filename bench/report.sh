#!/bin/bash
# bench/report.sh [SPEKOLAR] [RUNS_PER_DAY]
#
# The report of past days against single passes: generates 30 days of a
# terminal download protocol with RUNS_PER_DAY exchanges a day (default
# 3334, about 100,000 measured runs in all) and a daily closing, then runs
#   spekolar --report --days 30 --format csv
# once and `spekolar --report --days 1 --to DAY` for each of the 30 days
# (one pass each, as a `--dry-run --date DAY` would run it, without its
# database round trips), and prints wall seconds and peak RSS of both and
# the number of runs the report listed, and (with strace) the bytes one
# day's pass reads against the size of the protocols: the sections' two
# monitors share one read of their file, so about once the size. The
# report needs no database, so neither does this benchmark. Default
# binary: build/spekolar.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$root/build/spekolar}")
perDay=${2:-3334}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/inst/htdocs/PELDAVORN/peldavorn_php/log" "$work/work/bin" "$work/work/settings" "$work/logs"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANE\\PELDAVORN]\r\n"Path"="%s/inst/"\r\n\r\n' \
  "$work" >"$work/registry.reg"
export SPEKOLAR_REGISTRY=$work/registry.reg
printf '[SPEKOLAR]\nE-Mail=ops@example.org\n[TAGESABSCHLUSS]\nTyp=1,2\nDatei=%s/logs/closing.log\n[TERMINAL DOWNLOAD]\nTyp=1,2\nDatei=%s/logs/download.log\n' \
  "$work" "$work" >"$work/work/settings/Spekolar.ini"
touch "$work/peldavorn.ini"

# Days 1.11.2026 to 30.11.2026; the exchanges every 20 seconds from
# midnight, 30 to 229 seconds long.
awk -v perDay="$perDay" -v closing="$work/logs/closing.log" 'BEGIN {
  for (d = 1; d <= 30; d++) {
    dotted = sprintf("%02d.11.2026", d); hyphened = sprintf("%02d-11-2026", d)
    printf "%s 22:00:00 Tagesabschluss wird gestartet\n%s 22:%02d:00 Tagesabschluss beendet\n", dotted, dotted, 20 + d % 20 > closing
    for (r = 0; r < perDay; r++) {
      s = r * 20; e = s + 30 + r % 200
      printf "Start Download\n%s %02d:%02d:%02d Verbindung\nTerm      : \"T%03d\"\n%s %02d:%02d:%02d Ende\n", \
        hyphened, s / 3600, s / 60 % 60, s % 60, r % 250, hyphened, e / 3600, e / 60 % 60, e % 60
    }
  }
}' >"$work/logs/download.log"
echo "report: $(du -h "$work/logs/download.log" | cut -f1) download protocol, $perDay exchanges a day" >&2

cd "$work/work/bin"
measure() { /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err"; cat "$work/time"; }

read -r wall rss < <(measure "$bin" --report --days 30 --to 2026-11-30 --format csv "$work/peldavorn.ini")
runs=$(($(wc -l <"$work/out") - 1))
echo "report --days 30: ${wall} s, peak RSS $((rss / 1024)) MiB, $runs runs listed"
read -r wall rss < <(measure "$bin" --report --days 30 --to 2026-11-30 --out "$work/report.html" "$work/peldavorn.ini")
echo "report --days 30 as HTML: ${wall} s, peak RSS $((rss / 1024)) MiB, $(du -h "$work/report.html" | cut -f1) page"

total=0
peak=0
for d in $(seq -w 1 30); do
  read -r wall rss < <(measure "$bin" --report --days 1 --to "2026-11-$d" --format csv "$work/peldavorn.ini")
  total=$(echo "$total + $wall" | bc)
  [ "$rss" -gt "$peak" ] && peak=$rss
done
echo "30 single passes:  ${total} s, peak RSS $((peak / 1024)) MiB"

if command -v strace >/dev/null; then
  strace -f -e trace=read -o "$work/reads" "$bin" --report --days 1 --to 2026-11-15 --format csv \
    "$work/peldavorn.ini" >/dev/null 2>&1
  read_bytes=$(awk -F'= ' '/^[0-9]+ +read\(/ && $NF + 0 > 0 { sum += $NF } END { printf "%d", sum }' "$work/reads")
  size=$(($(stat -c %s "$work/logs/closing.log") + $(stat -c %s "$work/logs/download.log")))
  echo "one day's pass read $((read_bytes / 1048576)) MiB of $((size / 1048576)) MiB of protocols" \
       "($(echo "scale=2; $read_bytes / $size" | bc) times their size)"
fi
