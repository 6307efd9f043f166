#!/bin/bash
# bench/pass.sh FILE [--runs N] [--typ T] [--bin SPEKOLAR]... [-- WRAPPER...]
#
# The full-pass part of run.sh on its own, for comparing builds and for
# profiling: sets up one throwaway installation (private MariaDB server) with
# a TAGESABSCHLUSS section watching FILE (Typ=2, the error monitor, unless
# --typ says 1, the run-time monitor), then runs the pass N times (1
# by default) with each given spekolar binary in turns (default: the one in
# SPK_BENCH_BUILD, build-bench/ otherwise), optionally under WRAPPER, e.g.
#   bench/pass.sh small.log -- valgrind --tool=callgrind --callgrind-out-file=cg.out
#   bench/pass.sh big.log --runs 7 --bin build-a/spekolar --bin build-b/spekolar
# Prints per binary the median wall and CPU seconds, the peak RSS and the
# number of findings, and a checksum of the findings (their write times cut
# off) so that builds can be checked for the same output.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPK_BENCH_BUILD:-$root/build-bench}
note() { echo "pass: $*" >&2; }

[ $# -ge 1 ] || { echo "usage: pass.sh FILE [--runs N] [--typ T] [--bin SPEKOLAR]... [-- WRAPPER...]" >&2; exit 2; }
file=$(realpath "$1")
shift
runs=1
typ=2
bins=()
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --typ) typ=$2; shift 2 ;;
    --bin) bins+=("$(realpath "$2")"); shift 2 ;;
    --) shift; break ;;
    *) echo "pass.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
wrapper=("$@")
[ ${#bins[@]} -gt 0 ] || bins=("$build/spekolar")

# shellcheck source=bench/installation.sh
. "$root/bench/installation.sh"
trap cleanup_installation EXIT
setup_installation || exit 1
write_config "$file" "$typ"

out=$inst/out
mkdir -p "$out"
for ((round = 0; round < runs; round++)); do
  for i in "${!bins[@]}"; do
    pass_with "${bins[$i]}"
    rm -f "$(logdir)"/SPEKOLAR.TXT*
    t0=$(date +%s%N)
    /usr/bin/time -f "%U %S %M" -o "$out/time" \
      "${pass[@]:0:${#pass_env[@]}}" "${wrapper[@]}" "${pass[@]:${#pass_env[@]}}" >/dev/null 2>&1 ||
      { note "the pass with ${bins[$i]} failed, see $(logdir)"; exit 1; }
    t1=$(date +%s%N)
    read -r u s m <"$out/time"
    awk -v a="$t0" -v b="$t1" -v u="$u" -v s="$s" -v m="$m" \
      'BEGIN {printf "%.4f %.2f %d\n", (b - a) / 1e9, u + s, m}' >>"$out/$i.samples"
    cat "$(logdir)"/SPEKOLAR.TXT* 2>/dev/null | cut -d';' -f2- >"$out/$i.findings" || true
  done
done

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
for i in "${!bins[@]}"; do
  f=$out/$i.samples
  printf '%s: wall %s s (runs: %s), CPU %s s, peak RSS %s MiB, %s findings, checksum %s\n' \
    "${bins[$i]}" "$(cut -d' ' -f1 "$f" | median)" "$(cut -d' ' -f1 "$f" | tr '\n' ' ' | sed 's/ $//')" \
    "$(cut -d' ' -f2 "$f" | median)" \
    "$(cut -d' ' -f3 "$f" | sort -n | tail -1 | awk '{printf "%.1f", $1 / 1024}')" \
    "$(grep -c "TAGESABSCHLUSS;$typ" "$out/$i.findings" || true)" \
    "$(md5sum <"$out/$i.findings" | cut -c1-12)"
done
