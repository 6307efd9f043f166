#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz/ and runs
# each of them for a while, starting from its seed corpus.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   default: 30 seconds, every target
# Inputs found on the way are kept in build-fuzz/corpus/<target>/ (so later
# runs go on from there); a crash leaves its input in build-fuzz/crashes/
# and ends the script with a failure. For runs of hours, see README.md.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --fuzz

seconds=${1:-30}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_profile fuzz_registry fuzz_credentials fuzz_line_reader fuzz_monitors)
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPEKOLAR_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

mkdir -p build-fuzz/crashes
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/${target#fuzz_}
  work=build-fuzz/corpus/${target#fuzz_}
  mkdir -p "$work"
  echo "fuzz: $target for ${seconds}s"
  # -rss_limit_mb: far above what a sound run takes; an input that makes a
  # parser grow without limit is a finding.
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 \
    -max_len=16384 -artifact_prefix="build-fuzz/crashes/$target-" -print_final_stats=1 \
    "$work" "$seeds" 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==|SUMMARY|fuzz invariant)' || true
  if compgen -G "build-fuzz/crashes/$target-*" >/dev/null; then
    echo "fuzz: $target found a failing input:" build-fuzz/crashes/"$target"-* >&2
    # The input itself, so that a failure on a machine that is gone (CI)
    # can be replayed: base64 -d > input; build-fuzz/fuzz/$target input
    for crash in build-fuzz/crashes/"$target"-*; do
      echo "fuzz: $crash as base64:" >&2
      base64 -w 76 "$crash" >&2
    done
    exit 1
  fi
done
